// scqconvert: output names and formats, and the program end to end: every option, files that
// cannot be loaded or written, outputs that exist, standard output.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Convert.h"
#include "Mxl.h"
#include "load/Repair.h"
#include "cli/Subprocess.h"
#include "export/MidiWriter.h"
#include "song/Song.h"
#include "support/ExportSongs.h"
#include "support/SongBuilder.h"

namespace scq::test {
namespace {

using convert::Format;

TEST(ConvertNames, FormatsAndOutputNames) {
    struct Case {
        const char* text;
        std::optional<Format> named;   // FormatNamed(text)
        std::optional<Format> byPath;  // FormatOfPath(text)
    };
    const std::vector<Case> cases = {
        {"midi", Format::Midi, std::nullopt},      {"MIDI", Format::Midi, std::nullopt},
        {"mid", Format::Midi, std::nullopt},       {"x.mid", std::nullopt, Format::Midi},
        {"x.MIDI", std::nullopt, Format::Midi},    {"dir.mid/x", std::nullopt, std::nullopt},
        {".mid", std::nullopt, std::nullopt},      {"a/.mid", std::nullopt, std::nullopt},
        {"x.mid.txt", std::nullopt, std::nullopt}, {"", std::nullopt, std::nullopt},
        {"xml", std::nullopt, std::nullopt},
        {"MusicXML", Format::MusicXml, std::nullopt}, {"x.musicxml", std::nullopt, Format::MusicXml},
        {"x.XML", std::nullopt, Format::MusicXml},
        {"MXL", Format::Mxl, std::nullopt},       {"x.mxl", std::nullopt, Format::Mxl},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(convert::FormatNamed(c.text), c.named) << c.text;
        EXPECT_EQ(convert::FormatOfPath(c.text), c.byPath) << c.text;
    }
    const std::vector<std::vector<std::string>> names = {
        {"out", "song.scq", "out/song.mid"}, {"out/", "a/b/song.SCQ", "out/song.mid"},
        {"o", "song", "o/song.mid"},         {"o", "my.song.v2.scq", "o/my.song.v2.mid"},
        {"o", ".hidden", "o/.hidden.mid"},   {"o", "dir.x/song", "o/song.mid"},
    };
    for (const auto& n : names) {
        EXPECT_EQ(convert::OutputInDirectory(n[0], n[1], Format::Midi), n[2]) << n[1];
    }
    EXPECT_EQ(convert::OutputInDirectory("o", "song.scq", Format::MusicXml), "o/song.musicxml");
}

testing::RunResult RunConvert(const std::vector<std::string>& args,
                              const testing::RunOptions& options = {}) {
    return testing::RunProgram(SCQCONVERT_PATH, args, options);
}

// The file scqconvert must write for a song file: what the writer makes of it, loaded the way
// scqinfo loads it.
std::string Expected(const std::string& path, uint64_t maxItems = kDefaultMaxItems) {
    SongFileInfo info;
    LoadOptions options;
    options.maxItems = maxItems;
    std::unique_ptr<Song> song = LoadSongWithRepair(path.c_str(), info, nullptr, options);
    if (!song) return "";
    std::vector<uint8_t> bytes;
    WriteMidi(*song, bytes);
    return std::string(bytes.begin(), bytes.end());
}

class ConvertProgram : public ::testing::Test {
protected:
    void SetUp() override {
        song_ = dir_ / "song.scq";
        other_ = dir_ / "other.scq";
        for (const NamedSong& s : ExportSongs(false)) {
            if (s.name == "rich-r16" || s.name == "signatures") {
                ASSERT_TRUE(WriteFile(s.name == "rich-r16" ? song_ : other_, BuildSong(s.song)));
            }
        }
        ASSERT_TRUE(
            WriteFile(dir_ / "text.txt", Bytes{'n', 'o', 't', ' ', 's', 'o', 'n', 'g', '\n'}));
    }
    // The names in the folder, sorted: no temporary file may be left behind.
    std::vector<std::string> Names(const std::string& path = "") const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e :
             std::filesystem::directory_iterator(path.empty() ? dir_.path() : path, ec)) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    static void ExpectOneLine(const testing::RunResult& r, const std::string& start,
                              const std::string& part) {
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        EXPECT_EQ(r.err.rfind(start, 0), 0u) << r.err;
        EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
    }

