// Cost of the post-load audit over a full staff and over a large song.

#include <benchmark/benchmark.h>

#include <memory>

#include "items/BarsAndFlow.h"
#include "items/DurationItems.h"
#include "items/PerformanceMarks.h"
#include "items/Signatures.h"
#include "song/Song.h"
#include "song/Staff.h"
#include "staff/Audit.h"

namespace {

using namespace scq;

void append(Staff& staff, std::unique_ptr<NotationItem> item) {
    staff.insertItemAt(std::move(item), staff.lastItemIndex());
}

// A staff of `items` items in bars of 4/4: beamed eighths with ties and slurs, quarter
// notes, whole-rest bars, chords and the occasional dynamic ramp, tempo ramp and signature.
std::unique_ptr<Staff> makeStaff(int items) {
    auto staff = std::make_unique<Staff>();
    int bar = 0;
    while (staff->itemCount() + 12 < items) {
        switch (bar % 8) {
            case 0:
                append(*staff, std::make_unique<TimeSignatureItem>(4, 2, 0));
                append(*staff, std::make_unique<DynamicItem>(2));
                append(*staff, std::make_unique<DynamicVariationItem>(0));
                append(*staff, std::make_unique<TempoItem>(100, 2));
                append(*staff, std::make_unique<TempoVariationItem>(2, 0));
                break;
            case 3:
                append(*staff, std::make_unique<DynamicItem>(5));
                append(*staff, std::make_unique<TempoItem>(120, 2));
                break;
            case 5:
                append(*staff, std::make_unique<KeySignatureItem>(bar % 16 == 5 ? 0x24 : 0, 0));
                break;
            default:
                break;
        }
        if (bar % 4 == 2) {
            append(*staff, std::make_unique<RestItem>(DurationItem::kWhole, 0));
        } else if (bar % 4 == 3) {
            std::vector<std::unique_ptr<NoteItem>> members;
            for (int p : {4, 2, 0}) members.push_back(std::make_unique<NoteItem>(p, 1, 0, 5));
            auto chord = std::make_unique<ChordItem>(std::move(members));
            chord->refreshMembers();
            append(*staff, std::move(chord));
            append(*staff, std::make_unique<NoteItem>(-2, 1, 0, 5));
        } else {
            for (int i = 0; i < 8; ++i) {
                int attributes = 0;
                if (i == 0) attributes |= 1 << DurationItem::kSlurOut;
                if (i == 3) attributes |= 1 << DurationItem::kTieOut;
                auto note = std::make_unique<NoteItem>(i == 4 ? -3 : -i, DurationItem::kEighth,
                                                       attributes, 5);
                note->beamPosition = i % 4 == 0 ? 1 : i % 4 == 3 ? 3 : 2;
                append(*staff, std::move(note));
            }
        }
        append(*staff, std::make_unique<BarLineItem>(0, 1));
        ++bar;
    }
    return staff;
}

void BM_AuditFullStaff(benchmark::State& state) {
    auto staff = makeStaff(Staff::kMaxItems);
    for (auto _ : state) {
        auditStaff(*staff, -1, -1);
        benchmark::DoNotOptimize(staff->itemAt(1));
    }
    state.SetItemsProcessed(state.iterations() * staff->itemCount());
}
BENCHMARK(BM_AuditFullStaff)->Unit(benchmark::kMillisecond);

void BM_AuditAroundInMiddle(benchmark::State& state) {
    auto staff = makeStaff(Staff::kMaxItems);
    const int middle = staff->itemCount() / 2;
    for (auto _ : state) auditAround(*staff, middle, -1);
}
BENCHMARK(BM_AuditAroundInMiddle)->Unit(benchmark::kMicrosecond);

void BM_AuditLargeSong(benchmark::State& state) {
    Song song;
    for (int i = 0; i < static_cast<int>(state.range(0)); ++i)
        song.addStaff(makeStaff(Staff::kMaxItems));
    for (auto _ : state) auditSong(song, 1);
    state.SetItemsProcessed(state.iterations() * state.range(0) * Staff::kMaxItems);
}
BENCHMARK(BM_AuditLargeSong)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);

}  // namespace
