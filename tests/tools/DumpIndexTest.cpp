// scqdump as an indexer: the outcome and error of every kind of file on disk, --summary against
// scqinfo's report, CSV that parses back, and many files at once (lists, folders, jobs).

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/PlayTimeFormat.h"
#include "cli/Subprocess.h"
#include "song/SongFile.h"
#include "support/RichSongs.h"
#include "support/SongBuilder.h"

namespace scq::test {
namespace {

using Json = nlohmann::ordered_json;
using testing::RunOptions;
using testing::RunResult;
using testing::TempDir;

RunResult RunDump(const std::vector<std::string>& args, const RunOptions& options = {}) {
    return testing::RunProgram(SCQDUMP_PATH, args, options);
}

std::vector<Json> ParseLines(const std::string& text) {
    std::vector<Json> docs;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) docs.push_back(Json::parse(line));
    return docs;
}

Bytes Cut(const Bytes& bytes, size_t length) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<long>(length));
}

TEST(DumpIndex, EveryOutcomeFromFilesOnDisk) {
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    const Bytes song = BuildSong(RichSong(16));
    SongSpec badWord;
    badWord.header.leadingWord = 3;
    SongSpec product;
    product.header.productString = "[Another Product]";
    SongSpec newer;
    newer.header.formatRevision = 40;
    struct Case {
        std::string name;
        Bytes bytes;
        std::string outcome;
        int status;
    };
    std::vector<Case> cases = {
        {"ok.scq", song, "ok", kLoadNewest},
        {"compressed.scq", Compress(song), "ok", kLoadNewest},
        {"empty.scq", {}, "empty", kLoadEmpty},
        {"one-byte.scq", {'x'}, "empty", kLoadEmpty},
        {"ascii.scq", ToTextTransfer(song), "repaired", kLoadNewest},
        {"truncated.scq", Cut(song, song.size() / 2), "damaged", kLoadCorrupt},
        {"text.scq", {'h', 'e', 'l', 'l', 'o', '\n'}, "not-a-song", kLoadNotSong},
        {"newer.scq", BuildSong(newer), "too-new", kLoadNewerRevision},
        {"word.scq", BuildSong(badWord), "rejected-header", kLoadBadLeadingWord},
        {"product.scq", BuildSong(product), "rejected-header", kLoadUnknownProduct},
    };
    std::vector<std::string> args;
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteFile(dir / c.name, c.bytes)) << c.name;
        args.push_back(dir / c.name);
    }
    ASSERT_EQ(::mkdir((dir / "folder.scq").c_str(), 0700), 0);
    ASSERT_EQ(::mkfifo((dir / "fifo.scq").c_str(), 0600), 0);
    cases.push_back({"folder.scq", {}, "not-a-file", kLoadNotSong});
    cases.push_back({"fifo.scq", {}, "not-a-file", kLoadNotSong});
    cases.push_back({"missing.scq", {}, "not-found", kLoadNotSong});
    args.push_back(dir / "folder.scq");
    args.push_back(dir / "fifo.scq");
    args.push_back(dir / "missing.scq");
    if (::geteuid() != 0) {
        ASSERT_TRUE(WriteFile(dir / "locked.scq", song));
        ASSERT_EQ(::chmod((dir / "locked.scq").c_str(), 0), 0);
        cases.push_back({"locked.scq", {}, "unreadable", kLoadNotSong});
        args.push_back(dir / "locked.scq");
    }

    for (const bool summary : {false, true}) {
        std::vector<std::string> run = args;
        if (summary) run.insert(run.begin(), "--summary");
        const RunResult r = RunDump(run);
        EXPECT_EQ(r.exitCode, 1);
        const std::vector<Json> docs = ParseLines(r.out);
        ASSERT_EQ(docs.size(), cases.size());
        std::string expectedErr;
        for (size_t i = 0; i < cases.size(); ++i) {
            const Case& c = cases[i];
            SCOPED_TRACE(c.name);
            const Json& load = summary ? docs[i] : docs[i]["load"];
            EXPECT_EQ(load["outcome"], c.outcome);
            EXPECT_EQ(load["status"], c.status);
            const bool failed = c.outcome != "ok" && c.outcome != "empty" && c.outcome != "repaired";
            const Json& error = summary ? load : load["error"];
            const Json reason = error.is_null() ? Json() : error[summary ? "errorReason" : "reason"];
            if (!summary) {
                EXPECT_EQ(load["error"].is_null(), !failed);
            }
            if (c.name == "ascii.scq") {
                expectedErr += dir / c.name + ":\n" +
                               "Error: The file appears to have been improperly downloaded\n"
                               "       as an ASCII file. Attempting to repair the file...\n";
            }
            if (!failed) continue;
            ASSERT_TRUE(reason.is_string());
            expectedErr += "scqdump: " + (dir / c.name) + ": " + reason.get<std::string>() + "\n";
        }
        // One line per failed file, in order; nothing else but the repair notice.
        EXPECT_EQ(r.err, expectedErr);
    }
}

