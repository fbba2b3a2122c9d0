// scqdump on a song of about a million events per rendering: the whole dump with --events
// (BM_DumpWithEvents) against computing the performance alone (BM_RenderBoth, both renderings
// of a loaded song) and against loading and rendering (BM_LoadAndRenderBoth, what scqinfo does
// for its play times). The dump should take no more than about twice the performance.
// BM_DumpSongOnly shows the share of loading and the song document.
//
// The song file is written once by the test song builder: 64 staffs of bars of four eighths, a
// staccato quarter and a chord of three quarters, with a dynamic every 16 bars.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "Dump.h"
#include "load/Repair.h"
#include "perform/EventSequence.h"
#include "perform/PlayTime.h"
#include "song/Song.h"
#include "support/SongBuilder.h"

namespace {

using namespace scq::test;

constexpr int kStaffs = 64;
constexpr int kNotesPerStaff = 7900;  // two events each: about 1.01 million per rendering

StaffSpec BenchStaff(int index) {
    StaffSpec staff = MakeStaff("Staff " + std::to_string(index));
    staff.channel = index % 16;
    staff.patch = 1 + index % 100;
    std::vector<Item>& items = staff.items;
    items.push_back(Clef(index % 4));
    items.push_back(KeyMasks(0, 0x24));
    items.push_back(Time(4, 4));
    int notes = 0;
    for (int bar = 0; notes < kNotesPerStaff; ++bar) {
        if (bar % 16 == 0) {
            DynamicSpec dynamic = Dynamic(bar / 16 % 8);
            dynamic.velocityGiven = 1;
            dynamic.velocity = 40 + bar % 80;
            dynamic.volumeGiven = 1;
            dynamic.volume = 60 + bar % 60;
            items.push_back(dynamic);
        }
        for (int i = 0; i < 4; ++i, ++notes) items.push_back(Note((i + bar) % 9 - 4, dur::Eighth));
        items.push_back(Note(bar % 7 - 3, dur::Quarter, attr::Staccato, acc::Sharp));
        ++notes;
        items.push_back(Chord(dur::Quarter, {2, 0, -2}));
        notes += 3;
        items.push_back(Bar());
    }
    return staff;
}

// The song file, written once for all benchmarks.
const std::string& BenchFile() {
    static const TempFile file = [] {
        SongSpec song;
        for (int i = 0; i < kStaffs; ++i) song.staffs.push_back(BenchStaff(i));
        return TempFile(BuildSong(song), "scqdumpbench");
    }();
    return file.path();
}

std::unique_ptr<scq::Song> Load() {
    scq::SongFileInfo info;
    return scq::LoadSongWithRepair(BenchFile().c_str(), info);
}

// What --events computes: both renderings, SCQ first, on the loaded song.
size_t RenderBoth(scq::Song& song, benchmark::State& state) {
    size_t events = 0;
    for (const auto variant : {scq::PlayTimeVariant::Scq, scq::PlayTimeVariant::Smf}) {
        scq::EventSequence sequence(16);
        scq::RenderForPlayTime(song, variant, sequence);
        if (sequence.isFull()) state.SkipWithError("the song overflowed the sequence");
        benchmark::DoNotOptimize(sequence.ElapsedMilliseconds());
        events += sequence.size();
    }
    return events;
}

// The performance alone: both renderings of a song already loaded.
void BM_RenderBoth(benchmark::State& state) {
    auto song = Load();
    size_t events = 0;
    for (auto _ : state) events = RenderBoth(*song, state);
    state.counters["events"] = static_cast<double>(events);
}
BENCHMARK(BM_RenderBoth)->Unit(benchmark::kMillisecond);

// Loading and computing the performance, as scqinfo does for its play times.
void BM_LoadAndRenderBoth(benchmark::State& state) {
    for (auto _ : state) {
        auto song = Load();
        RenderBoth(*song, state);
    }
}
BENCHMARK(BM_LoadAndRenderBoth)->Unit(benchmark::kMillisecond);

void Dump(benchmark::State& state, const scq::dump::Options& options) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> devNull(std::fopen("/dev/null", "w"),
                                                            &std::fclose);
    if (!devNull) {
        state.SkipWithError("cannot open /dev/null");
        return;
    }
    for (auto _ : state) {
        if (!scq::dump::DumpFile(BenchFile().c_str(), options, devNull.get())) {
            state.SkipWithError("the song did not load");
        }
    }
}

// Loading and the song document without the performance.
void BM_DumpSongOnly(benchmark::State& state) {
    Dump(state, {});
}
BENCHMARK(BM_DumpSongOnly)->Unit(benchmark::kMillisecond);

// The whole dump with both event lists.
void BM_DumpWithEvents(benchmark::State& state) {
    Dump(state, {false, true, false});
}
BENCHMARK(BM_DumpWithEvents)->Unit(benchmark::kMillisecond);

}  // namespace
