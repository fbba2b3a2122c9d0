#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <string>
#include <vector>

#include "cli/MinimalSong.h"
#include "cli/Subprocess.h"

namespace scq {
namespace {

using testing::RunOptions;
using testing::RunResult;
using testing::RunScqinfoBinary;
using testing::TempDir;
using testing::WriteBytes;

const char kHelp[] =
    "SCQINFO Version 1.75b: This program displays information about files\n"
    "created by Staveforge Engraver Version 1.75 or earlier. More details\n"
    "can be found at http://www.staveforge.example on the web.\n"
    "\n"
    "Usage: SCQINFO [/?] [/list] [\"<scq-filename>\"]\n"
    "\n"
    "       SCQINFO can be used in three different modes:\n"
    "\n"
    "       /?\n"
    "         This simply shows this help message.\n"
    "\n"
    "       /list\n"
    "         In list mode, a list of SCQ files should be provided on\n"
    "         Standard Input (one file per line), and a tab delimited\n"
    "         list of results are sent to Standard Output.\n"
    "\n"
    "       \"<scq-filename>\"\n"
    "         In the absence of other options, an SCQ file should be\n"
    "         on the command line. You must quote the filename if it\n"
    "         contains any spaces.\n";

const char kListHeader[] = "SCQ Filename\tTitle\tAuthor\n";

std::string Notice(const std::string& path) {
    return path +
           ":\nError: The file appears to have been improperly downloaded\n"
           "       as an ASCII file. Attempting to repair the file...\n";
}

std::string NotFound(const std::string& name) {
    return "Error: The file \"" + name + "\" could not be found.\n";
}
std::string NotValid(const std::string& name) {
    return "Error: The file \"" + name +
           "\" does not appear to be a valid Staveforge Engraver file.\n";
}
std::string Corrupt(const std::string& name) {
    return "Error: The file \"" + name + "\" appears to be corrupt.\n";
}
std::string NewVersion(const std::string& name) {
    return "Error: The file \"" + name +
           "\" appears to be from a new version of Staveforge Engraver.\n";
}

// The report of a song without staffs, whose play times are 0.
std::string Report(const testing::InfoSpec& info, const std::string& version = "1.75") {
    std::string out = "Title:\t" + info.title + "\nAuthor:\t" + info.author + "\nCopyright1:\t" +
                      info.copyright1 + "\nCopyright2:\t" + info.copyright2 +
                      "\nSCQ Play Time:\t0:00\nSMF Play Time:\t0:00\nSCQ Version:\t" + version +
                      "\n";
    if (!info.comments.empty()) out += "\nComments:\n" + info.comments + "\n";
    return out;
}

class CliTest : public ::testing::Test, protected testing::ScqinfoRunner {
protected:
    // Writes a file in the test directory and returns its path.
    std::string Put(const std::string& name, const std::string& bytes) {
        const std::string path = dir_ / name;
        EXPECT_TRUE(WriteBytes(path, bytes));
        return path;
    }
    // Runs with TMPDIR pointed at a fresh directory, which must stay empty.
    RunResult Run(const std::vector<std::string>& args, RunOptions options = {}) {
        RunResult r = ScqinfoRunner::Run(args, std::move(options));
        EXPECT_TRUE(tmpLeftEmpty()) << "a temporary file survived";
        return r;
    }
};

TEST_F(CliTest, HelpText) {
    const std::vector<std::vector<std::string>> helpArgs = {
        {}, {"/?"}, {"/list", "/?"}, {"file.scq", "/?"}, {"/?", "file.scq"}, {"a", "b", "/?"}};
    for (const auto& args : helpArgs) {
        RunResult r = Run(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, kHelp);
        EXPECT_EQ(r.err, "");
    }
    // Only the exact two characters ask for help; anything else is a file name.
    for (const char* name : {"/?x", "/x", "-?", "/help", "/lists"}) {
        RunResult r = Run({name});
        EXPECT_EQ(r.exitCode, 1) << name;
        EXPECT_EQ(r.out, NotFound(name));
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(CliTest, ListModeSelection) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"/list"}, {"/LIST"}, {"/List"}, {"/list", "extra"}, {"/LiSt", "x", "y"}}) {
        RunResult r = Run(args);
        EXPECT_EQ(r.exitCode, 0) << args[0];
        EXPECT_EQ(r.out, kListHeader);
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(CliTest, SingleFileReport) {
    testing::InfoSpec info;
    info.title = "Sonata in \xC9 \x80\xFF";  // bytes above 127 pass through unchanged
    info.comments = "First line\nSecond line";
    const std::string path = Put("song.scq", testing::SongBytes({}, info));
    RunResult r = Run({path, "ignored", "/list"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, Report(info));
    EXPECT_EQ(r.err, "");

    // The compressed form reports the same.
    const std::string packed = Put("packed.scq", testing::Compress(testing::SongBytes({}, info)));
    r = Run({packed});
    EXPECT_EQ(r.out, Report(info));
}

TEST_F(CliTest, VersionsAndComments) {
    struct Case {
        int version;
        const char* text;
    };
    const Case cases[] = {{331, "1.75"}, {261, "1.5"},   {256, "1.0"},
                          {0, "0.0"},    {255, "0.255"}, {-300, "-1.-44"}};
    for (const Case& c : cases) {
        testing::HeaderSpec h;
        h.productVersion = c.version;
        testing::InfoSpec info;  // empty comments: no block at all
        const std::string path = Put("v.scq", testing::SongBytes(h, info));
        RunResult r = Run({path});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, Report(info, c.text)) << c.version;
    }
}

TEST_F(CliTest, EmptyFilesAreNewSongs) {
    char year[8];
    const std::time_t now = std::time(nullptr);
    std::strftime(year, sizeof year, "%Y", std::localtime(&now));
    testing::InfoSpec fresh;
    fresh.title = "";
    fresh.author = "Staveforge Engraver";
    fresh.copyright1 = std::string("Copyright ") + year + " Staveforge Software";
    fresh.copyright2 = "All Rights Reserved";
    for (const std::string& bytes : {std::string(), std::string("\n")}) {
        const std::string path = Put("empty.scq", bytes);
        RunResult r = Run({path});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, Report(fresh));
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(CliTest, ErrorMessages) {
    testing::HeaderSpec newer;
    newer.revision = 17;
    testing::HeaderSpec leading;
    leading.leadingWord = 1;
    testing::HeaderSpec other;
    other.product = "[Other]";
    testing::InfoSpec withCrLfLf;
    withCrLfLf.comments = "x\r\n\ny";
    std::string cutCrLfLf = testing::SongBytes({}, withCrLfLf);
    cutCrLfLf.resize(cutCrLfLf.size() - 6);

    struct Case {
        const char* file;
        std::string bytes;
        bool notice;
        std::string (*message)(const std::string&);
    };
    const Case cases[] = {
        {"junk.scq", "this is\nnot a song", false, NotValid},
        {"two.scq", "a\n", false, NotValid},
        {"newer.scq", testing::SongBytes(newer), false, NewVersion},
        {"leading.scq", testing::SongBytes(leading), false, NewVersion},
        {"other.scq", testing::SongBytes(other), false, NewVersion},
        // Not a song and no line feed: the repair is tried, copies it unchanged, fails.
        {"noLf.scq", "no line feed here", true, NotValid},
        // Cut short, so corrupt; CR LF LF makes it look damaged but stops the repair.
        {"cut.scq", cutCrLfLf, true, Corrupt},
        // A file that cannot be opened is not a valid song (and has nothing to repair).
        {"fifo", "", false, NotValid},
    };
    ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    for (const Case& c : cases) {
        const std::string path =
            std::string(c.file) == "fifo" ? dir_ / "fifo" : Put(c.file, c.bytes);
        RunResult r = Run({path});
        EXPECT_EQ(r.exitCode, 1) << c.file;
        EXPECT_EQ(r.out, c.message(path)) << c.file;
        EXPECT_EQ(r.err, c.notice ? Notice(path) : "") << c.file;
    }
    for (const std::string& path : {dir_.path(), dir_ / "missing", std::string("/dev/null")}) {
        RunResult r = Run({path});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, path == "/dev/null" ? NotValid(path) : NotFound(path));
    }
}

TEST_F(CliTest, CorruptSongIsStillReported) {
    // Cut short with a bare line feed in it: no repair, the partial song is reported.
    testing::InfoSpec info;
    info.comments = "a\nb";
    std::string bytes = testing::SongBytes({}, info);
    bytes.resize(bytes.size() - 6);
    RunResult r = Run({Put("short.scq", bytes)});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, Report(info));
    EXPECT_EQ(r.err, "");
}

TEST_F(CliTest, RepairedFileReportsAsTheOriginal) {
    testing::InfoSpec info;
    info.title = "Line\nFeeds";
    info.comments = "one\ntwo\r\nthree\r";
    const std::string original = testing::DamageableSongBytes(info);
    const std::string good = Put("good.scq", original);
    const std::string bad = Put("bad name \xE9.scq", testing::ToCrLf(original));

    RunResult expected = Run({good});
    ASSERT_EQ(expected.exitCode, 0);
    ASSERT_EQ(expected.out, Report(info));

    RunResult r = Run({bad});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, expected.out);
    EXPECT_EQ(r.err, Notice(bad));

