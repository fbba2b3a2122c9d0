// The crafted songs of tests/support/CraftedSongs.h: every family, plain and compressed, at
// full size (the largest file of the family that fits 64 KB) and at its smallest (scale 1):
//   - BM_CraftedReport: what scqinfo does with the file: load and audit it from the file, then
//     both play times;
//   - BM_CraftedDump: what `scqdump --events` does: the same, with both event lists written
//     out (to /dev/null);
//   - BM_CraftedConvert: what scqconvert does: load the file and write it as a MIDI file in
//     memory.
// Each must stay under a second at full size. Names read Crafted<what>/<family>/<form>/<size>:
//
//     build/bench/bench/CraftedBench --benchmark_filter='Report/replayed-sweeps/.*/full'

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "export/MidiWriter.h"
#include "perform/PlayTime.h"
#include "song/Song.h"
#include "song/SongFile.h"
#include "support/CraftedSongs.h"
#include "support/SongBuilder.h"
#ifdef SCQ_BENCH_HAVE_DUMP
#include "Dump.h"
#endif

namespace {

using namespace scq;
using namespace scq::test;

// One family in one form at one scale; its file is written the first time a benchmark needs
// it, so that a filtered run builds only what it measures.
struct CraftedFile {
    const crafted::Family* family;
    bool compressed;
    int scale;
    Bytes bytes;
    std::unique_ptr<TempFile> file;

    const std::string& path() {
        if (!file) {
            bytes = crafted::Build(*family, scale, compressed);
            file = std::make_unique<TempFile>(bytes, "scqcrafted");
        }
        return file->path();
    }
};

void Describe(benchmark::State& state, const CraftedFile& f) {
    state.counters["file_bytes"] = static_cast<double>(f.bytes.size());
    state.counters["scale"] = f.scale;
}

// Loads the file in every iteration and hands the song to `use`.
template <class Use>
void LoadEach(benchmark::State& state, CraftedFile* f, Use&& use) {
    const std::string& path = f->path();
    for (auto _ : state) {
        SongFileInfo info;
        std::unique_ptr<Song> song = LoadSongFile(path.c_str(), info);
        if (!song) {
            state.SkipWithError("the crafted song did not load");
            break;
        }
        use(*song);
    }
    Describe(state, *f);
}

void BM_CraftedReport(benchmark::State& state, CraftedFile* f) {
    unsigned seconds = 0;
    LoadEach(state, f, [&seconds](Song& song) {
        const PlayTimes times = BothPlayTimes(song);
        seconds = WholeSeconds(times.scqMilliseconds);
        benchmark::DoNotOptimize(times.smfMilliseconds);
    });
    state.counters["play_seconds"] = seconds;
}

void BM_CraftedConvert(benchmark::State& state, CraftedFile* f) {
    std::vector<uint8_t> out;
    LoadEach(state, f, [&out](Song& song) { benchmark::DoNotOptimize(WriteMidi(song, out).endTick); });
    state.counters["midi_bytes"] = static_cast<double>(out.size());
}

#ifdef SCQ_BENCH_HAVE_DUMP
void BM_CraftedDump(benchmark::State& state, CraftedFile* f) {
    const std::string& path = f->path();
    std::FILE* sink = std::fopen("/dev/null", "w");
    if (!sink) {
        state.SkipWithError("cannot open /dev/null");
        return;
    }
    dump::Options options;
    options.events = true;
    for (auto _ : state) {
        if (!dump::DumpFile(path.c_str(), options, sink)) {
            state.SkipWithError("the crafted song did not load");
            break;
        }
    }
    std::fclose(sink);
    Describe(state, *f);
}
#endif

std::vector<std::unique_ptr<CraftedFile>>& Files() {
    static std::vector<std::unique_ptr<CraftedFile>> files;
    return files;
}

bool RegisterAll() {
    for (const crafted::Family& family : crafted::Families()) {
        for (const bool compressed : {false, true}) {
            const int full = compressed ? family.fullCompressedScale : family.fullPlainScale;
            for (const int scale : {full, 1}) {
                Files().push_back(std::make_unique<CraftedFile>(
                    CraftedFile{&family, compressed, scale, {}, nullptr}));
                CraftedFile* f = Files().back().get();
                const std::string name = std::string(family.name) +
                                         (compressed ? "/compressed" : "/plain") +
                                         (scale == full ? "/full" : "/scale1");
                benchmark::RegisterBenchmark(("CraftedReport/" + name).c_str(), BM_CraftedReport, f)
                    ->Unit(benchmark::kMillisecond);
                benchmark::RegisterBenchmark(("CraftedConvert/" + name).c_str(), BM_CraftedConvert,
                                             f)
                    ->Unit(benchmark::kMillisecond);
#ifdef SCQ_BENCH_HAVE_DUMP
                benchmark::RegisterBenchmark(("CraftedDump/" + name).c_str(), BM_CraftedDump, f)
                    ->Unit(benchmark::kMillisecond);
#endif
            }
        }
    }
    return true;
}

const bool kRegistered = RegisterAll();

}  // namespace