    testing::TempDir dir_;
    std::string song_;
    std::string other_;
};

TEST_F(ConvertProgram, UsageErrorsExitTwoWithOneLine) {
    const std::string out = dir_ / "out.mid";
    const std::vector<std::vector<std::string>> cases = {
        {},
        {song_},
        {"-o", out},
        {"-o", out, song_, other_},
        {"-o", out, "-d", dir_.path(), song_},
        {"--to", "xml", "-o", out, song_},
        {"-o", dir_ / "out.txt", song_},
        {"-o", dir_ / "out", song_},
        {"-"},
        {"-o", out, "-"},
        {"-x", song_},
        {"-o"},
        {"-o", out, song_, "--to"},
        {"--output", "", song_},
        {"-o", out, "-o", out, song_},
        {"--force=2", "-o", out, song_},
        {"--max-items", "x", "-o", out, song_},
        {"--max-items", "-1", "-o", out, song_},
        {"--max-items=", "-o", out, song_},
    };
    for (const auto& args : cases) {
        std::string shown;
        for (const auto& a : args) shown += "[" + a + "]";
        const testing::RunResult r = RunConvert(args);
        EXPECT_EQ(r.exitCode, 2) << shown;
        EXPECT_EQ(r.out, "") << shown;
        ExpectOneLine(r, "scqconvert: ", "");
    }
    EXPECT_EQ(Names(), (std::vector<std::string>{"other.scq", "song.scq", "text.txt"}));
}

TEST_F(ConvertProgram, HelpAndVersion) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, std::vector<std::string>{"-o", "x.mid", "-h"}}) {
        const testing::RunResult r = RunConvert(args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_NE(r.out.find("Usage: scqconvert"), std::string::npos) << r.out;
        for (const char* option :
             {"--output", "--directory", "--to", "--force", "--max-items", "--version"}) {
            EXPECT_NE(r.out.find(option), std::string::npos) << option;
        }
        EXPECT_EQ(r.err, "");
    }
    const testing::RunResult r = RunConvert({"--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("scqconvert 1.", 0), 0u) << r.out;
    EXPECT_EQ(r.err, "");
}

// One song to one file, whatever names the format; the file is what the writer makes of it.
TEST_F(ConvertProgram, OneSongToAFile) {
    const std::string expected = Expected(song_);
    ASSERT_FALSE(expected.empty());
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{song_, "-o", dir_ / "a.mid"}, "a.mid"},
        {{"-o", dir_ / "b.MIDI", song_}, "b.MIDI"},
        {{"--to", "midi", "--output", dir_ / "c.bin", song_}, "c.bin"},
        {{"--to", "MID", "-o", dir_ / "d", "--", song_}, "d"},
    };
    for (const auto& [args, name] : cases) {
        const testing::RunResult r = RunConvert(args);
        EXPECT_EQ(r.exitCode, 0) << name << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(testing::ReadBytes(dir_ / name), expected) << name;
    }
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.mid", "b.MIDI", "c.bin", "d", "other.scq",
                                                 "song.scq", "text.txt"}));
}

// MusicXML by the output's extension or by --to, to a file, a folder or standard output.
TEST_F(ConvertProgram, MusicXml) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{song_, "-o", dir_ / "a.musicxml"}, "a.musicxml"},
        {{"-o", dir_ / "b.XML", song_}, "b.XML"},
        {{"--to", "MusicXML", "-o", dir_ / "c.mid", song_}, "c.mid"},
        {{"--to", "musicxml", "-d", dir_.path(), song_}, "song.musicxml"},
        {{"--to", "musicxml", "-o", "-", song_}, ""},
    };
    for (const auto& [args, name] : cases) {
        const testing::RunResult r = RunConvert(args);
        EXPECT_EQ(r.exitCode, 0) << name << r.err;
        EXPECT_EQ(r.err, "");
        const std::string text = name.empty() ? r.out : testing::ReadBytes(dir_ / name);
        EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"", 0), 0u) << name;
        EXPECT_TRUE(text.ends_with("</score-partwise>\n")) << name;
    }
}