    // Into one pipe: the notice comes before the report.
    RunOptions merged;
    merged.merged = true;
    r = Run({bad}, merged);
    EXPECT_EQ(r.out, Notice(bad) + expected.out);

    // With no temporary directory to write to, the repair fails after its notice.
    RunOptions noTmp;
    noTmp.env.emplace_back("TMPDIR", tmp_ / "missing");
    r = RunScqinfoBinary({bad}, noTmp);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, Corrupt(bad));
    EXPECT_EQ(r.err, Notice(bad));
}

TEST_F(CliTest, ListMode) {
    testing::InfoSpec one;
    one.title = "One";
    one.author = "Author One";
    testing::InfoSpec two;
    two.title = "Two \xFC";
    two.author = "";
    const std::string a = Put("a.scq", testing::SongBytes({}, one));
    const std::string b = Put("with space.scq", testing::SongBytes({}, two));
    const std::string junk = Put("junk.scq", "junk\n");
    const std::string missing = dir_ / "missing.scq";

    struct Case {
        const char* name;
        std::string input;
        std::string out;  // after the header line
        std::string err;
    };
    const Case cases[] = {
        {"empty", "", "", ""},
        {"short lines", "\n\nx\nab\nab", "", ""},
        {"three characters", "abc\n", "", "abc: File not found\n"},
        {"mixed", a + "\n" + missing + "\n" + b + "\n" + junk + "\n" + dir_.path() + "\n",
         a + "\tOne\tAuthor One\n" + b + "\tTwo \xFC\t\n",
         missing + ": File not found\n" + junk + ": File could not be loaded\n" + dir_.path() +
             ": File not found\n"},
        {"last line without line feed", a, a + "\tOne\tAuthor One\n", ""},
        {"crlf", a + "\r\n" + missing + "\r\n", a + "\tOne\tAuthor One\n",
         missing + ": File not found\n"},
        {"lone cr stays", a + "\r\r\n", "", a + "\r: File not found\n"},
        {"nul ends the name", a + std::string("\0garbage", 8) + "\n" + b + "\n",
         a + "\tOne\tAuthor One\n" + b + "\tTwo \xFC\t\n", ""},
        {"blanks are kept", " " + a + "\n", "", " " + a + ": File not found\n"},
    };
    for (const Case& c : cases) {
        RunOptions options;
        options.input = c.input;
        RunResult r = Run({"/list"}, options);
        EXPECT_EQ(r.exitCode, 0) << c.name;
        EXPECT_EQ(r.out, kListHeader + c.out) << c.name;
        EXPECT_EQ(r.err, c.err) << c.name;
    }
}

