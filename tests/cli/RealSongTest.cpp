// The front end on song files with staffs and items, made by the test song builder.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/Subprocess.h"
#include "song/Song.h"
#include "song/SongFile.h"
#include "support/SongBuilder.h"

namespace scq {
namespace {

using testing::RunOptions;
using testing::RunResult;
using testing::RunScqinfoBinary;
using testing::TempDir;

std::string AsString(const test::Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

test::SongSpec Quartet(int revision) {
    test::SongSpec song;
    song.revision = revision;
    song.info.title = "Quartet";
    song.info.author = "Someone";
    song.info.comments = "Two staffs\nwith notes";
    // Bar lines, endings and flow directions: the item kinds whose readers exist so far.
    test::StaffSpec violin =
        test::MakeStaff("Violin", {test::Bar(), test::Ending(1), test::Bar(test::bar::Double),
                                   test::Flow(test::flow::Segno), test::Bar()});
    violin.channel = 10;  // a line feed in a binary field
    test::StaffSpec cello = test::MakeStaff("Cello", {test::Bar(test::bar::LocalRepeatOpen),
                                                      test::Bar(test::bar::LocalRepeatClose, 3)});
    cello.channel = 1;
    song.staffs = {violin, cello};
    return song;
}

class RealSongTest : public ::testing::TestWithParam<int>, protected testing::ScqinfoRunner {
protected:
    RunResult Run(const std::vector<std::string>& args, RunOptions options = {}) {
        RunResult r = ScqinfoRunner::Run(args, std::move(options));
        EXPECT_TRUE(tmpLeftEmpty()) << "a temporary file survived";
        return r;
    }
};

TEST_P(RealSongTest, PlainCompressedAndRepairedReportAlike) {
    test::SongSpec song = Quartet(GetParam());
    const std::string plain = AsString(test::BuildSong(song));
    song.compressed = true;
    const std::string packed = AsString(test::BuildSong(song));
    const std::string damaged =
        AsString(test::ToTextTransfer(test::BuildSong(Quartet(GetParam()))));
    ASSERT_NE(damaged, plain);  // the file holds line feeds

    const std::string plainPath = dir_ / "plain.scq";
    const std::string packedPath = dir_ / "packed.scq";
    const std::string damagedPath = dir_ / "damaged.scq";
    ASSERT_TRUE(testing::WriteBytes(plainPath, plain));
    ASSERT_TRUE(testing::WriteBytes(packedPath, packed));
    ASSERT_TRUE(testing::WriteBytes(damagedPath, damaged));

    // The plain file loads cleanly; the damage makes the first load fail the way the repair
    // looks for.
    SongFileInfo info;
    LoadSongFile(plainPath.c_str(), info);
    ASSERT_EQ(info.status, GetParam() == 16 ? kLoadNewest : kLoadOlder);
    LoadSongFile(damagedPath.c_str(), info);
    ASSERT_TRUE(info.status == kLoadNotSong || info.status == kLoadCorrupt) << info.status;

    RunResult expected = Run({plainPath});
    ASSERT_EQ(expected.exitCode, 0);
    EXPECT_EQ(expected.err, "");
    const std::string version = "SCQ Version:\t1.75\n";
    EXPECT_EQ(expected.out.compare(0, 16, "Title:\tQuartet\nA"), 0) << expected.out;
    EXPECT_NE(expected.out.find(version + "\nComments:\nTwo staffs\nwith notes\n"),
              std::string::npos)
        << expected.out;

    RunResult r = Run({packedPath});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, expected.out);
    EXPECT_EQ(r.err, "");

    r = Run({damagedPath});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, expected.out);
    EXPECT_EQ(r.err, damagedPath +
                         ":\nError: The file appears to have been improperly downloaded\n"
                         "       as an ASCII file. Attempting to repair the file...\n");

    RunOptions list;
    list.input = plainPath + "\n" + packedPath + "\n" + damagedPath + "\n";
    r = Run({"/list"}, list);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "SCQ Filename\tTitle\tAuthor\n" + plainPath + "\tQuartet\tSomeone\n" +
                         packedPath + "\tQuartet\tSomeone\n" + damagedPath +
                         "\tQuartet\tSomeone\n");
}

INSTANTIATE_TEST_SUITE_P(Revisions, RealSongTest, ::testing::Values(16, 15, 9, 8, 6, 3));

}  // namespace
}  // namespace scq
