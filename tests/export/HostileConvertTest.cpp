// Hostile songs convert or fail cleanly: whatever a damaged or crafted file makes the loader
// return, the writer ends within the bounds of a performance and its file reads.

#include <gtest/gtest.h>
#ifdef SCQ_HAVE_LIBXML2
#include <libxml/parser.h>
#endif

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "export/MidiReader.h"
#include "export/MidiWriter.h"
#include "export/MusicXmlWriter.h"
#include "hostile/FoundInputs.h"
#include "song/Song.h"
#include "song/SongFile.h"
#include "song/Staff.h"
#include "support/CraftedSongs.h"
#include "support/RichSongs.h"
#include "support/SongBuilder.h"

namespace scq::test {
namespace {

// Whether a document is well-formed XML (when libxml2 is there to tell).
bool WellFormed(const std::string& xml) {
#ifdef SCQ_HAVE_LIBXML2
    xmlDoc* doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "song.musicxml", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING |
                                    XML_PARSE_HUGE);
    xmlFreeDoc(doc);
    return doc != nullptr;
#else
    return !xml.empty();
#endif
}

// Loads as the file loader does; writes the MIDI file and the MusicXML document; says what is
// wrong with them ("" when all is well, "no song" when the load gave none).
std::string Convert(const Bytes& bytes) {
    SongFileInfo info;
    std::unique_ptr<Song> song = LoadSongFromMemory(bytes.data(), bytes.size(), info);
    if (!song) return "no song";
    std::vector<uint8_t> out;
    const MidiWriteResult result = WriteMidi(*song, out);
    if (!result.written()) return "not written";
    const midi::File f = midi::Read(out);
    if (!f.error.empty()) return f.error;
    if (f.tracks.size() != static_cast<size_t>(song->staffCount()) + 1) return "track count";
    for (const auto& track : f.tracks) {
        if (track.back().tick != result.endTick) return "a track ends elsewhere";
    }
    std::string xml;
    WriteMusicXml(*song, xml);
    if (!xml.ends_with("</score-partwise>\n")) return "MusicXML not finished";
    if (!WellFormed(xml)) return "MusicXML not well-formed";
    return "";
}

// The fuzzers' finding: repeats that play the most items a render allows, into a full sequence.
TEST(HostileConvert, SlowFullSequenceSong) {
    const Bytes bytes(std::begin(found::kSlowFullSequence), std::end(found::kSlowFullSequence));
    EXPECT_EQ(Convert(bytes), "");
}

// Every single byte of a rich song, plain and compressed, set to values that break fields:
// each damaged copy either gives no song or converts to a file that reads.
TEST(HostileConvert, SingleByteDamage) {
    const Bytes plain = BuildSong(RichSong(16));
    int converted = 0;
    for (size_t at = 0; at < plain.size(); at += 3) {
        for (uint8_t value : {uint8_t{0x00}, uint8_t{0x7F}, uint8_t{0xFF}}) {
            Bytes damaged = plain;
            damaged[at] = value;
            const std::string problem = Convert(damaged);
            if (problem == "no song") continue;
            ASSERT_EQ(problem, "") << "byte " << at << " = " << int{value};
            ++converted;
        }
    }
    EXPECT_GT(converted, 100);
    SongSpec compressed = RichSong(9);
    compressed.compressed = true;
    EXPECT_EQ(Convert(BuildSong(compressed)), "");
}

// Texts of every byte value, filling their fields to the last byte or cut by a 0 byte within:
// the document stays well-formed, each text ends at its field's end or its first 0 byte, and
// what XML cannot hold becomes U+FFFD.
TEST(HostileConvert, TextsOfEveryByte) {
    const Bytes bytes = BuildSong(RichSong(16));
    SongFileInfo info;
    std::unique_ptr<Song> song = LoadSongFromMemory(bytes.data(), bytes.size(), info);
    ASSERT_TRUE(song && song->staffCount() > 0);
    auto fill = [](char* field, size_t size, unsigned first) {
        for (size_t i = 0; i < size; ++i) field[i] = static_cast<char>(1 + (first + i) % 255);
    };
    fill(song->title, sizeof song->title, 0);       // 0x01..0x40, no 0 byte
    fill(song->author, sizeof song->author, 0x7A);   // 0x7B..0xAA: DEL and the gaps of 0x80-0x9F
    fill(song->copyright1, sizeof song->copyright1, 0xB0);
    fill(song->comments, sizeof song->comments, 0);  // every value, several times
    song->copyright2[0] = 'A';
    song->copyright2[1] = '\0';
    song->copyright2[2] = '<';  // after the 0 byte: not part of the text
    fill(song->staffAt(0)->staffName, sizeof Staff::staffName, 0x10);
    std::string xml;
    WriteMusicXml(*song, xml);
    EXPECT_TRUE(WellFormed(xml));
    EXPECT_NE(xml.find("<rights>A</rights>"), std::string::npos);
    // The title: tab, line feed and carriage return kept, the other controls replaced, and
    // nothing past its 64th byte ('@', 0x40, is the last).
    std::string title = "<work-title>";
    for (unsigned b = 1; b <= 0x40; ++b) {
        if (b == '\t' || b == '\n' || b == '\r') {
            title += static_cast<char>(b);
        } else if (b < 0x20) {
            title += "\xEF\xBF\xBD";
        } else if (b == '&') {
            title += "&amp;";
        } else if (b == '<') {
            title += "&lt;";
        } else if (b == '>') {
            title += "&gt;";
        } else if (b == '"') {
            title += "&quot;";
        } else {
            title += static_cast<char>(b);
        }
    }
    EXPECT_NE(xml.find(title + "</work-title>"), std::string::npos);
    // DEL and 0x81 become U+FFFD, 0x80 the euro sign.
    EXPECT_NE(xml.find("~\xEF\xBF\xBD\xE2\x82\xAC\xEF\xBF\xBD\xE2\x80\x9A"), std::string::npos);
}

// The crafted songs that multiply a render's work, at scale 1 in both forms: each converts to a
// file that reads (the render bounds end every one).
TEST(HostileConvert, CraftedSongs) {
    for (const crafted::Family& family : crafted::Families()) {
        for (bool compressed : {false, true}) {
            EXPECT_EQ(Convert(crafted::Build(family, 1, compressed)), "")
                << family.name << (compressed ? " compressed" : "");
        }
    }
}

}  // namespace
}  // namespace scq::test