TEST_F(CliTest, ListModeOrderingInOnePipe) {
    testing::InfoSpec info;
    info.title = "T";
    info.author = "A";
    const std::string a = Put("a.scq", testing::SongBytes({}, info));
    const std::string damaged = Put("d.scq", testing::ToCrLf(testing::DamageableSongBytes(info)));
    const std::string missing = dir_ / "nope.scq";
    RunOptions options;
    options.merged = true;
    options.input = a + "\n" + missing + "\n" + damaged + "\n" + a + "\n";
    RunResult r = Run({"/list"}, options);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, std::string(kListHeader) + a + "\tT\tA\n" + missing + ": File not found\n" +
                         Notice(damaged) + damaged + "\tT\tA\n" + a + "\tT\tA\n");
}

TEST_F(CliTest, ListModeLongLines) {
    testing::InfoSpec info;
    info.title = "Long";
    info.author = "Path";
    Put("s.scq", testing::SongBytes({}, info));
    Put("ss.scq", testing::SongBytes({}, info));
    // A path of exactly 2047 characters to an existing file, padded with "./".
    std::string prefix = dir_.path() + "/";
    std::string file = (2047 - prefix.size() - 5) % 2 == 0 ? "s.scq" : "ss.scq";
    std::string kept = prefix;
    while (kept.size() + file.size() < 2047) kept += "./";
    kept += file;
    ASSERT_EQ(kept.size(), 2047u);
    const std::string line = kept + std::string(3000 - kept.size(), 'X');

    RunOptions options;
    options.input = line + "\n" + kept + "\n" + std::string(5000, 'Y') + "\n";
    RunResult r = Run({"/list"}, options);
    EXPECT_EQ(r.exitCode, 0);
    // The first 2047 characters are kept; the rest of the line is dropped with its line feed.
    EXPECT_EQ(r.out, kListHeader + kept + "\tLong\tPath\n" + kept + "\tLong\tPath\n");
    EXPECT_EQ(r.err, std::string(2047, 'Y') + ": File not found\n");
}

