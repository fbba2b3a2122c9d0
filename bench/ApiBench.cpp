// The public API on the small songs: open a file and work out both play times, per file. The
// Python module's cost for the same work is measured by bench/python_load.py over the same
// files: set SCQ_BENCH_SONGS to a folder and the songs are written there and kept.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "scq/scq.h"
#include "support/RichSongs.h"
#include "support/SongBuilder.h"

namespace {

constexpr int kSongs = 2000;

struct SongFiles {
    std::string dir;
    bool keep = false;
    std::vector<std::string> paths;

    SongFiles() {
        const char* given = std::getenv("SCQ_BENCH_SONGS");
        keep = given != nullptr && *given != 0;
        dir = keep ? given : (std::filesystem::temp_directory_path() / "scq-apibench").string();
        std::filesystem::create_directories(dir);
        for (int i = 0; i < kSongs; ++i) {
            paths.push_back(dir + "/song" + std::to_string(i) + ".scq");
            scq::test::WriteFile(paths.back(), scq::test::BuildSong(scq::test::SmallSong(i)));
        }
    }
    ~SongFiles() {
        std::error_code ec;
        if (!keep) std::filesystem::remove_all(dir, ec);
    }
};

void BM_OpenAndPlayTimes(benchmark::State& state) {
    static const SongFiles files;
    for (auto _ : state) {
        for (const std::string& path : files.paths) {
            scq::SongFile song = scq::SongFile::open(path);
            benchmark::DoNotOptimize(song.playTimes());
        }
    }
    state.counters["us_per_file"] = benchmark::Counter(
        static_cast<double>(state.iterations() * kSongs),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}
BENCHMARK(BM_OpenAndPlayTimes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
