// scqdump as an indexer of whole archives, as a script would run it:
// - BM_ScqinfoPerFile: one scqinfo process per file (a sample of the 10,000 small songs; the
//   figure is per file), the way an archive is indexed without scqdump;
// - BM_Summary/jobs: `scqdump --summary -j N --files-from LIST` over the 10,000 small songs;
// - BM_SummaryDamaged/valid and /truncated: 20,000 files of the same sizes, whole songs against
//   longer songs cut short, with -j 1: a damaged file must cost no more than a valid one.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "cli/Subprocess.h"
#include "support/Process.h"
#include "support/RichSongs.h"
#include "support/SongBuilder.h"

namespace {

using namespace scq::test;

constexpr int kSmallSongs = 10000;
constexpr int kScqinfoSample = 1000;
constexpr int kDamageFiles = 20000;

struct FileSet {
    scq::testing::TempDir dir;
    std::string list;
    std::vector<std::string> paths;

    // Files are named by a letter and a number (built step by step: g++ 12 warns wrongly about
    // the concatenation of a literal and a number at -O3).
    void add(char letter, int n, const Bytes& bytes) {
        std::string name(1, letter);
        name += std::to_string(n);
        name += ".scq";
        const std::string path = dir / name;
        WriteFile(path, bytes);
        paths.push_back(path);
    }
    void finish() {
        std::string names;
        for (const std::string& p : paths) names += p + "\n";
        list = dir / "list";
        scq::testing::WriteBytes(list, names);
    }
};

const FileSet& SmallSongs() {
    static FileSet set;
    if (set.paths.empty()) {
        for (int n = 0; n < kSmallSongs; ++n) set.add('s', n, BuildSong(SmallSong(n)));
        set.finish();
    }
    return set;
}

// 20,000 files: whole songs of about 1000 bytes, or songs of about twice that size cut to the
// size of the whole song of the same number.
const FileSet& DamageSet(bool truncated) {
    static FileSet sets[2];
    FileSet& set = sets[truncated ? 1 : 0];
    if (set.paths.empty()) {
        for (int n = 0; n < kDamageFiles; ++n) {
            Bytes bytes = BuildSong(SmallSong(n, 1000));
            if (truncated) {
                const size_t size = bytes.size();
                bytes = BuildSong(SmallSong(n, 2000));
                bytes.resize(size);
            }
            set.add('d', n, bytes);
        }
        set.finish();
    }
    return set;
}

double RunDump(const std::vector<std::string>& args) {
    RunSettings settings;
    settings.keepOutput = false;
    const ProgramRun r = RunProgram(SCQDUMP_PATH, args, "/dev/null", settings);
    return r.signal == 0 && r.exitCode >= 0 && r.exitCode <= 1 ? r.seconds : -1;
}

void BM_ScqinfoPerFile(benchmark::State& state) {
    const FileSet& set = SmallSongs();
    RunSettings settings;
    settings.keepOutput = false;
    for (auto _ : state) {
        for (int n = 0; n < kScqinfoSample; ++n) {
            RunProgram(SCQINFO_PATH, {set.paths[static_cast<size_t>(n) * 10]}, "/dev/null",
                       settings);
        }
    }
    state.counters["files_per_second"] = benchmark::Counter(
        static_cast<double>(state.iterations() * kScqinfoSample), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ScqinfoPerFile)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_Summary(benchmark::State& state) {
    const FileSet& set = SmallSongs();
    const std::string jobs = std::to_string(state.range(0));
    for (auto _ : state) {
        if (RunDump({"--summary", "-j", jobs, "--files-from", set.list}) < 0) {
            state.SkipWithError("scqdump failed");
        }
    }
    state.counters["files_per_second"] = benchmark::Counter(
        static_cast<double>(state.iterations() * kSmallSongs), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Summary)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_SummaryDamaged(benchmark::State& state) {
    const FileSet& set = DamageSet(state.range(0) == 1);
    for (auto _ : state) {
        if (RunDump({"--summary", "-j", "1", "--files-from", set.list}) < 0) {
            state.SkipWithError("scqdump failed");
        }
    }
    state.SetLabel(state.range(0) == 1 ? "truncated" : "valid");
    state.counters["files_per_second"] = benchmark::Counter(
        static_cast<double>(state.iterations() * kDamageFiles), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SummaryDamaged)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

}  // namespace