// Compressed MusicXML, read back by Python's zipfile: the mime type first and stored, the
// container naming the score, and the score the uncompressed export holds.
TEST_F(ConvertProgram, CompressedMusicXml) {
    if (!convert::CanWriteMxl()) GTEST_SKIP() << "built without libzip";
    if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "no /usr/bin/python3";
    const testing::RunResult plain = RunConvert({"--to", "musicxml", "-o", "-", song_});
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    static constexpr const char* kRead =
        "import sys, zipfile, xml.etree.ElementTree as ET\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "assert z.testzip() is None\n"
        "first = z.infolist()[0]\n"
        "print(first.filename, first.compress_type == zipfile.ZIP_STORED, z.read('mimetype').decode())\n"
        "root = ET.fromstring(z.read('META-INF/container.xml')).find('rootfiles/rootfile')\n"
        "print(root.get('full-path'), root.get('media-type'))\n"
        "sys.stdout.write(z.read(root.get('full-path')).decode())\n";
    const std::string head =
        "mimetype True application/vnd.recordare.musicxml\n"
        "score.musicxml application/vnd.recordare.musicxml+xml\n";
    for (const auto& [args, name] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{song_, "-o", dir_ / "a.mxl"}, "a.mxl"},
             {{"--to", "MXL", "-d", dir_.path(), song_}, "song.mxl"}}) {
        const testing::RunResult r = RunConvert(args);
        EXPECT_EQ(r.exitCode, 0) << name << r.err;
        EXPECT_EQ(r.err, "");
        const testing::RunResult read =
            testing::RunProgram("/usr/bin/python3", {"-c", kRead, dir_ / name});
        EXPECT_EQ(read.exitCode, 0) << read.err;
        EXPECT_EQ(read.out, head + plain.out) << name;
    }
}

TEST_F(ConvertProgram, StandardOutput) {
    const testing::RunResult r = RunConvert({"-o", "-", song_});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, Expected(song_));
    EXPECT_EQ(r.err, "");
    if (::access("/dev/full", W_OK) == 0) {
        const testing::RunResult full = testing::RunProgram(
            "/bin/sh", {"-c", "exec \"$0\" -o - \"$1\" > /dev/full", SCQCONVERT_PATH, song_});
        EXPECT_EQ(full.exitCode, 1);
        ExpectOneLine(full, "scqconvert: " + song_ + ": ", "cannot write to standard output");
    }
}

