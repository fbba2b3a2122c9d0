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

#include "JsonLines.h"
#include "cli/PlayTimeFormat.h"
#include "load/Repair.h"
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

Bytes Cut(const Bytes& bytes, size_t length) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<long>(length));
}

TEST(DumpIndex, EveryOutcomeFromFilesOnDisk) {
    TempDir dir;
    const Bytes song = BuildSong(RichSong(16));
    SongSpec word, product, newer;
    word.header.leadingWord = 3;
    product.header.productString = "[Another Product]";
    newer.header.formatRevision = 40;
    struct Case {
        std::string name;  // folder.scq, fifo.scq and missing.scq are made as they say
        Bytes bytes;
        std::string outcome;
        int status;
    };
    std::vector<Case> cases = {
        {"ok.scq", song, "ok", 1},
        {"compressed.scq", Compress(song), "ok", 1},
        {"empty.scq", {}, "empty", 0},
        {"one-byte.scq", {'x'}, "empty", 0},
        {"ascii.scq", ToTextTransfer(song), "repaired", 1},
        {"truncated.scq", Cut(song, song.size() / 2), "damaged", 7},
        {"text.scq", {'h', 'i', '\n'}, "not-a-song", 3},
        {"newer.scq", BuildSong(newer), "too-new", 4},
        {"word.scq", BuildSong(word), "rejected-header", 5},
        {"product.scq", BuildSong(product), "rejected-header", 6},
        {"folder.scq", {}, "not-a-file", 3},
        {"fifo.scq", {}, "not-a-file", 3},
        {"missing.scq", {}, "not-found", 3},
    };
    if (::geteuid() != 0) cases.push_back({"locked.scq", song, "unreadable", 3});
    std::vector<std::string> args;
    for (const Case& c : cases) {
        const std::string path = dir / c.name;
        args.push_back(path);
        const bool ok = c.name == "folder.scq"    ? ::mkdir(path.c_str(), 0700) == 0
                        : c.name == "fifo.scq"    ? ::mkfifo(path.c_str(), 0600) == 0
                        : c.name == "missing.scq" ? true
                                                  : WriteFile(path, c.bytes);
        ASSERT_TRUE(ok) << path;
    }
    ASSERT_TRUE(::geteuid() == 0 || ::chmod((dir / "locked.scq").c_str(), 0) == 0);

    for (const bool summary : {false, true}) {
        std::vector<std::string> run = args;
        if (summary) run.insert(run.begin(), "--summary");
        const RunResult r = RunDump(run);
        EXPECT_EQ(r.exitCode, 1);
        const std::vector<Json> docs = ParseLines(r.out);
        ASSERT_EQ(docs.size(), cases.size());
        std::string expectedErr = RepairNoticeText((dir / "ascii.scq").c_str());
        for (size_t i = 0; i < cases.size(); ++i) {
            SCOPED_TRACE(cases[i].name);
            const Json& load = summary ? docs[i] : docs[i]["load"];
            EXPECT_EQ(load["outcome"], cases[i].outcome);
            EXPECT_EQ(load["status"], cases[i].status);
            const Json reason = summary ? load["errorReason"]
                                : load["error"].is_null() ? Json()
                                                          : load["error"]["reason"];
            if (reason.is_null()) continue;
            expectedErr += "scqdump: " + args[i] + ": " + reason.get<std::string>() + "\n";
        }
        // One line for each failed file, in order, and only for those.
        EXPECT_EQ(r.err, expectedErr);
    }
}

// A cut inside the song information, and cuts everywhere: a plain file cut where the loader's
// short block reads raise no error still loads with status 1, and is damaged all the same.
TEST(DumpIndex, TruncatedFilesAreDamaged) {
    TempDir dir;
    const Bytes song = BuildSong(RichSong(16));
    ASSERT_TRUE(WriteFile(dir / "cut.scq", Cut(song, 100)));
    const Json doc = Json::parse(RunDump({dir / "cut.scq"}).out);
    EXPECT_EQ(doc["load"]["error"], Json::parse(R"({"reason": "file ended inside the song )"
                                                R"(information", "offset": 100})"));
    int loadedWhole = 0;
    std::vector<std::string> args = {"--summary"};
    for (size_t cut = 2; cut < song.size(); cut += 7) {
        args.push_back(dir / ("cut" + std::to_string(cut) + ".scq"));
        ASSERT_TRUE(WriteFile(args.back(), Cut(song, cut)));
    }
    for (const Json& rec : ParseLines(RunDump(args).out)) {
        EXPECT_NE(rec["outcome"], "ok") << rec.dump();
        EXPECT_FALSE(rec["errorReason"].is_null()) << rec.dump();
        loadedWhole += rec["status"] == kLoadNewest;
    }
    EXPECT_GT(loadedWhole, 0) << "no cut loads with status 1: the case is not covered";
}

std::string Clock(const Json& seconds) {
    char text[kPlayTimeBufferSize];
    return FormatPlayTime(seconds.get<int>(), text);
}

