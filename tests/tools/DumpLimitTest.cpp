// scqdump's item limit and its handling of memory running out: the option, the damaged load it
// gives, the line on standard error, and the memory bomb that the default limit stops.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/Process.h"
#include "support/RichSongs.h"
#include "support/SongBuilder.h"

namespace scq::test {
namespace {

using Json = nlohmann::ordered_json;

ProgramRun RunDump(const std::vector<std::string>& args, const RunSettings& settings = {}) {
    TempFile noInput;
    return RunProgram(SCQDUMP_PATH, args, noInput.path(), settings);
}

size_t ItemsOfStaff(const Json& doc, size_t staff) {
    return doc["song"]["staffs"][staff]["items"].size();
}

TEST(DumpItemLimit, StopsTheLoadAsDamagedAndSaysSo) {
    // Two staffs of five notes; the reader adds two bar lines to each.
    SongSpec song;
    song.staffs = {MakeStaff("A", {Note(0), Note(1), Note(2), Note(3), Note(4)}),
                   MakeStaff("B", {Note(0), Note(1), Note(2), Note(3), Note(4)})};
    TempFile file(BuildSong(song));
    ASSERT_TRUE(file.ok());
    const std::string tooMany = "scqdump: " + file.path() + ": too many items\n";
    struct Case {
        std::vector<std::string> options;
        int status;
        size_t staffs;
        size_t lastStaffItems;
        std::string err;
    };
    const Case cases[] = {
        {{}, 1, 2, 7, ""},
        {{"--max-items", "0"}, 1, 2, 7, ""},
        {{"--max-items=10"}, 1, 2, 7, ""},
        {{"--max-items", "9"}, 7, 2, 6, tooMany},
        {{"--max-items", "5"}, 7, 2, 2, tooMany},
        {{"--max-items", "3"}, 7, 1, 5, tooMany},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options.empty() ? "default" : c.options.back());
        std::vector<std::string> args = c.options;
        args.push_back(file.path());
        const ProgramRun r = RunDump(args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err, c.err);
        const Json doc = Json::parse(r.out);
        EXPECT_EQ(doc["load"]["status"], c.status);
        ASSERT_EQ(doc["song"]["staffs"].size(), c.staffs);
        EXPECT_EQ(ItemsOfStaff(doc, c.staffs - 1), c.lastStaffItems);
    }
    for (const char* bad : {"-1", "x", "", "18446744073709551616"}) {
        const ProgramRun r = RunDump({"--max-items", bad, file.path()});
        EXPECT_EQ(r.exitCode, 2) << bad;
        EXPECT_EQ(r.out, "") << bad;
        EXPECT_NE(r.err.find("--max-items"), std::string::npos) << bad;
    }
}

// 8.4 million empty texts from 40 KB of file: the default limit stops the load at 2^20 items,
// well within 200 MB.
TEST(DumpItemLimit, TheDefaultStopsTheMemoryBomb) {
    if (BuiltWithAddressSanitizer()) GTEST_SKIP() << "too large for the sanitizer build";
    TempFile bomb(BuildMemoryBomb());
    ASSERT_TRUE(bomb.ok());
    RunSettings settings;
    settings.discardOutput = true;  // some 600 MB of JSON
    const ProgramRun r = RunDump({bomb.path()}, settings);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "scqdump: " + bomb.path() + ": too many items\n");
    EXPECT_GT(r.peakRssKb, 0);
    EXPECT_LT(r.peakRssKb, 200 * 1024);
    testing::Test::RecordProperty("peak_rss_kb", std::to_string(r.peakRssKb));
}

TEST(DumpItemLimit, RunningOutOfMemoryIsAFailedLoad) {
    if (BuiltWithAddressSanitizer()) GTEST_SKIP() << "no address space limit under the sanitizer";
    TempFile bomb(BuildMemoryBomb());
    TempFile small(BuildSong(SmallSong(1)));
    ASSERT_TRUE(bomb.ok() && small.ok());
    RunSettings settings;
    settings.addressSpaceLimit = uint64_t{128} << 20;  // the whole bomb needs well over 300 MB
    const ProgramRun r = RunDump({"--max-items", "0", bomb.path(), small.path()}, settings);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "scqdump: " + bomb.path() + ": out of memory\n");
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 2u);
    const Json failed = Json::parse(lines[0]);
    EXPECT_EQ(failed["load"]["status"], 8);
    EXPECT_TRUE(failed["song"].is_null());
    // The run goes on with the next file, which loads.
    const Json loaded = Json::parse(lines[1]);
    EXPECT_EQ(loaded["load"]["status"], 1);
    EXPECT_EQ(loaded["song"]["title"], "Small Song 1");
}

}  // namespace
}  // namespace scq::test