// A plain file cut where the loader's short block reads raise no error still loads with status
// 1; the outcome tells that it is damaged all the same.
TEST(DumpIndex, DataEndingEarlyIsDamagedWhateverTheStatus) {
    TempDir dir;
    const Bytes song = BuildSong(RichSong(16));
    int loadedWhole = 0;
    std::vector<std::string> args = {"--summary"};
    for (size_t cut = 2; cut < song.size(); cut += 7) {
        const std::string path = dir / ("cut" + std::to_string(cut) + ".scq");
        ASSERT_TRUE(WriteFile(path, Cut(song, cut)));
        args.push_back(path);
    }
    for (const Json& rec : ParseLines(RunDump(args).out)) {
        SCOPED_TRACE(rec.dump());
        EXPECT_NE(rec["outcome"], "ok");
        EXPECT_FALSE(rec["errorReason"].is_null());
        if (rec["status"] == kLoadNewest) ++loadedWhole;
    }
    EXPECT_GT(loadedWhole, 0) << "no cut loads with status 1: the case is not covered";
}

TEST(DumpIndex, ErrorOffsetsOfADamagedLoad) {
    TempDir dir;
    const Bytes song = BuildSong(RichSong(16));
    ASSERT_TRUE(WriteFile(dir / "cut.scq", Cut(song, 100)));
    const RunResult r = RunDump({dir / "cut.scq"});
    const Json doc = Json::parse(r.out);
    EXPECT_EQ(doc["load"]["error"]["reason"], "file ended inside the song information");
    EXPECT_EQ(doc["load"]["error"]["offset"], 100);
    // Existing members keep their places: the new ones follow them.
    std::vector<std::string> keys;
    for (const auto& [key, value] : doc["load"].items()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"status", "repaired", "productName",
                                              "formatRevision", "productVersion",
                                              "secondHeaderWord", "outcome", "error"}));
}

struct ScqinfoReport {
    std::string title, author, scqTime, smfTime;
};

ScqinfoReport RunScqinfo(const std::string& path) {
    const RunResult r = testing::RunScqinfoBinary({path});
    ScqinfoReport report;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        const std::string label = line.substr(0, tab), value = line.substr(tab + 1);
        if (label == "Title:") report.title = value;
        if (label == "Author:") report.author = value;
        if (label == "SCQ Play Time:") report.scqTime = value;
        if (label == "SMF Play Time:") report.smfTime = value;
    }
    return report;
}

std::string Clock(const Json& seconds) {
    char text[kPlayTimeBufferSize];
    return FormatPlayTime(seconds.get<int>(), text);
}

// A generated set: small songs of many shapes, the rich and flow songs, both forms.
std::vector<std::string> WriteSongSet(const TempDir& dir, int smallSongs) {
    std::vector<SongSpec> specs;
    for (int n = 0; n < smallSongs; ++n) specs.push_back(SmallSong(n));
    specs.push_back(RichSong(16));
    specs.push_back(RichSong(8));
    for (const SongSpec& flow : FlowSongs(16)) specs.push_back(flow);
    std::vector<std::string> paths;
    for (size_t i = 0; i < specs.size(); ++i) {
        SongSpec spec = specs[i];
        spec.compressed = i % 3 == 1;
        if (spec.info.title.empty()) spec.info.title = "Song " + std::to_string(i);
        const std::string path = dir / ("song" + std::to_string(1000 + i) + ".scq");
        EXPECT_TRUE(WriteFile(path, BuildSong(spec)));
        paths.push_back(path);
    }
    return paths;
}

