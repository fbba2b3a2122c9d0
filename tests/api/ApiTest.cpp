// The public API against the programs: on the examples, a generated set of songs and files that
// fail to load, every call gives what scqinfo prints, what scqdump writes and the files
// scqconvert makes, byte for byte.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/PlayTimeFormat.h"
#include "cli/Subprocess.h"
#include "scq/scq.h"
#include "support/ExportSongs.h"
#include "support/SongBuilder.h"

namespace scq::test {
namespace {

using Json = nlohmann::ordered_json;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// What scqinfo prints for a song that loads, made from the API's answers.
std::string InfoText(SongFile& song) {
    std::string text;
    text += "Title:\t" + song.rawText(TextField::Title);
    text += "\nAuthor:\t" + song.rawText(TextField::Author);
    text += "\nCopyright1:\t" + song.rawText(TextField::Copyright1);
    text += "\nCopyright2:\t" + song.rawText(TextField::Copyright2) + "\n";
    const PlayTime times = song.playTimes();
    char buffer[kPlayTimeBufferSize];
    text += std::string("SCQ Play Time:\t") +
            FormatPlayTime(static_cast<int>(times.scqSeconds()), buffer) + "\n";
    text += std::string("SMF Play Time:\t") +
            FormatPlayTime(static_cast<int>(times.smfSeconds()), buffer) + "\n";
    const int version = song.result().productVersion;
    text += "SCQ Version:\t" + std::to_string(version / 256) + "." +
            std::to_string(version % 256) + "\n";
    const std::string comments = song.rawText(TextField::Comments);
    if (!comments.empty()) text += "\nComments:\n" + comments + "\n";
    return text;
}

std::vector<Json> EventRows(const std::vector<Event>& events) {
    std::vector<Json> rows;
    for (const Event& e : events) rows.push_back(Json::array({e.time, e.kind, e.a, e.b, e.c, e.device}));
    return rows;
}

class ApiAgainstPrograms : public ::testing::Test {
protected:
    void SetUp() override {
        for (const NamedSong& s : ExportSongs(false)) {
            const std::string path = dir_ / (s.name + ".scq");
            ASSERT_TRUE(WriteFile(path, BuildSong(s.song)));
            files_.push_back(path);
        }
        for (const auto& e : std::filesystem::directory_iterator(SCQ_SOURCE_DIR "/examples")) {
            files_.push_back(e.path().string());
        }
        // Files that fail: not a song, cut short, missing, a folder, a newer revision.
        const std::string text = dir_ / "text.scq";
        ASSERT_TRUE(WriteFile(text, Bytes{'n', 'o', 't', ' ', 'a', ' ', 's', 'o', 'n', 'g'}));
        Bytes cut = BuildSong(ExportSongs(false).front().song);
        cut.resize(cut.size() / 2);
        ASSERT_TRUE(WriteFile(dir_ / "cut.scq", cut));
        files_.insert(files_.end(), {text, dir_ / "cut.scq", dir_ / "missing.scq", dir_.path()});
    }

