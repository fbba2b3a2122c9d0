// Renders "idle staffs" songs: one staff walks a loop over half rests until the render's tick
// bound (2^30 ticks, about 2.8 million slices of 384 ticks) beside many staffs with no items.
// The render's cost must follow what is played, not slices times staffs.

#include <benchmark/benchmark.h>

#include <memory>

#include "items/BarsAndFlow.h"
#include "items/DurationItems.h"
#include "perform/EventSequence.h"
#include "perform/PerformanceBuilder.h"
#include "perform/PlayTime.h"
#include "song/Song.h"
#include "song/Staff.h"

namespace {

using namespace scq;

void Append(Staff& staff, std::unique_ptr<NotationItem> item) {
    staff.insertItemAt(std::move(item), staff.itemCount() - 1);  // before the closing bar line
}

// Coda, half rest, D.C. al Coda, To Coda: after the D.C. every To Coda goes back to the Coda
// and the D.C. starts the replay again, so the staff plays a half rest per slice for ever.
std::unique_ptr<Staff> MakeRestLoop() {
    auto staff = std::make_unique<Staff>();
    Append(*staff, std::make_unique<FlowDirectionItem>(kFlowCoda));
    Append(*staff, std::make_unique<RestItem>(DurationItem::kHalf, 0));
    Append(*staff, std::make_unique<FlowDirectionItem>(kFlowDcAlCoda));
    Append(*staff, std::make_unique<FlowDirectionItem>(kFlowToCoda));
    return staff;
}

// The loop first, then `staffs - 1` staffs holding only their two bar lines.
std::unique_ptr<Song> MakeIdleStaffsSong(int staffs) {
    auto song = std::make_unique<Song>();
    song->addStaff(MakeRestLoop());
    for (int i = 1; i < staffs; ++i) song->addStaff(std::make_unique<Staff>());
    return song;
}

void BM_RenderIdleStaffs(benchmark::State& state) {
    auto song = MakeIdleStaffsSong(static_cast<int>(state.range(0)));
    uint32_t items = 0;
    for (auto _ : state) {
        EventSequence sequence(16);
        sequence.allocatePages(16);
        sequence.reset();
        PerformanceBuilder builder;
        builder.attach(song.get());
        sequence.addFilterBits(0x000C);
        builder.render(sequence);
        items = builder.itemsPlayed();
        benchmark::DoNotOptimize(sequence.ElapsedMilliseconds());
        if (builder.player(0).state().time < kMaxRenderTicks - 384) {
            state.SkipWithError("the loop stopped before the tick bound");
        }
    }
    state.counters["items_played"] = static_cast<double>(items);
}
BENCHMARK(BM_RenderIdleStaffs)->Arg(1)->Arg(1200)->Arg(32766)->Unit(benchmark::kMillisecond);

// Both play times of the report, each a render of its own.
void BM_PlayTimesIdleStaffs(benchmark::State& state) {
    auto song = MakeIdleStaffsSong(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(PlayTimeSeconds(*song, PlayTimeVariant::Scq));
        benchmark::DoNotOptimize(PlayTimeSeconds(*song, PlayTimeVariant::Smf));
    }
}
BENCHMARK(BM_PlayTimesIdleStaffs)->Arg(1200)->Arg(32766)->Unit(benchmark::kMillisecond);

}  // namespace