TEST(DumpIndex, SummaryAgreesWithScqinfo) {
    TempDir dir;
    const std::vector<std::string> paths = WriteSongSet(dir, 12);
    std::vector<std::string> args = {"--summary"};
    args.insert(args.end(), paths.begin(), paths.end());
    const RunResult r = RunDump(args);
    EXPECT_EQ(r.exitCode, 0);
    const std::vector<Json> records = ParseLines(r.out);
    ASSERT_EQ(records.size(), paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(paths[i]);
        const ScqinfoReport info = RunScqinfo(paths[i]);
        const Json& rec = records[i];
        EXPECT_EQ(rec["title"], info.title);
        EXPECT_EQ(rec["author"], info.author);
        EXPECT_EQ(Clock(rec["scqSeconds"]), info.scqTime);
        EXPECT_EQ(Clock(rec["smfSeconds"]), info.smfTime);
        EXPECT_EQ(rec["scqSeconds"], (rec["scqMilliseconds"].get<int>() + 500) / 1000);
    }

    // The CSV form parses back (with Python's csv module) to the same values.
    SongSpec awkward = SmallSong(3);
    awkward.info.title = "Tab\there, \"quoted\", line\nbreak";
    awkward.info.author = "Comma, Author";
    const std::string awkwardPath = dir / "awkward.scq";
    ASSERT_TRUE(WriteFile(awkwardPath, BuildSong(awkward)));
    args.push_back(awkwardPath);
    args.push_back(dir / "missing.scq");
    args.insert(args.begin(), "--csv");
    const RunResult csv = RunDump(args);
    const RunResult json = RunDump(std::vector<std::string>(args.begin() + 1, args.end()));
    ASSERT_TRUE(testing::WriteBytes(dir / "out.csv", csv.out));
    const RunResult parsed = testing::RunProgram(
        "/usr/bin/env",
        {"python3", "-c",
         "import csv, json, sys\n"
         "rows = list(csv.DictReader(open(sys.argv[1], newline='', encoding='utf-8')))\n"
         "print(json.dumps(rows))\n",
         dir / "out.csv"});
    ASSERT_EQ(parsed.exitCode, 0) << parsed.err;
    const Json rows = Json::parse(parsed.out);
    const std::vector<Json> records2 = ParseLines(json.out);
    ASSERT_EQ(rows.size(), records2.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        for (const auto& [key, value] : records2[i].items()) {
            std::string expected = value.is_string() ? value.get<std::string>()
                                   : value.is_null() ? ""
                                                     : value.dump();
            EXPECT_EQ(rows[i][key], expected) << i << " " << key;
        }
        EXPECT_EQ(rows[i]["fileBytes"], "");
    }
}

TEST(DumpIndex, JobsDoNotChangeTheOutput) {
    TempDir dir;
    std::vector<std::string> paths;
    for (int n = 0; n < 2000; ++n) {
        const std::string path = dir / ("s" + std::to_string(n) + ".scq");
        Bytes bytes = BuildSong(SmallSong(n % 40, 600));
        if (n % 7 == 3) bytes = Cut(bytes, bytes.size() * 2 / 3);
        if (n % 11 == 5) bytes = ToTextTransfer(bytes);
        ASSERT_TRUE(WriteFile(path, bytes));
        paths.push_back(path);
    }
    paths.push_back(dir / "missing.scq");
    std::string list;
    for (const std::string& p : paths) list += p + "\n";
    ASSERT_TRUE(testing::WriteBytes(dir / "list", list));
    const RunResult one = RunDump({"--summary", "-j", "1", "--files-from", dir / "list"});
    const RunResult four = RunDump({"--summary", "-j4", "--files-from", dir / "list"});
    EXPECT_EQ(one.exitCode, 1);
    EXPECT_EQ(four.exitCode, 1);
    EXPECT_EQ(ParseLines(one.out).size(), paths.size());
    EXPECT_TRUE(one.out == four.out);
    EXPECT_TRUE(one.err == four.err);
    // Whole documents too, on a part of them.
    std::vector<std::string> some = {"--performance", "--jobs", "1"};
    some.insert(some.end(), paths.begin(), paths.begin() + 150);
    const RunResult docsOne = RunDump(some);
    some[2] = "4";
    const RunResult docsFour = RunDump(some);
    EXPECT_TRUE(docsOne.out == docsFour.out);
    EXPECT_TRUE(docsOne.err == docsFour.err);
}

