// Loading and rendering are safe to run at once on different songs: threads that load, render
// and convert the same set of songs in different orders get what one thread alone gets. The
// tsan preset runs this under ThreadSanitizer.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "export/MidiWriter.h"
#include "perform/PlayTime.h"
#include "song/Song.h"
#include "song/SongFile.h"
#include "support/RichSongs.h"
#include "support/SongBuilder.h"

namespace scq::test {
namespace {

struct Result {
    int status = -1;
    std::string reason;
    unsigned scq = 0, smf = 0;
    std::vector<uint8_t> midi;

    bool operator==(const Result&) const = default;
};

Result Process(const std::string& path) {
    Result r;
    SongFileInfo info;
    std::unique_ptr<Song> song = LoadSongFile(path.c_str(), info);
    r.status = info.status;
    r.reason = info.error.reason;
    if (!song) return r;
    r.scq = PlayTimeSeconds(*song, PlayTimeVariant::Scq);
    r.smf = PlayTimeSeconds(*song, PlayTimeVariant::Smf);
    WriteMidi(*song, r.midi);
    return r;
}

TEST(ParallelLoad, ThreadsGetWhatOneThreadGets) {
    InitSongDefaults();
    std::vector<Bytes> set;
    for (int n = 0; n < 6; ++n) set.push_back(BuildSong(SmallSong(n)));
    set.push_back(BuildSong(RichSong(16)));
    set.push_back(Compress(BuildSong(RichSong(9))));
    for (const SongSpec& flow : FlowSongs(16)) set.push_back(BuildSong(flow));
    const Bytes rich = BuildSong(RichSong(16));
    set.push_back(Bytes(rich.begin(), rich.begin() + static_cast<long>(rich.size() / 2)));
    std::vector<TempFile> files;
    for (const Bytes& bytes : set) files.emplace_back(bytes);

    std::vector<Result> alone;
    for (const TempFile& f : files) alone.push_back(Process(f.path()));

    constexpr size_t kThreads = 4;
    std::vector<std::vector<Result>> got(kThreads, std::vector<Result>(files.size()));
    std::vector<std::thread> threads;
    for (size_t t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (size_t k = 0; k < files.size(); ++k) {
                // Each thread its own order: rotated, and backwards on every other thread.
                const size_t rotated = (k + t * 3) % files.size();
                const size_t i = t % 2 ? files.size() - 1 - rotated : rotated;
                got[t][i] = Process(files[i].path());
            }
        });
    }
    for (std::thread& th : threads) th.join();
    for (size_t t = 0; t < kThreads; ++t) {
        for (size_t i = 0; i < files.size(); ++i) {
            EXPECT_TRUE(got[t][i] == alone[i]) << "thread " << t << ", song " << i;
        }
    }
}

}  // namespace
}  // namespace scq::test
