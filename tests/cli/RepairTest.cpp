#include <fcntl.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <climits>
#include <string>

#include "load/FileSystem.h"
#include "cli/MinimalSong.h"
#include "cli/PlayTimeFormat.h"
#include "load/Repair.h"
#include "cli/Subprocess.h"
#include "song/Song.h"

namespace scq {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

struct PlayTimeCase {
    int seconds;
    const char* text;
};

TEST(FormatPlayTimeTest, Texts) {
    const PlayTimeCase cases[] = {
        {0, "0:00"},
        {1, "0:01"},
        {59, "0:59"},
        {60, "1:00"},
        {65, "1:05"},
        {600, "10:00"},
        {3599, "59:59"},
        {3600, "1:00:00"},
        {36061, "10:01:01"},
        {360000, "100:00:00"},
        {4294967, "1193:02:47"},  // the longest time a wrapped 32-bit millisecond sum gives
        {INT_MAX, "596523:14:07"},
        // Negative times keep the truncating arithmetic and never overrun the buffer.
        {-65, "-1:-5"},
        {-3600, "-1:00:00"},
        {INT_MIN, "-596523:-14:-8"},
    };
    for (const PlayTimeCase& c : cases) {
        char buffer[kPlayTimeBufferSize];
        EXPECT_EQ(FormatPlayTime(c.seconds, buffer), buffer);
        EXPECT_STREQ(buffer, c.text) << c.seconds;
    }
}

TEST(FileExistsTest, EntriesThatAreNotDirectories) {
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    ASSERT_TRUE(WriteBytes(dir / "file", "x"));
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink((dir / "file").c_str(), (dir / "link").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "gone").c_str(), (dir / "dangling").c_str()), 0);
    ASSERT_EQ(::symlink(dir.path().c_str(), (dir / "dirlink").c_str()), 0);
    struct Case {
        std::string path;
        bool exists;
    };
    const Case cases[] = {{dir / "file", true},     {dir / "fifo", true},
                          {dir / "link", true},     {dir / "dangling", false},
                          {dir / "dirlink", false}, {dir.path(), false},
                          {dir / "missing", false}, {"", false}};
    for (const Case& c : cases) EXPECT_EQ(FileExists(c.path.c_str()), c.exists) << c.path;
    EXPECT_FALSE(FileExists(nullptr));
}

struct TransferCase {
    const char* name;
    std::string bytes;
    bool damaged;      // IsDamagedByTextTransfer
    bool repaired;     // RepairTextTransfer succeeds
    std::string copy;  // what the repair writes when it succeeds
};

class TextTransferTest : public ::testing::TestWithParam<TransferCase> {};

