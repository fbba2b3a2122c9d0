// The event sequence alone, under the orders of arrival that real and crafted songs produce:
// events in time order, notes whose ends arrive ahead of later starts, sweeps replayed by a
// repeat into a full sequence, and early events scattered over a large sequence.

#include <benchmark/benchmark.h>

#include <cstdint>

#include "perform/EventSequence.h"

namespace {

using namespace scq;

SequenceEvent Control(int32_t time, int value) {
    return SequenceEvent::channelMessage(time, SequenceEvent::ControlChange, 0, 0, 1, value & 0x7F);
}

// A million events, each at or after the last: the common case.
void BM_InOrder(benchmark::State& state) {
    for (auto _ : state) {
        EventSequence seq(16);
        seq.allocatePages(16);
        for (int32_t i = 0; i < 1000000; ++i) seq.add(Control(i / 4, i));
        benchmark::DoNotOptimize(seq.ElapsedMilliseconds());
    }
    state.SetItemsProcessed(state.iterations() * 1000000);
}
BENCHMARK(BM_InOrder)->Unit(benchmark::kMillisecond);

// Notes of 64 staffs in slices: each note's end is stored ahead of the starts that follow it.
void BM_NotesAhead(benchmark::State& state) {
    for (auto _ : state) {
        EventSequence seq(16);
        seq.allocatePages(16);
        for (int32_t slice = 0; slice < 3900; ++slice) {
            for (int staff = 0; staff < 64; ++staff) {
                for (int32_t t = slice * 384; t < (slice + 1) * 384; t += 192) {
                    seq.add(SequenceEvent::channelMessage(t, SequenceEvent::NoteOn, staff & 15, 0,
                                                          60, 100));
                    seq.add(SequenceEvent::channelMessage(t + 144, SequenceEvent::NoteOn,
                                                          staff & 15, 0, 60, 0));
                }
            }
        }
        benchmark::DoNotOptimize(seq.ElapsedMilliseconds());
    }
}
BENCHMARK(BM_NotesAhead)->Unit(benchmark::kMillisecond);

// A sweep of 65534 steps starting far ahead, replayed 510 times (a local repeat of 255 inside
// a master repeat): the sequence fills after 16 passes; from then on each pass's early steps
// push the latest events off the end, and each pass stops at its first step that is lost, as
// a ramp does. Runs until the budget of a full sequence is spent.
void BM_ReplayedSweepIntoFullSequence(benchmark::State& state) {
    uint32_t offered = 0;
    for (auto _ : state) {
        EventSequence seq(16);
        seq.allocatePages(16);
        for (int pass = 0; pass < 510 && !seq.workBudgetSpent(); ++pass) {
            for (int32_t step = 0; step < 65534; ++step) {
                if (seq.addEvent(Control(1000000 + 3 * step, step)) ==
                    EventSequence::AddResult::LostThis) {
                    break;
                }
            }
        }
        offered = seq.offeredWhileFull();
        benchmark::DoNotOptimize(seq.ElapsedMilliseconds());
    }
    state.counters["offered_while_full"] = offered;
}
BENCHMARK(BM_ReplayedSweepIntoFullSequence)->Unit(benchmark::kMillisecond);

// Half a million events in order, then half a million scattered over them: each would have
// been carried through every later page.
void BM_EarlyIntoLarge(benchmark::State& state) {
    for (auto _ : state) {
        EventSequence seq(16);
        seq.allocatePages(16);
        uint32_t x = 12345;
        for (int32_t i = 0; i < 500000; ++i) seq.add(Control(i, i));
        for (int32_t i = 0; i < 500000; ++i) {
            x = x * 1664525u + 1013904223u;
            seq.add(Control(static_cast<int32_t>(x % 500000u), i));
        }
        benchmark::DoNotOptimize(seq.ElapsedMilliseconds());
    }
}
BENCHMARK(BM_EarlyIntoLarge)->Unit(benchmark::kMillisecond);

}  // namespace