// A generated set: small songs of many shapes, the rich and flow songs, both forms.
std::vector<std::string> WriteSongSet(const TempDir& dir, int smallSongs) {
    std::vector<SongSpec> songs;
    for (int n = 0; n < smallSongs; ++n) songs.push_back(SmallSong(n));
    songs.push_back(RichSong(16));
    songs.push_back(RichSong(8));
    for (const SongSpec& flow : FlowSongs(16)) songs.push_back(flow);
    std::vector<std::string> paths;
    for (size_t i = 0; i < songs.size(); ++i) {
        SongSpec song = songs[i];
        song.compressed = i % 3 == 1;
        if (song.info.title.empty()) song.info.title = "Song " + std::to_string(i);
        const std::string path = dir / ("song" + std::to_string(1000 + i) + ".scq");
        EXPECT_TRUE(WriteFile(path, BuildSong(song)));
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
        const Json& rec = records[i];
        const std::string report = testing::RunScqinfoBinary({paths[i]}).out;
        const std::string head = "Title:\t" + rec["title"].get<std::string>() + "\nAuthor:\t" +
                                 rec["author"].get<std::string>() + "\n";
        EXPECT_EQ(report.rfind(head, 0), 0u) << report;
        const std::string times = "SCQ Play Time:\t" + Clock(rec["scqSeconds"]) +
                                  "\nSMF Play Time:\t" + Clock(rec["smfSeconds"]) + "\n";
        EXPECT_NE(report.find(times), std::string::npos) << report << rec.dump();
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
    const std::string docsOne = RunDump(some).out;
    some[2] = "4";
    EXPECT_TRUE(docsOne == RunDump(some).out);
}

TEST(DumpIndex, NamesFromListsAndFolders) {
    TempDir dir;
    const std::string root = dir / "tree";
    for (const char* d : {"", "/b", "/a", "/a/deep"}) ASSERT_EQ(::mkdir((root + d).c_str(), 0700), 0);
    for (const char* f : {"/z.scq", "/a/deep/x.SCQ", "/a/m.scq", "/b/k.scq", "/b/line\nfeed.scq"}) {
        ASSERT_TRUE(WriteFile(root + f, BuildSong(SmallSong(5))));
    }
    ASSERT_TRUE(WriteFile(root + "/notes.txt", {'x'}));
    const std::string latin = dir / "caf\xe9.scq";
    ASSERT_TRUE(WriteFile(latin, BuildSong(SmallSong(6))));
    ASSERT_EQ(::symlink(latin.c_str(), (root + "/b/link.scq").c_str()), 0);
    ASSERT_EQ(::symlink(root.c_str(), (root + "/b/loop").c_str()), 0);
    ASSERT_EQ(::symlink((root + "/gone").c_str(), (root + "/broken.scq").c_str()), 0);

    // -r: every .scq file, sorted; links to files listed, links to folders not followed.
    const RunResult r = RunDump({"--summary", "-r", root, latin});
    std::vector<std::string> files;
    for (const Json& rec : ParseLines(r.out)) files.push_back(rec["file"]);
    const std::vector<std::string> expected = {
        root + "/a/deep/x.SCQ", root + "/a/m.scq",   root + "/b/k.scq",
        root + "/b/line\nfeed.scq", root + "/b/link.scq", root + "/broken.scq",
        root + "/z.scq",          dir / "caf\u00e9.scq"};
    EXPECT_EQ(files, expected);
    EXPECT_EQ(r.exitCode, 1);  // the broken link
    EXPECT_NE(r.err.find("broken.scq: no such file"), std::string::npos) << r.err;
    EXPECT_EQ(ParseLines(r.out).back()["fileBytes"], "2f" + [&] {
        std::string hex;
        for (unsigned char c : latin.substr(1)) {
            char two[3];
            std::snprintf(two, sizeof two, "%02x", c);
            hex += two;
        }
        return hex;
    }());
    EXPECT_EQ(Json::parse(RunDump({"--summary", root}).out)["outcome"], "not-a-file");

    // The same names from a NUL-separated list, and from lines on standard input.
    const std::string nul = root + "/b/line\nfeed.scq" + '\0' + root + "/z.scq" + '\0';
    ASSERT_TRUE(testing::WriteBytes(dir / "list0", nul));
    const RunResult r0 = RunDump({"--summary", "-0", "--files-from", dir / "list0"});
    EXPECT_EQ(r0.out, testing::RunProgram(SCQDUMP_PATH, {"--summary", "--", expected[3], expected[6]}).out);
    RunOptions lines;
    lines.input = root + "/z.scq\n\n" + root + "/a/m.scq\n";
    EXPECT_EQ(ParseLines(RunDump({"--summary", "--files-from", "-"}, lines).out).size(), 2u);
}

TEST(DumpIndex, CommandLine) {
    EXPECT_EQ(RunDump({"--version"}).out.rfind("scqdump ", 0), 0u);
    EXPECT_NE(RunDump({"-h"}).out.find("--files-from"), std::string::npos);
    EXPECT_EQ(RunDump({"-0", "x.scq"}).exitCode, 2);
    EXPECT_EQ(RunDump({"--files-from", "/nonexistent/list"}).exitCode, 2);
    // --progress writes its lines to standard error that is not a terminal.
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir / "a.scq", BuildSong(SmallSong(1))));
    const RunResult progress = RunDump({"--summary", "--progress", dir / "a.scq"});
    EXPECT_EQ(progress.err.rfind("scqdump: 1/1 files, ", 0), 0u) << progress.err;
}

}  // namespace
}  // namespace scq::test
