// The load road at scale:
//   - load and audit throughput (MB/s) of a generated large song, 64 staffs x 12000 items,
//     plain and compressed, from a file as the program loads it and from memory;
//   - both play times of that song;
//   - list mode of the scqinfo program over 10,000 small files (files per second);
//   - the peak memory of scqinfo reporting on the large song.
//
//     cmake --preset bench && cmake --build --preset bench && build/bench/bench/LoadBench

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "perform/PlayTime.h"
#include "song/Song.h"
#include "song/SongFile.h"
#include "staff/Audit.h"
#include "stream/CompressedSongStream.h"
#include "stream/MemoryStream.h"
#include "support/Process.h"
#include "support/RichSongs.h"
#include "support/SongBuilder.h"

namespace {

using namespace scq;
using namespace scq::test;

constexpr int kStaffs = 64;
constexpr int kItemsPerStaff = 12000;
constexpr int kListFiles = 10000;

// The large song, plain and compressed, in memory and in files; made once.
struct LargeSongFiles {
    Bytes plain = BuildLargeSong(kStaffs, kItemsPerStaff);
    Bytes compressed = Compress(plain);
    TempFile plainFile{plain, "scqbench"};
    TempFile compressedFile{compressed, "scqbench"};
};

const LargeSongFiles& Large() {
    static const LargeSongFiles files;
    return files;
}

void LoadFile(benchmark::State& state, const TempFile& file, size_t bytes) {
    for (auto _ : state) {
        SongFileInfo info;
        std::unique_ptr<Song> song = LoadSongFile(file.path().c_str(), info);
        if (!song || info.status != kLoadNewest) state.SkipWithError("the large song did not load");
        benchmark::DoNotOptimize(song.get());
        // Destroying the song is not part of loading it.
        state.PauseTiming();
        song.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
}

void BM_LoadAndAuditPlainFile(benchmark::State& state) {
    LoadFile(state, Large().plainFile, Large().plain.size());
}
BENCHMARK(BM_LoadAndAuditPlainFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The rate counts the decompressed bytes: the song's own size.
void BM_LoadAndAuditCompressedFile(benchmark::State& state) {
    LoadFile(state, Large().compressedFile, Large().plain.size());
    state.counters["container_MB"] = static_cast<double>(Large().compressed.size()) / 1e6;
}
BENCHMARK(BM_LoadAndAuditCompressedFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_LoadAndAuditFromMemory(benchmark::State& state) {
    const Bytes& bytes = Large().plain;
    for (auto _ : state) {
        MemoryStream stream(bytes.data(), bytes.size());
        SongFileInfo info;
        std::unique_ptr<Song> song = LoadSongFromStream(stream, info);
        benchmark::DoNotOptimize(song.get());
        state.PauseTiming();
        song.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_LoadAndAuditFromMemory)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The large song loaded from its plain file, or none with the benchmark marked failed.
std::unique_ptr<Song> LoadLargeSong(benchmark::State& state) {
    SongFileInfo info;
    std::unique_ptr<Song> song = LoadSongFile(Large().plainFile.path().c_str(), info);
    if (!song) state.SkipWithError("the large song did not load");
    return song;
}

// The share of the audit in a load: one more audit of every staff of the loaded song.
void BM_AuditLoadedSong(benchmark::State& state) {
    std::unique_ptr<Song> song = LoadLargeSong(state);
    if (!song) return;
    for (auto _ : state) auditSong(*song, 1);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Large().plain.size()));
}
BENCHMARK(BM_AuditLoadedSong)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Both play times as scqinfo computes them: the SMF rendering is made again only when the
// song's own met a pause.
void BM_BothPlayTimes(benchmark::State& state) {
    std::unique_ptr<Song> song = LoadLargeSong(state);
    if (!song) return;
    PlayTimes times;
    for (auto _ : state) {
        times = BothPlayTimes(*song);
        benchmark::DoNotOptimize(times);
    }
    state.counters["scq_seconds"] = WholeSeconds(times.scqMilliseconds);
    state.counters["smf_seconds"] = WholeSeconds(times.smfMilliseconds);
}
BENCHMARK(BM_BothPlayTimes)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Each play time from a rendering of its own.
void BM_EachPlayTimeRendered(benchmark::State& state) {
    std::unique_ptr<Song> song = LoadLargeSong(state);
    if (!song) return;
    for (auto _ : state) {
        benchmark::DoNotOptimize(PlayTimeSeconds(*song, PlayTimeVariant::Scq) +
                                 PlayTimeSeconds(*song, PlayTimeVariant::Smf));
    }
}
BENCHMARK(BM_EachPlayTimeRendered)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Runs scqinfo with standard output thrown away; returns its peak resident set in KB, or -1
// when it failed.
long RunScqinfo(const std::vector<std::string>& args, const std::string& input) {
    const ProgramRun run = RunProgram(SCQINFO_PATH, args, input, {}, false);
    return run.exitCode == 0 ? run.peakRssKb : -1;
}

// 10,000 distinct songs of about 2 KB and the list that names them.
struct SmallSongFiles {
    std::string dir;
    std::string list;
    size_t totalBytes = 0;

    SmallSongFiles() {
        const char* tmp = getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/scqbenchXXXXXX";
        if (!mkdtemp(pattern.data())) return;
        dir = pattern;
        std::string names;
        for (int i = 0; i < kListFiles; ++i) {
            const std::string path = dir + "/song" + std::to_string(i) + ".scq";
            const Bytes bytes = BuildSong(SmallSong(i, 2048));
            totalBytes += bytes.size();
            WriteFile(path, bytes);
            names += path + "\n";
        }
        list = dir + "/list.txt";
        WriteFile(list, Bytes(names.begin(), names.end()));
    }
    ~SmallSongFiles() {
        std::error_code ec;
        if (!dir.empty()) std::filesystem::remove_all(dir, ec);
    }
};

void BM_ListModeSmallFiles(benchmark::State& state) {
    static const SmallSongFiles files;
    if (files.dir.empty()) {
        state.SkipWithError("no scratch folder");
        return;
    }
    for (auto _ : state) {
        if (RunScqinfo({"/list"}, files.list) < 0) state.SkipWithError("scqinfo /list failed");
    }
    state.SetItemsProcessed(state.iterations() * kListFiles);
    state.counters["files_per_second"] = benchmark::Counter(
        static_cast<double>(state.iterations() * kListFiles), benchmark::Counter::kIsRate);
    state.counters["average_file_bytes"] = static_cast<double>(files.totalBytes) / kListFiles;
}
BENCHMARK(BM_ListModeSmallFiles)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// scqinfo on the large song: load, audit, both play times, report.
void BM_PeakMemoryLargeSong(benchmark::State& state) {
    long peakKb = 0;
    for (auto _ : state) {
        peakKb = RunScqinfo({Large().plainFile.path()}, "/dev/null");
        if (peakKb < 0) state.SkipWithError("scqinfo failed on the large song");
    }
    state.counters["peak_rss_MB"] = static_cast<double>(peakKb) / 1024.0;
    state.counters["file_MB"] = static_cast<double>(Large().plain.size()) / 1e6;
}
BENCHMARK(BM_PeakMemoryLargeSong)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
