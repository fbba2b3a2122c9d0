// Hostile songs convert or fail cleanly: whatever a damaged or crafted file makes the loader
// return, the writer ends within the bounds of a performance and its file reads.

#include <gtest/gtest.h>

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
#include "support/CraftedSongs.h"
#include "support/RichSongs.h"
#include "support/SongBuilder.h"

namespace scq::test {
namespace {

// Loads as the file loader does; writes the MIDI file and the MusicXML document; says what is wrong with it ("" when all is
// well, "no song" when the load gave none).
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