TEST_P(TextTransferTest, RecognisesAndRepairs) {
    const TransferCase& c = GetParam();
    TempDir dir;
    const std::string source = dir / "source";
    const std::string target = dir / "target";
    ASSERT_TRUE(WriteBytes(source, c.bytes));
    EXPECT_EQ(IsDamagedByTextTransfer(source.c_str()), c.damaged);
    EXPECT_EQ(RepairTextTransfer(source.c_str(), target.c_str()), c.repaired);
    if (c.repaired) {
        EXPECT_EQ(ReadBytes(target), c.copy);
    }
    EXPECT_EQ(ReadBytes(source), c.bytes);  // the source is only read
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, TextTransferTest,
    ::testing::Values(
        TransferCase{"empty", "", true, true, ""},
        TransferCase{"noLineFeed", "abc\x80\xff", true, true, "abc\x80\xff"},
        TransferCase{"crLf", "a\r\nb\r\n", true, true, "a\nb\n"},
        TransferCase{"crCrLf", "a\r\r\nb", true, true, "a\r\nb"},
        TransferCase{"trailingCr", "ab\r", true, true, "ab\r"},
        TransferCase{"loneCrInside", "a\rb\r\n", true, true, "a\rb\n"},
        TransferCase{"bareLf", "a\nb", false, false, ""},
        TransferCase{"bareLfAfterCrLf", "a\r\nb\n", false, false, ""},
        // A line feed right after a repaired pair passes the test but stops the repair.
        TransferCase{"crLfLf", "a\r\n\nb", true, false, ""},
        TransferCase{"nulBytes", std::string("\0\r\n\0", 4), true, true, std::string("\0\n\0", 3)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextTransferTest, UnopenableFiles) {
    TempDir dir;
    EXPECT_FALSE(IsDamagedByTextTransfer((dir / "missing").c_str()));
    EXPECT_FALSE(IsDamagedByTextTransfer(dir.path().c_str()));
    EXPECT_FALSE(RepairTextTransfer((dir / "missing").c_str(), (dir / "out").c_str()));
    // A destination that cannot be written fails the repair.
    ASSERT_TRUE(WriteBytes(dir / "in", "a\r\nb"));
    EXPECT_FALSE(RepairTextTransfer((dir / "in").c_str(), dir.path().c_str()));
    EXPECT_FALSE(RepairTextTransfer((dir / "in").c_str(), (dir / "no/such/dir").c_str()));
}

// LoadSongWithRepair in this process: the temporary directory comes from TMPDIR.
class LoadWithRepairTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TMPDIR");
        hadTmpdir_ = old != nullptr;
        if (old) oldTmpdir_ = old;
        ASSERT_EQ(::setenv("TMPDIR", tmp_.path().c_str(), 1), 0);
        // Keep the notice out of the test log.
        ::fflush(stderr);
        savedStderr_ = ::dup(2);
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 2);
        ::close(null);
    }
    void TearDown() override {
        ::fflush(stderr);
        ::dup2(savedStderr_, 2);
        ::close(savedStderr_);
        if (hadTmpdir_) {
            ::setenv("TMPDIR", oldTmpdir_.c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
        EXPECT_TRUE(tmp_.List().empty()) << "a temporary file survived";
    }
    TempDir tmp_;
    TempDir files_;
    bool hadTmpdir_ = false;
    std::string oldTmpdir_;
    int savedStderr_ = -1;
};

TEST_F(LoadWithRepairTest, InfoDescribesTheLastLoad) {
    testing::InfoSpec texts;
    texts.comments = "one\ntwo";
    const std::string original = testing::DamageableSongBytes(texts);
    const std::string damaged = testing::ToCrLf(original);
    ASSERT_TRUE(WriteBytes(files_ / "damaged", damaged));

    // Without the repair the damaged file is corrupt.
    SongFileInfo info;
    auto first = LoadSongFile((files_ / "damaged").c_str(), info);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(info.status, kLoadCorrupt);

    auto song = LoadSongWithRepair((files_ / "damaged").c_str(), info);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(info.status, kLoadNewest);
    EXPECT_STREQ(song->comments, "one\ntwo");
    EXPECT_EQ(song->firstBarNumber, 10);
    EXPECT_EQ(song->staffCount(), 1);
}

TEST_F(LoadWithRepairTest, FailedRepairKeepsTheFirstStatus) {
    // Corrupt (cut short) and with a CR LF LF sequence: the repair is tried and fails.
    testing::InfoSpec texts;
    texts.comments = "x\r\n\ny";
    std::string bytes = testing::SongBytes({}, texts);
    bytes.resize(bytes.size() - 6);
    ASSERT_TRUE(WriteBytes(files_ / "cut", bytes));
    SongFileInfo info;
    EXPECT_EQ(LoadSongWithRepair((files_ / "cut").c_str(), info), nullptr);
    EXPECT_EQ(info.status, kLoadCorrupt);

    // Not a song, and no line feed at all: copied unchanged, fails again with status 3.
    ASSERT_TRUE(WriteBytes(files_ / "junk", "not a song at all"));
    EXPECT_EQ(LoadSongWithRepair((files_ / "junk").c_str(), info), nullptr);
    EXPECT_EQ(info.status, kLoadNotSong);
}

TEST_F(LoadWithRepairTest, OtherStatusesAreNotRepaired) {
    testing::HeaderSpec h;
    h.revision = 17;
    ASSERT_TRUE(WriteBytes(files_ / "new", testing::SongBytes(h)));
    SongFileInfo info;
    EXPECT_EQ(LoadSongWithRepair((files_ / "new").c_str(), info), nullptr);
    EXPECT_EQ(info.status, kLoadNewerRevision);
}

TEST_F(LoadWithRepairTest, NoTemporaryDirectoryMeansNoRepair) {
    ASSERT_TRUE(WriteBytes(files_ / "damaged", testing::ToCrLf(testing::DamageableSongBytes())));
    ASSERT_EQ(::setenv("TMPDIR", (tmp_ / "missing").c_str(), 1), 0);
    SongFileInfo info;
    EXPECT_EQ(LoadSongWithRepair((files_ / "damaged").c_str(), info), nullptr);
    EXPECT_EQ(info.status, kLoadCorrupt);
}

TEST_F(LoadWithRepairTest, MemoryCopyLoadsAsTheTemporaryFile) {
    const std::string damaged = testing::ToCrLf(testing::DamageableSongBytes());
    for (const std::string& bytes : {damaged, damaged.substr(0, damaged.size() - 9)}) {
        ASSERT_TRUE(WriteBytes(files_ / "song", bytes));
        SongFileInfo viaFile, inMemory;
        auto a = LoadSongWithRepair((files_ / "song").c_str(), viaFile);
        auto b = LoadSongWithRepair((files_ / "song").c_str(), inMemory, nullptr, {},
                                    RepairCopy::kMemory);
        EXPECT_EQ(viaFile.status, inMemory.status);
        EXPECT_EQ(std::string(viaFile.error.reason) + std::to_string(viaFile.error.offset),
                  std::string(inMemory.error.reason) + std::to_string(inMemory.error.offset));
        EXPECT_EQ(a != nullptr, b != nullptr);
    }
    // The memory copy needs no temporary directory, and hands over the notice when asked.
    ASSERT_EQ(::setenv("TMPDIR", (tmp_ / "missing").c_str(), 1), 0);
    SongFileInfo info;
    std::string notice;
    LoadSongWithRepair((files_ / "song").c_str(), info, nullptr, {}, RepairCopy::kMemory, &notice);
    EXPECT_EQ(info.status, kLoadCorrupt);
    EXPECT_EQ(notice, RepairNoticeText((files_ / "song").c_str()));
}

// scqinfo ended by a signal while its repaired copy exists leaves no temporary file behind.
TEST(RepairSignalTest, InterruptedRepairRemovesTheCopy) {
    TempDir files;
    // Text without any song in it, every line feed after a carriage return: scqinfo reads it,
    // decides to repair it, and copies 12 MB into the temporary file.
    std::string text;
    for (int i = 0; i < 1 << 20; ++i) text += "lyric line\r\n";
    ASSERT_TRUE(WriteBytes(files / "big.scq", text));
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig);
        TempDir tmp;
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::setenv("TMPDIR", tmp.path().c_str(), 1);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::execl(SCQINFO_PATH, SCQINFO_PATH, (files / "big.scq").c_str(), nullptr);
            ::_exit(127);
        }
        bool seen = false;
        for (int wait = 0; wait < 120000 && !seen; ++wait) {
            seen = !tmp.List().empty();
            if (!seen) ::usleep(500);
        }
        ::kill(pid, sig);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(seen) << "the copy never appeared";
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        EXPECT_TRUE(tmp.List().empty()) << "a temporary file survived";
    }
}

}  // namespace
}  // namespace scq