TEST_F(CliTest, ListModeHundredNames) {
    testing::InfoSpec info;
    info.title = "Title";
    info.author = "Author";
    std::string input, out, err;
    for (int i = 0; i < 100; ++i) {
        const std::string name = "song" + std::to_string(i) + ".scq";
        if (i % 3 == 0) {
            err += (dir_ / name) + ": File not found\n";
        } else {
            info.title = "Title " + std::to_string(i);
            Put(name, testing::SongBytes({}, info));
            out += (dir_ / name) + "\t" + info.title + "\tAuthor\n";
        }
        input += (dir_ / name) + "\n";
    }
    RunOptions options;
    options.input = input;
    RunResult r = Run({"/list"}, options);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, kListHeader + out);
    EXPECT_EQ(r.err, err);
}

// Runs the binary through the shell, for redirections the runner does not make.
RunResult RunShell(const std::string& redirections, const TempDir& dir) {
    RunResult r;
    const std::string cmd = std::string(SCQINFO_PATH) + " " + redirections + " 2> " + (dir / "err");
    int status = std::system(cmd.c_str());
    if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
    r.err = testing::ReadBytes(dir / "err");
    return r;
}

TEST_F(CliTest, FailedWritesToStandardOutput) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    const std::string song = Put("s.scq", testing::SongBytes());
    for (const std::string& args :
         {std::string("/list < /dev/null > /dev/full"), song + " > /dev/full"}) {
        RunResult r = RunShell(args, dir_);
        EXPECT_EQ(r.exitCode, 1) << args;
        EXPECT_EQ(r.err, "scqinfo: could not write to standard output\n") << args;
    }
}

TEST_F(CliTest, UnreadableStandardInput) {
    // A directory as standard input: reading it fails.
    RunResult r = RunShell("/list < " + dir_.path() + " > " + (dir_ / "out"), dir_);
    r.out = testing::ReadBytes(dir_ / "out");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, kListHeader);
    EXPECT_EQ(r.err, "scqinfo: could not read standard input\n");
}

}  // namespace
}  // namespace scq