TEST(DumpIndex, NamesFromAListOrStandardInput) {
    TempDir dir;
    const std::string odd = dir / "with\nline feed.scq";
    const std::string plain = dir / "plain.scq";
    ASSERT_TRUE(WriteFile(odd, BuildSong(SmallSong(1))));
    ASSERT_TRUE(WriteFile(plain, BuildSong(SmallSong(2))));
    std::string nul = plain + '\0' + odd + '\0';
    ASSERT_TRUE(testing::WriteBytes(dir / "list0", nul));

    const RunResult r0 = RunDump({"--summary", "-0", "--files-from", dir / "list0"});
    EXPECT_EQ(r0.exitCode, 0) << r0.err;
    std::vector<Json> recs = ParseLines(r0.out);
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[0]["file"], plain);
    EXPECT_EQ(recs[1]["file"], odd);

    RunOptions input;
    input.input = plain + "\n\n" + plain + "\n";
    const RunResult lines = RunDump({"--summary", "--files-from", "-"}, input);
    EXPECT_EQ(lines.exitCode, 0);
    EXPECT_EQ(ParseLines(lines.out).size(), 2u);

    // A file named like an option, after "--".
    const std::string dash = dir / "-j.scq";
    ASSERT_TRUE(WriteFile(dash, BuildSong(SmallSong(3))));
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    const RunResult dashed = RunDump({"--summary", "--", "-j.scq"});
    EXPECT_EQ(dashed.exitCode, 0) << dashed.err;

    // A name that is not UTF-8 keeps its bytes.
    const std::string latin = dir / "caf\xe9.scq";
    ASSERT_TRUE(WriteFile(latin, BuildSong(SmallSong(4))));
    for (const char* mode : {"--summary", "--pretty"}) {
        const Json doc = Json::parse(RunDump({mode, latin}).out);
        EXPECT_EQ(doc["file"], dir / "caf\u00e9.scq");
        std::string hex;
        for (unsigned char c : latin) {
            char two[3];
            std::snprintf(two, sizeof two, "%02x", c);
            hex += two;
        }
        EXPECT_EQ(doc["fileBytes"], hex);
    }
}

TEST(DumpIndex, RecursiveWalksFoldersInOrder) {
    TempDir dir;
    const std::string root = dir / "tree";
    for (const char* d : {"", "/b", "/a", "/a/deep"}) {
        ASSERT_EQ(::mkdir((root + d).c_str(), 0700), 0);
    }
    for (const char* f : {"/z.scq", "/a/deep/x.SCQ", "/a/m.scq", "/b/k.scq"}) {
        ASSERT_TRUE(WriteFile(root + f, BuildSong(SmallSong(5))));
    }
    ASSERT_TRUE(WriteFile(root + "/notes.txt", {'x'}));
    ASSERT_TRUE(WriteFile(root + "/b/scq", {'x'}));
    ASSERT_TRUE(WriteFile(dir / "outside.scq", BuildSong(SmallSong(6))));
    ASSERT_EQ(::symlink((dir / "outside.scq").c_str(), (root + "/b/link.scq").c_str()), 0);
    ASSERT_EQ(::symlink(root.c_str(), (root + "/b/loop").c_str()), 0);
    ASSERT_EQ(::symlink((root + "/gone").c_str(), (root + "/broken.scq").c_str()), 0);

    const RunResult r = RunDump({"--summary", "-r", root, dir / "outside.scq"});
    std::vector<std::string> files;
    for (const Json& rec : ParseLines(r.out)) files.push_back(rec["file"]);
    EXPECT_EQ(files, (std::vector<std::string>{root + "/a/deep/x.SCQ", root + "/a/m.scq",
                                               root + "/b/k.scq", root + "/b/link.scq",
                                               root + "/broken.scq", root + "/z.scq",
                                               dir / "outside.scq"}));
    // The broken link is listed and fails as not found.
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("broken.scq: no such file"), std::string::npos) << r.err;

    // Without -r the folder is not a file.
    const Json doc = Json::parse(RunDump({"--summary", root}).out);
    EXPECT_EQ(doc["outcome"], "not-a-file");
}

TEST(DumpIndex, CommandLine) {
    const RunResult version = RunDump({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("scqdump ", 0), 0u);
    const RunResult help = RunDump({"-h"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--files-from"), std::string::npos);
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"--csv", "x.scq"},
                                               {"-j", "0", "x.scq"},
                                               {"-0", "x.scq"},
                                               {"--files-from", "/nonexistent/list"}}) {
        const RunResult r = RunDump(bad);
        EXPECT_EQ(r.exitCode, 2) << bad[0];
        EXPECT_EQ(r.out, "");
    }
    // --progress writes lines on standard error that is not a terminal, and nothing else.
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir / "a.scq", BuildSong(SmallSong(1))));
    const RunResult progress = RunDump({"--summary", "--progress", dir / "a.scq"});
    EXPECT_EQ(progress.err, "scqdump: 1/1 files, " +
                                progress.err.substr(progress.err.find(", ") + 2));
    EXPECT_NE(progress.err.find("files/s"), std::string::npos);
}

}  // namespace
}  // namespace scq::test
