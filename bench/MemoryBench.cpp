// What items cost in memory:
//   - for each of the nineteen kinds (and the texts that matter: the empty text of a memory
//     bomb, a short and a full-length text), the item's size and the heap it takes as loaded:
//     blocks and bytes of the allocator's chunks, its slot in the staff's
//     item list included, per item of a staff of 16382 such items;
//   - the peak memory of scqdump and scqinfo on the memory bomb (255 staffs of 32765 empty
//     texts, 40 KB compressed), scqdump with its default item limit and without a limit.
//
//     cmake --preset bench && cmake --build --preset bench && build/bench/bench/MemoryBench
//
// The heap figures come from a counting operator new in this program; the chunk bytes are
// what the C library's allocator takes for each block (its usable size and a word of header).

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "items/BarsAndFlow.h"
#include "items/DurationItems.h"
#include "items/PerformanceMarks.h"
#include "items/Signatures.h"
#include "items/TextAndPedal.h"
#include "song/Song.h"
#include "song/SongFile.h"
#include "stream/MemoryStream.h"
#include "support/Process.h"
#include "support/RichSongs.h"
#include "support/SongBuilder.h"

// ---- Counting operator new -------------------------------------------------------------------

namespace {

struct HeapCount {
    long long blocks = 0;
    long long chunks = 0;  // bytes of the allocator's chunks
};
HeapCount live;

// glibc keeps one size word in front of every block in use.
constexpr long long kChunkHeader = sizeof(size_t);

void* Allocate(size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    live.blocks += 1;
    live.chunks += static_cast<long long>(malloc_usable_size(p)) + kChunkHeader;
    return p;
}

void Release(void* p) noexcept {
    if (!p) return;
    live.blocks -= 1;
    live.chunks -= static_cast<long long>(malloc_usable_size(p)) + kChunkHeader;
    std::free(p);
}

}  // namespace

// The plain and sized forms; the library uses no other.
void* operator new(size_t size) {
    return Allocate(size);
}
void* operator new[](size_t size) {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    Release(p);
}
void operator delete[](void* p) noexcept {
    Release(p);
}
void operator delete(void* p, size_t) noexcept {
    Release(p);
}
void operator delete[](void* p, size_t) noexcept {
    Release(p);
}

namespace {

using namespace scq;
using namespace scq::test;

constexpr int kItems = 16382;  // with the two bar lines a list of exactly 16384 slots

// The heap a loaded song of one staff holds.
HeapCount SongHeap(const Bytes& bytes) {
    MemoryStream stream(bytes.data(), bytes.size());
    SongFileInfo info;
    const HeapCount before = live;
    std::unique_ptr<Song> song = LoadSongFromStream(stream, info);
    HeapCount grown{live.blocks - before.blocks, live.chunks - before.chunks};
    if (!song || info.status != kLoadNewest) grown.blocks = -1;
    return grown;
}

Bytes StaffOf(const Item& item, int count) {
    SongSpec song;
    song.staffs = {MakeStaff("Staff", std::vector<Item>(static_cast<size_t>(count), item))};
    return BuildSong(song);
}

// The size of each kind, in type-code order.
// clang-format off
constexpr size_t kSizeOfKind[kItemTypeCount] = {
    sizeof(ClefItem),          sizeof(KeySignatureItem),     sizeof(BarLineItem),
    sizeof(EndingItem),        sizeof(InstrumentItem),       sizeof(TimeSignatureItem),
    sizeof(TempoItem),         sizeof(DynamicItem),          sizeof(NoteItem),
    sizeof(RestItem),          sizeof(ChordItem),            sizeof(PedalItem),
    sizeof(FlowDirectionItem), sizeof(ControllerItem),       sizeof(TempoVariationItem),
    sizeof(DynamicVariationItem), sizeof(PerformanceStyleItem), sizeof(TextItem),
    sizeof(RestChordItem)};
// clang-format on

void BM_ItemMemory(benchmark::State& state, Item item) {
    const Bytes items = StaffOf(item, kItems);
    const Bytes none = StaffOf(item, 0);
    HeapCount heap;
    for (auto _ : state) {
        const HeapCount base = SongHeap(none);
        heap = SongHeap(items);
        if (heap.blocks < 0 || base.blocks < 0) {
            state.SkipWithError("the staff did not load");
            return;
        }
        heap.blocks -= base.blocks;
        heap.chunks -= base.chunks;
    }
    state.counters["sizeof"] = static_cast<double>(kSizeOfKind[item.typeCode()]);
    state.counters["blocks_per_item"] = static_cast<double>(heap.blocks) / kItems;
    state.counters["heap_per_item"] = static_cast<double>(heap.chunks) / kItems;
}

const bool kRegistered = [] {
    const std::vector<Item> kinds = EveryKindItems();
    // clang-format off
    const char* const names[kItemTypeCount] = {
        "Clef", "KeySignature", "BarLine", "Ending", "Instrument", "TimeSignature", "Tempo",
        "Dynamic", "Note", "Rest", "Chord", "Pedal", "FlowDirection", "Controller",
        "TempoVariation", "DynamicVariation", "PerformanceStyle", "Text", "RestChord"};
    // clang-format on
    // The first item of each kind.
    std::vector<std::pair<std::string, Item>> rows;
    bool seen[kItemTypeCount] = {};
    for (const Item& item : kinds) {
        const int code = item.typeCode();
        if (code < 0 || code >= kItemTypeCount || seen[code]) continue;
        seen[code] = true;
        rows.emplace_back(names[code], item);
    }
    rows.emplace_back("Text/empty", Text(""));
    rows.emplace_back("Text/Solo", Text("Solo"));
    rows.emplace_back("Text/79_bytes", Text(std::string(79, 'x')));
    rows.emplace_back("Tempo/no_text", Tempo(120));
    rows.emplace_back("Chord/3_notes", Chord(dur::Quarter, {-2, 0, 2}));
    rows.emplace_back("Chord/no_members", Chord(std::vector<Item>{}));
    for (auto& [name, item] : rows) {
        benchmark::RegisterBenchmark(("BM_ItemMemory/" + name).c_str(), BM_ItemMemory, item)
            ->Iterations(3)
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

// ---- The memory bomb ---------------------------------------------------------------------------

const TempFile& Bomb() {
    static const TempFile file(BuildMemoryBomb(), "scqbomb");
    return file;
}

void RunOnBomb(benchmark::State& state, const char* program, std::vector<std::string> args) {
    args.push_back(Bomb().path());
    ProgramRun run;
    for (auto _ : state) {
        run = RunProgram(program, args, "/dev/null", {}, false);
        if (run.signal != 0) state.SkipWithError("the program was killed");
    }
    state.counters["peak_rss_MB"] = static_cast<double>(run.peakRssKb) / 1024.0;
    state.counters["exit_code"] = run.exitCode;
}

#ifdef SCQDUMP_PATH
void BM_PeakMemoryScqdumpBomb(benchmark::State& state) {
    RunOnBomb(state, SCQDUMP_PATH, {});
}
BENCHMARK(BM_PeakMemoryScqdumpBomb)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_PeakMemoryScqdumpBombNoLimit(benchmark::State& state) {
    RunOnBomb(state, SCQDUMP_PATH, {"--max-items", "0"});
}
BENCHMARK(BM_PeakMemoryScqdumpBombNoLimit)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
#endif

void BM_PeakMemoryScqinfoBomb(benchmark::State& state) {
    RunOnBomb(state, SCQINFO_PATH, {});
}
BENCHMARK(BM_PeakMemoryScqinfoBomb)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