TEST_F(ConvertProgram, SongsIntoAFolder) {
    testing::TempDir out;
    ASSERT_TRUE(WriteFile(dir_ / "Third.SCQ", ReadFile(other_)));
    ASSERT_TRUE(WriteFile(dir_ / "-dash.scq", ReadFile(song_)));
    const testing::RunResult r = RunConvert({"-d", out.path(), "--to", "midi", song_, other_,
                                             dir_ / "Third.SCQ", "--", dir_ / "-dash.scq"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Names(out.path()),
              (std::vector<std::string>{"-dash.mid", "Third.mid", "other.mid", "song.mid"}));
    EXPECT_EQ(testing::ReadBytes(out / "song.mid"), Expected(song_));
    EXPECT_EQ(testing::ReadBytes(out / "other.mid"), Expected(other_));
    EXPECT_EQ(testing::ReadBytes(out / "Third.mid"), Expected(other_));
}

// An output that exists is kept unless --force; the other songs are still converted.
TEST_F(ConvertProgram, ExistingOutputsNeedForce) {
    testing::TempDir out;
    ASSERT_TRUE(WriteFile(out / "song.mid", Bytes{'o', 'l', 'd'}));
    testing::RunResult r = RunConvert({"-d", out.path(), song_, other_});
    EXPECT_EQ(r.exitCode, 1);
    ExpectOneLine(r, "scqconvert: " + song_ + ": ", "exists (use --force");
    EXPECT_EQ(testing::ReadBytes(out / "song.mid"), "old");
    EXPECT_EQ(testing::ReadBytes(out / "other.mid"), Expected(other_));

    r = RunConvert({"-o", out / "song.mid", song_});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(testing::ReadBytes(out / "song.mid"), "old");

    ::chmod((out / "song.mid").c_str(), 0640);
    r = RunConvert({"--force", "-d", out.path(), song_, other_});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(testing::ReadBytes(out / "song.mid"), Expected(song_));
    struct stat st;
    ASSERT_EQ(::stat((out / "song.mid").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // the replaced file's permissions
    EXPECT_EQ(Names(out.path()), (std::vector<std::string>{"other.mid", "song.mid"}));
}

// Every failure is one line naming the song and why; the other songs are converted and nothing
// is left under an output name.
TEST_F(ConvertProgram, FailuresNameTheFileAndWhy) {
    testing::TempDir out;
    ::mkdir((dir_ / "folder.scq").c_str(), 0755);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {dir_ / "missing.scq", "no such file"},
        {dir_ / "folder.scq", "is a directory"},
        {dir_ / "text.txt", "not a Staveforge Engraver song file"},
    };
    for (const auto& [song, why] : cases) {
        const testing::RunResult r = RunConvert({"-d", out.path(), song});
        EXPECT_EQ(r.exitCode, 1) << song;
        ExpectOneLine(r, "scqconvert: " + song + ": ", why);
    }
    // Several at once: one line each, in order, and the good song converted.
    const testing::RunResult r =
        RunConvert({"-d", out.path(), cases[0].first, song_, cases[1].first, cases[2].first});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 3) << r.err;
    EXPECT_EQ(Names(out.path()), (std::vector<std::string>{"song.mid"}));

    // A target folder that cannot be written into, or that is missing.
    const testing::RunResult unwritable = RunConvert({"-o", dir_ / "text.txt/x.mid", song_});
    EXPECT_EQ(unwritable.exitCode, 1);
    ExpectOneLine(unwritable, "scqconvert: " + song_ + ": ", "cannot write");
    const testing::RunResult missingDir = RunConvert({"-d", dir_ / "nowhere", song_});
    EXPECT_EQ(missingDir.exitCode, 1);
    ExpectOneLine(missingDir, "scqconvert: " + (dir_ / "nowhere") + ": ", "no such directory");
    const testing::RunResult outputIsFolder =
        RunConvert({"--force", "-o", out.path() + "/", song_});
    EXPECT_NE(outputIsFolder.exitCode, 0);
    EXPECT_EQ(Names(),
              (std::vector<std::string>{"folder.scq", "other.scq", "song.scq", "text.txt"}));
}

// No input is ever overwritten, even with --force, and two songs never share an output.
TEST_F(ConvertProgram, InputsAndSharedOutputsAreNeverOverwritten) {
    const std::string before = testing::ReadBytes(song_);
    testing::RunResult r = RunConvert({"--force", "--to", "midi", "-o", song_, song_});
    EXPECT_EQ(r.exitCode, 1);
    ExpectOneLine(r, "scqconvert: " + song_ + ": ", "will not overwrite");
    EXPECT_EQ(testing::ReadBytes(song_), before);

    // DIR/song.mid is itself one of the songs.
    ASSERT_TRUE(WriteFile(dir_ / "song.mid", ReadFile(song_)));
    r = RunConvert({"--force", "-d", dir_.path(), dir_ / "song.mid"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(testing::ReadBytes(dir_ / "song.mid"), before);

    testing::TempDir a;
    testing::TempDir out;
    ASSERT_TRUE(WriteFile(a / "other.scq", ReadFile(song_)));
    r = RunConvert({"--force", "-d", out.path(), other_, a / "other.scq"});
    EXPECT_EQ(r.exitCode, 1);
    ExpectOneLine(r, "scqconvert: " + (a / "other.scq") + ": ", "also the output of " + other_);
    EXPECT_EQ(testing::ReadBytes(out / "other.mid"), Expected(other_));
}

// A damaged file is repaired as scqinfo repairs it, with the same notice; a performance that
// fills the event sequence is written with a warning.
TEST_F(ConvertProgram, RepairNoticeAndFullSequenceWarning) {
    const std::string damaged = dir_ / "damaged.scq";
    ASSERT_TRUE(WriteFile(damaged, ToTextTransfer(ReadFile(song_))));
    testing::RunResult r = RunConvert({"-o", dir_ / "d.mid", damaged});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, testing::RunScqinfoBinary({damaged}).err);
    EXPECT_NE(r.err.find("Attempting to repair"), std::string::npos) << r.err;
    EXPECT_EQ(testing::ReadBytes(dir_ / "d.mid"), Expected(song_));

    const std::string full = dir_ / "full.scq";
    ASSERT_TRUE(WriteFile(full, BuildSong(FillingSong())));
    r = RunConvert({"-o", dir_ / "full.mid", full});
    EXPECT_EQ(r.exitCode, 0);
    ExpectOneLine(r, "scqconvert: " + full + ": ", "warning: the performance filled");
    EXPECT_EQ(testing::ReadBytes(dir_ / "full.mid"), Expected(full));
}

// The item limit of the load: a song cut short by it is converted as read, with a warning; 0
// sets no limit.
TEST_F(ConvertProgram, MaxItems) {
    testing::RunResult r = RunConvert({"--max-items", "12", "-o", dir_ / "cut.mid", song_});
    EXPECT_EQ(r.exitCode, 0);
    ExpectOneLine(r, "scqconvert: " + song_ + ": ", "warning: the load stopped at 12 items");
    EXPECT_EQ(testing::ReadBytes(dir_ / "cut.mid"), Expected(song_, 12));
    EXPECT_NE(Expected(song_, 12), Expected(song_));
    r = RunConvert({"--max-items=0", "-o", dir_ / "all.mid", song_});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(testing::ReadBytes(dir_ / "all.mid"), Expected(song_));
}

}  // namespace
}  // namespace scq::test
