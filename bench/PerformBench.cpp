// Renders a large generated song: 64 staffs of about 8100 notes each, over a million events.

#include <benchmark/benchmark.h>

#include <memory>

#include "items/BarsAndFlow.h"
#include "items/DurationItems.h"
#include "items/PerformanceMarks.h"
#include "items/Signatures.h"
#include "perform/EventSequence.h"
#include "perform/PerformanceBuilder.h"
#include "perform/PlayTime.h"
#include "song/Song.h"
#include "song/Staff.h"

namespace {

using namespace scq;

constexpr int kStaffs = 64;
constexpr int kNotesPerStaff = 8100;

void Append(Staff& staff, std::unique_ptr<NotationItem> item) {
    staff.insertItemAt(std::move(item), staff.itemCount() - 1);  // before the closing bar line
}

// A staff of bars of four beats: eighths, quarters, chords of three, dotted and staccato
// notes, a dynamic and a key signature now and then, and a repeated section.
std::unique_ptr<Staff> MakeStaff(int index) {
    auto staff = std::make_unique<Staff>();
    staff->channel = index % 16;
    staff->instrument.patch = 1 + index % 100;
    Append(*staff, std::make_unique<ClefItem>(index % 4));
    Append(*staff, std::make_unique<KeySignatureItem>(0x24, 0));
    Append(*staff, std::make_unique<TimeSignatureItem>(4, 2, 0));
    int notes = 0;
    int bar = 0;
    while (notes < kNotesPerStaff) {
        if (bar % 16 == 0) {
            auto dynamic = std::make_unique<DynamicItem>(bar / 16 % 8);
            dynamic->velocity = static_cast<int8_t>(40 + bar % 80);
            dynamic->volume = static_cast<int8_t>(60 + bar % 60);
            Append(*staff, std::move(dynamic));
        }
        // One bar: four eighths, a staccato quarter, a chord of three quarters.
        for (int i = 0; i < 4; ++i, ++notes) {
            Append(*staff, std::make_unique<NoteItem>((i + bar) % 9 - 4, DurationItem::kEighth, 0,
                                                      NoteItem::kNoAccidental));
        }
        Append(*staff, std::make_unique<NoteItem>(bar % 7 - 3, DurationItem::kQuarter,
                                                  1 << DurationItem::kStaccato, NoteItem::kSharp));
        ++notes;
        std::vector<std::unique_ptr<NoteItem>> members;
        for (int m = 0; m < 3; ++m) {
            members.push_back(std::make_unique<NoteItem>(2 - 2 * m, DurationItem::kQuarter, 0,
                                                         NoteItem::kNoAccidental));
        }
        auto chord = std::make_unique<ChordItem>(std::move(members));
        chord->refreshMembers();
        Append(*staff, std::move(chord));
        notes += 3;
        Append(*staff, std::make_unique<BarLineItem>(kBarSingle, 1));
        ++bar;
    }
    return staff;
}

std::unique_ptr<Song> MakeSong() {
    auto song = std::make_unique<Song>();
    for (int i = 0; i < kStaffs; ++i) song->addStaff(MakeStaff(i));
    return song;
}

void BM_RenderLargeSong(benchmark::State& state) {
    auto song = MakeSong();
    size_t events = 0;
    for (auto _ : state) {
        EventSequence sequence(16);
        sequence.allocatePages(16);
        sequence.reset();
        PerformanceBuilder builder;
        builder.attach(song.get());
        sequence.addFilterBits(0x000C);
        builder.render(sequence);
        events = sequence.size();
        benchmark::DoNotOptimize(sequence.ElapsedMilliseconds());
        if (sequence.isFull()) state.SkipWithError("the song overflowed the sequence");
    }
    state.counters["events"] = static_cast<double>(events);
    state.counters["events_per_second"] =
        benchmark::Counter(static_cast<double>(events) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderLargeSong)->Unit(benchmark::kMillisecond);

void BM_PlayTimeBothVariants(benchmark::State& state) {
    auto song = MakeSong();
    for (auto _ : state) {
        benchmark::DoNotOptimize(PlayTimeSeconds(*song, PlayTimeVariant::Scq));
        benchmark::DoNotOptimize(PlayTimeSeconds(*song, PlayTimeVariant::Smf));
    }
}
BENCHMARK(BM_PlayTimeBothVariants)->Unit(benchmark::kMillisecond);

}  // namespace
