// List mode of the real scqinfo program over long inputs: a list of 100,000 lines of every
// sort, and many songs with one song alive at a time (memory stays flat, nothing leaks: the
// sanitizer build runs the program with leak detection on).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "Hostile.h"
#include "support/RichSongs.h"

#ifndef SCQINFO_PATH
#error "SCQINFO_PATH must name the scqinfo program"
#endif

namespace scq::test {
namespace {

namespace fs = std::filesystem;

// A scratch folder, removed with everything in it.
class ScratchDir {
public:
    ScratchDir() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/scqlistXXXXXX";
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    std::string put(const std::string& name, const Bytes& bytes) const {
        const std::string p = path_ + "/" + name;
        EXPECT_TRUE(WriteFile(p, bytes)) << p;
        return p;
    }

private:
    std::string path_;
};

// Under the sanitizers freed memory waits in a quarantine; keep it small so that the resident
// set shows what the program really holds. Leak detection stays on.
std::vector<std::string> ChildEnvironment() {
    if (!kSanitized) return {};
    const char* asan = std::getenv("ASAN_OPTIONS");
    std::string options = asan && *asan ? std::string(asan) + ":" : "";
    return {"ASAN_OPTIONS=" + options + "quarantine_size_mb=1:thread_local_quarantine_size_kb=64"};
}

// Resident memory the program may use: its own size and one small song at a time.
constexpr long kMaxRssKb = kSanitized ? 64 * 1024 : 16 * 1024;

TEST(ListMode, HundredThousandLinesOfEverySort) {
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    std::vector<std::string> songs;
    for (int i = 0; i < 20; ++i) {
        songs.push_back(
            dir.put("song" + std::to_string(i) + ".scq", BuildSong(SmallSong(i, 2048))));
    }
    const std::string damaged = dir.put("ascii.scq", ToTextTransfer(BuildSong(SmallSong(99))));
    const std::string notSong = dir.put("text.scq", Bytes{'h', 'e', 'l', 'l', 'o', '\n'});

    // Ten kinds of lines, 10,000 of each.
    std::string list;
    int loaded = 0, repaired = 0, notFound = 0, notLoaded = 0;
    for (int i = 0; i < 10000; ++i) {
        const std::string& song = songs[static_cast<size_t>(i) % songs.size()];
        list += song + "\n";                                             // a song
        list += song + "\r\n";                                           // CR LF line end
        list += song + std::string(1, '\0') + "ignored after NUL\n";     // NUL ends the name
        list += "\n";                                                    // empty
        list += "ab\n";                                                  // too short
        list += dir.path() + "/missing" + std::to_string(i) + ".scq\n";  // not there
        list += std::string(3000, 'y') + "\n";                           // overlong, not there
        list += dir.path() + "\n";                                       // a folder
        if (i % 100 == 0) {
            list += damaged + "\n";
            ++repaired;
        } else {
            list += song + "\n";
            ++loaded;
        }
        list += notSong + "\n";
        loaded += 3;
        notFound += 3;
        ++notLoaded;
    }
    const std::string listPath = dir.path() + "/list.txt";
    {
        std::ofstream out(listPath, std::ios::binary);
        out << list;
    }

    ProgramRun run = RunProgram(SCQINFO_PATH, {"/list"}, listPath, ChildEnvironment());
    EXPECT_EQ(run.signal, 0) << run.err.substr(0, 4000);
    EXPECT_EQ(run.exitCode, 0);
    const std::vector<std::string> out = Lines(run.out);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out[0], "SCQ Filename\tTitle\tAuthor");
    EXPECT_EQ(static_cast<int>(out.size()) - 1, loaded + repaired);
    EXPECT_EQ(out[1], songs[0] + "\tSmall Song 0\tAuthor 0");

    int foundNotFound = 0, foundNotLoaded = 0;
    for (const std::string& line : Lines(run.err)) {
        if (line.ends_with(": File not found")) ++foundNotFound;
        if (line.ends_with(": File could not be loaded")) ++foundNotLoaded;
    }
    EXPECT_EQ(foundNotFound, notFound);
    EXPECT_EQ(foundNotLoaded, notLoaded);
    // An overlong line keeps its first 2047 characters.
    EXPECT_NE(run.err.find(std::string(2047, 'y') + ": File not found\n"), std::string::npos);
    EXPECT_EQ(run.err.find(std::string(2048, 'y')), std::string::npos);

    EXPECT_LT(run.peakRssKb, kMaxRssKb);
    RecordProperty("seconds", std::to_string(run.seconds));
    RecordProperty("max_rss_kb", std::to_string(run.peakRssKb));
}

// Ten times as many songs take no more memory: each song is gone before the next is read.
TEST(ListMode, MemoryStaysFlatOverManySongs) {
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string rich = dir.put("rich.scq", BuildSong(RichSong(16)));
    SongSpec compressedSpec = RichSong(9);
    compressedSpec.compressed = true;
    const std::string compressed = dir.put("compressed.scq", BuildSong(compressedSpec));
    const std::string large = dir.put("large.scq", BuildSong(LargeSong(4, 2000)));

    auto runOver = [&](int rounds) {
        std::string list;
        for (int i = 0; i < rounds; ++i) list += rich + "\n" + compressed + "\n" + large + "\n";
        const std::string listPath =
            dir.put("list" + std::to_string(rounds) + ".txt", Bytes(list.begin(), list.end()));
        ProgramRun run = RunProgram(SCQINFO_PATH, {"/list"}, listPath, ChildEnvironment());
        EXPECT_EQ(run.signal, 0) << run.err.substr(0, 4000);
        EXPECT_EQ(run.exitCode, 0) << run.err.substr(0, 4000);
        EXPECT_EQ(Lines(run.out).size(), static_cast<size_t>(3 * rounds + 1));
        return run.peakRssKb;
    };
    const int rounds = kSanitized ? 30 : 100;
    const long few = runOver(rounds);
    const long many = runOver(10 * rounds);
    RecordProperty("max_rss_kb_few", std::to_string(few));
    RecordProperty("max_rss_kb_many", std::to_string(many));
    EXPECT_LT(many, few + 4 * 1024)
        << "resident memory grew from " << few << " KB to " << many << " KB";
}

}  // namespace
}  // namespace scq::test