    testing::TempDir dir_;
    std::vector<std::string> files_;
};

TEST_F(ApiAgainstPrograms, InfoDumpAndExports) {
    int songs = 0;
    for (const std::string& path : files_) {
        SCOPED_TRACE(path);
        std::string notice;
        OpenOptions options;
        options.onRepair = [&notice](const std::string& text) { notice += text; };
        SongFile song = SongFile::open(path, options);

        // scqdump: the document, and with --events the renderings.
        const testing::RunResult dumped = testing::RunProgram(SCQDUMP_PATH, {"--events", path});
        const Json doc = Json::parse(dumped.out);
        EXPECT_EQ(Json::parse(song.json(true, true)), doc);
        EXPECT_EQ(song.json() + "\n", testing::RunProgram(SCQDUMP_PATH, {path}).out);
        const Json& load = doc["load"];
        const LoadResult& r = song.result();
        EXPECT_EQ(r.outcome, load["outcome"]);
        EXPECT_EQ(r.status, load["status"]);
        EXPECT_EQ(r.repaired, load["repaired"] == 1);
        EXPECT_EQ(r.failed, !load["error"].is_null());
        if (r.failed) {
            EXPECT_EQ(r.reason, load["error"]["reason"]);
            EXPECT_EQ(r.offset, load["error"]["offset"].is_null() ? -1 : load["error"]["offset"].get<int64_t>());
        }
        EXPECT_EQ(r.formatRevision, load["formatRevision"]);
        EXPECT_EQ(r.productVersion, load["productVersion"]);
        EXPECT_EQ(r.productName, load["productName"]);

        const testing::RunResult info = testing::RunScqinfoBinary({path});
        if (!song) {
            EXPECT_EQ(info.exitCode, 1);
            EXPECT_TRUE(song.title().empty() && song.staffCount() == 0 && song.events(Rendering::Scq).empty());
            std::vector<uint8_t> none{1};
            EXPECT_FALSE(song.toMidi(none).written);
            EXPECT_TRUE(none.empty());
            continue;
        }
        ++songs;
        EXPECT_EQ(info.out, InfoText(song));
        EXPECT_EQ(info.err, notice);
        const Json& s = doc["song"];
        EXPECT_EQ(song.title(), s["title"]);
        EXPECT_EQ(song.comments(), s["comments"]);
        ASSERT_EQ(song.staffCount(), static_cast<int>(s["staffs"].size()));
        for (int i = 0; i < song.staffCount(); ++i) {
            const StaffView staff = song.staff(i);
            const Json& js = s["staffs"][static_cast<size_t>(i)];
            EXPECT_EQ(Json::parse(staff.json()), js);
            EXPECT_EQ(staff.name(), js["staffName"]);
            EXPECT_EQ(staff.channel(), js["channel"]);
            ASSERT_EQ(staff.itemCount(), static_cast<int>(js["items"].size()));
            for (int k = 0; k < staff.itemCount(); ++k) {
                const ItemView item = staff.item(k);
                const Json& ji = js["items"][static_cast<size_t>(k)];
                EXPECT_EQ(item.kind(), ji["kind"]);
                EXPECT_EQ(item.durationTicks(), ji.value("durationTicks", -1));
                EXPECT_EQ(item.memberCount(), ji.contains("members") ? static_cast<int>(ji["members"].size()) : 0);
                if (item.memberCount() > 0) {
                    EXPECT_EQ(Json::parse(item.member(0).json()), ji["members"][0]);
                }
            }
        }
        EXPECT_EQ(EventRows(song.events(Rendering::Scq)), doc["performance"]["scq"]["events"]);
        EXPECT_EQ(EventRows(song.events(Rendering::Smf)), doc["performance"]["smf"]["events"]);

        // scqconvert: both exports, to a byte vector and to a stream.
        const std::string mid = dir_ / "out.mid";
        const std::string xml = dir_ / "out.musicxml";
        ASSERT_EQ(testing::RunProgram(SCQCONVERT_PATH, {"--force", path, "-o", mid}).exitCode, 0);
        ASSERT_EQ(testing::RunProgram(SCQCONVERT_PATH, {"--force", path, "-o", xml}).exitCode, 0);
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(song.toMidi(bytes).written);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), ReadAll(mid));
        std::ostringstream stream;
        song.toMidi(stream);
        EXPECT_EQ(stream.str(), ReadAll(mid));
        std::string text;
        EXPECT_TRUE(song.toMusicXml(text));
        EXPECT_EQ(text, ReadAll(xml));
        std::ostringstream xmlStream;
        song.toMusicXml(xmlStream);
        EXPECT_EQ(xmlStream.str(), text);
    }
    EXPECT_GT(songs, 20);
}

// Bytes in memory load as the file holding them, repair included; without the repair a damaged
// transfer stays a failure.
TEST(ApiBytes, LikeTheFileWithAndWithoutRepair) {
    for (const char* name : {"sonatina.scq", "sonatina-compressed.scq", "damaged-ascii.scq",
                             "empty.scq", "old-revision.scq"}) {
        const std::string path = std::string(SCQ_SOURCE_DIR "/examples/") + name;
        const std::string bytes = ReadAll(path);
        std::string notice;
        OpenOptions options;
        options.onRepair = [&notice](const std::string& text) { notice += text; };
        SongFile fromFile = SongFile::open(path);
        SongFile fromBytes = SongFile::fromBytes(bytes.data(), bytes.size(), options);
        EXPECT_EQ(fromFile.result().outcome, fromBytes.result().outcome) << name;
        EXPECT_EQ(fromFile.title(), fromBytes.title()) << name;
        EXPECT_EQ(fromFile.playTimes().scqMilliseconds, fromBytes.playTimes().scqMilliseconds);
        EXPECT_EQ(fromBytes.result().repaired, !notice.empty()) << name;
        options.repair = false;
        SongFile unrepaired = SongFile::fromBytes(bytes.data(), bytes.size(), options);
        SongFile unrepairedFile = SongFile::open(path, options);
        EXPECT_EQ(unrepaired.result().outcome, unrepairedFile.result().outcome) << name;
        if (fromBytes.result().repaired) {
            EXPECT_TRUE(unrepaired.result().failed) << name;
        }
    }
    EXPECT_STREQ(Version(), SCQ_VERSION_STRING);
}

// The item limit stops a load as scqdump's --max-items does: damaged, with what was read.
TEST(ApiOptions, ItemLimitAsScqdump) {
    const std::string path = SCQ_SOURCE_DIR "/examples/sonatina.scq";
    OpenOptions options;
    options.maxItems = 10;
    SongFile song = SongFile::open(path, options);
    const testing::RunResult dumped =
        testing::RunProgram(SCQDUMP_PATH, {"--max-items", "10", path});
    EXPECT_EQ(song.json() + "\n", dumped.out);
    EXPECT_TRUE(song && song.result().failed);
    EXPECT_EQ(song.result().outcome, "damaged");
}

}  // namespace
}  // namespace scq::test
