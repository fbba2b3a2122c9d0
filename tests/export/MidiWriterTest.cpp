// The Standard MIDI File writer: the bytes of crafted renderings, read back with a reader of the
// file format written here; and whole songs, whose tracks must hold each staff's share of the
// SMF rendering.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "export/MidiReader.h"
#include "export/MidiWriter.h"
#include "perform/EventSequence.h"
#include "perform/PlayTime.h"
#include "song/Song.h"
#include "song/SongFile.h"
#include "stream/MemoryStream.h"
#include "support/ExportSongs.h"

namespace scq::test {
namespace {

using midi::Event;
using midi::File;
using midi::Read;

constexpr int kText = 0x01, kCopyright = 0x02, kName = 0x03, kPort = 0x21, kEnd = 0x2F,
              kTempo = 0x51, kTime = 0x58, kKey = 0x59;

// ---------------------------------------------------------------------------------------------
// Crafted renderings.

struct Tagged {
    SequenceEvent event;
    int origin = 0;
};

SequenceEvent Channel(int32_t time, int status, int b, int c) {
    SequenceEvent e;
    e.time = time;
    e.byteA = static_cast<uint8_t>(status);
    e.byteB = static_cast<uint8_t>(b);
    e.byteC = static_cast<uint8_t>(c);
    return e;  // kind 0: a channel message
}

struct CraftCase {
    const char* name;
    std::vector<Tagged> smf;
    std::vector<SequenceEvent> signatures;
    // Expected: per track (0 the conductor), the events other than names and ports, as
    // [tick, bytes...].
    std::vector<std::vector<std::vector<int64_t>>> tracks;
    uint32_t channelMessages;
};

std::vector<int64_t> Row(const Event& e) {
    std::vector<int64_t> row = {e.tick};
    row.insert(row.end(), e.bytes.begin(), e.bytes.end());
    return row;
}

const SequenceEvent kTempo120 = SequenceEvent::tempo(0, 500000);

std::vector<CraftCase> CraftCases() {
    using R = std::vector<int64_t>;
    const R tempo0 = {0, 0xFF, kTempo, 3, 0x07, 0xA1, 0x20};
    return {
        {"ProgramChangeAndPressureCarryOneDataByte",
         {{kTempo120, 0},
          {Channel(0, 0xC3, 41, 99), 0},
          {Channel(0, 0xD3, 50, 99), 0},
          {Channel(10, 0xE3, 1, 64), 1},
          {Channel(20, 0xB3, 7, 100), 1}},
         {},
         {{tempo0, {20, 0xFF, kEnd, 0}},
          {{0, 0xC3, 41}, {0, 0xD3, 50}, {20, 0xFF, kEnd, 0}},
          {{10, 0xE3, 1, 64}, {20, 0xB3, 7, 100}, {20, 0xFF, kEnd, 0}}},
         4},
        {"DataBytesAbove127AreWrittenAs127",
         {{kTempo120, 0}, {Channel(5, 0x90, 200, 128), 0}, {Channel(6, 0xC0, 255, 0), 0}},
         {},
         {{tempo0, {6, 0xFF, kEnd, 0}}, {{5, 0x90, 127, 127}, {6, 0xC0, 127}, {6, 0xFF, kEnd, 0}}},
         2},
        {"StatusBytesNoFileCarriesAreLeftOut",
         {{kTempo120, 0},
          {Channel(1, 0xF5, 1, 2), 0},
          {Channel(2, 0x45, 1, 2), 0},
          {Channel(3, 0x91, 60, 1), 0}},
         {},
         {{tempo0, {3, 0xFF, kEnd, 0}}, {{3, 0x91, 60, 1}, {3, 0xFF, kEnd, 0}}},
         1},
        {"EventsBeforeTickZeroAreWrittenAtZero",
         {{SequenceEvent::tempo(-50, 600000), 0},
          {Channel(-40, 0x90, 60, 90), 0},
          {Channel(30, 0x90, 60, 0), 0}},
         {SequenceEvent::timeSignature(-10, 3, 2)},
         {{{0, 0xFF, kTempo, 3, 0x09, 0x27, 0xC0},
           {0, 0xFF, kTime, 4, 3, 2, 24, 8},
           {30, 0xFF, kEnd, 0}},
          {{0, 0x90, 60, 90}, {30, 0x90, 60, 0}, {30, 0xFF, kEnd, 0}}},
         2},
        {"GapsLongerThanADeltaTimeAreBridged",
         {{kTempo120, 0}, {Channel(0x10000005, 0x90, 60, 0), 0}},
         {},
         {{tempo0, {0x0FFFFFFF, 0xFF, kText, 0}, {0x10000005, 0xFF, kEnd, 0}},
          {{0x0FFFFFFF, 0xFF, kText, 0}, {0x10000005, 0x90, 60, 0}, {0x10000005, 0xFF, kEnd, 0}}},
         1},
        {"NothingAfterTheLastEventThatIsNotATempoChange",
         {{kTempo120, 0},
          {Channel(100, 0x90, 60, 0), 0},
          {SequenceEvent::tempo(100, 400000), 0},
          {SequenceEvent::tempo(101, 300000), 0}},
         {SequenceEvent::keySignature(100, 2, 0), SequenceEvent::keySignature(101, 3, 0)},
         {{tempo0,
           {100, 0xFF, kKey, 2, 2, 0},
           {100, 0xFF, kTempo, 3, 0x06, 0x1A, 0x80},
           {100, 0xFF, kEnd, 0}},
          {{100, 0x90, 60, 0}, {100, 0xFF, kEnd, 0}}},
         1},
        {"SignaturesComeFirstAtATickAndRepeatsAreLeftOut",
         {{kTempo120, 0}, {SequenceEvent::tempo(192, 400000), 1}, {Channel(384, 0x80, 1, 1), 1}},
         {SequenceEvent::timeSignature(0, 3, 2), SequenceEvent::keySignature(0, -3, 0),
          SequenceEvent::timeSignature(0, 3, 2), SequenceEvent::keySignature(0, -3, 0),
          SequenceEvent::timeSignature(192, 6, 3), SequenceEvent::keySignature(192, 9, 1),
          SequenceEvent::timeSignature(384, 6, 3), SequenceEvent::timeSignature(384, 2, 7)},
         {{{0, 0xFF, kTime, 4, 3, 2, 24, 8},
           {0, 0xFF, kKey, 2, 0xFD, 0},
           tempo0,
           {192, 0xFF, kTime, 4, 6, 3, 12, 8},
           {192, 0xFF, kKey, 2, 7, 1},
           {192, 0xFF, kTempo, 3, 0x06, 0x1A, 0x80},
           {384, 0xFF, kTime, 4, 2, 7, 1, 8},
           {384, 0xFF, kEnd, 0}},
          {{384, 0xFF, kEnd, 0}},
          {{384, 0x80, 1, 1}, {384, 0xFF, kEnd, 0}}},
         1},
        {"EventsOfNoStaffAreLeftOut",
         {{kTempo120, 0}, {Channel(10, 0x90, 60, 1), 7}, {Channel(20, 0x90, 60, 0), 1}},
         {},
         {{tempo0, {20, 0xFF, kEnd, 0}},
          {{20, 0xFF, kEnd, 0}},
          {{20, 0x90, 60, 0}, {20, 0xFF, kEnd, 0}}},
         1},
        {"NoEventsAtAll", {}, {}, {{{0, 0xFF, kEnd, 0}}, {{0, 0xFF, kEnd, 0}}}, 0},
    };
}

class CraftedRenderingTest : public ::testing::TestWithParam<CraftCase> {};

TEST_P(CraftedRenderingTest, Bytes) {
    const CraftCase& c = GetParam();
    Song song;
    const size_t staffs = c.tracks.size() - 1;
    for (size_t i = 0; i < staffs; ++i) {
        auto staff = std::make_unique<Staff>();
        std::snprintf(staff->staffName, sizeof staff->staffName, "S%zu", i);
        staff->device = static_cast<int>(i) + 6;  // the port keeps the low three bits
        song.addStaff(std::move(staff));
    }
    EventSequence smf(16);
    smf.allocatePages(16);
    for (const Tagged& t : c.smf) {
        smf.setOrigin(t.origin);
        smf.add(t.event);
    }
    EventSequence signatures(16);
    signatures.allocatePages(16);
    for (const SequenceEvent& e : c.signatures) signatures.add(e);

    std::vector<uint8_t> bytes = {1, 2, 3};  // replaced
    const MidiWriteResult result = WriteMidiFromRenderings(song, smf, signatures, bytes);
    ASSERT_TRUE(result.written());
    EXPECT_EQ(result.tracks, static_cast<int>(c.tracks.size()));
    EXPECT_EQ(result.channelMessages, c.channelMessages);
    const File f = Read(bytes);
    ASSERT_EQ(f.error, "");
    EXPECT_EQ(f.format, 1);
    EXPECT_EQ(f.division, 192);
    ASSERT_EQ(f.tracks.size(), c.tracks.size());
    for (size_t t = 0; t < c.tracks.size(); ++t) {
        std::vector<std::vector<int64_t>> rows;
        for (const Event& e : f.without(t, {kName, kCopyright, kPort})) rows.push_back(Row(e));
        EXPECT_EQ(rows, c.tracks[t]) << "track " << t;
        if (t > 0) {
            // Name and port first, at tick 0.
            ASSERT_GE(f.tracks[t].size(), 3u);
            EXPECT_EQ(f.tracks[t][0].metaType(), kName);
            EXPECT_EQ(f.tracks[t][0].text(), "S" + std::to_string(t - 1));
            EXPECT_EQ(Row(f.tracks[t][1]),
                      (std::vector<int64_t>{0, 0xFF, kPort, 1, static_cast<int64_t>((t + 5) & 7)}));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Export, CraftedRenderingTest, ::testing::ValuesIn(CraftCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The song's texts: the title as sequence name and the copyright lines that are not empty, in
// the file's bytes; an empty title gives no name.
TEST(MidiWriter, ConductorTexts) {
    struct Case {
        const char* title;
        const char* copyright1;
        const char* copyright2;
        std::vector<std::pair<int, std::string>> texts;
    };
    const std::vector<Case> cases = {
        {"Sonata \xe9\x80",
         "\xa9 1999",
         "Rights",
         {{kName, "Sonata \xe9\x80"}, {kCopyright, "\xa9 1999"}, {kCopyright, "Rights"}}},
        {"", "", "Only two", {{kCopyright, "Only two"}}},
        {"T", "", "", {{kName, "T"}}},
    };
    for (const Case& c : cases) {
        Song song;
        std::snprintf(song.title, sizeof song.title, "%s", c.title);
        std::snprintf(song.copyright1, sizeof song.copyright1, "%s", c.copyright1);
        std::snprintf(song.copyright2, sizeof song.copyright2, "%s", c.copyright2);
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(WriteMidi(song, bytes).written());
        const File f = Read(bytes);
        ASSERT_EQ(f.error, "");
        std::vector<std::pair<int, std::string>> texts;
        for (const Event& e : f.tracks[0]) {
            if (e.metaType() == kName || e.metaType() == kCopyright) {
                EXPECT_EQ(e.tick, 0);
                texts.emplace_back(e.metaType(), e.text());
            }
        }
        EXPECT_EQ(texts, c.texts) << c.title;
    }
}

// ---------------------------------------------------------------------------------------------
// Whole songs.

std::unique_ptr<Song> Load(const Bytes& bytes) {
    MemoryStream stream(bytes.data(), bytes.size());
    SongFileInfo info;
    return LoadSongFromStream(stream, info);
}

// Every song of the set: track i + 1 holds exactly staff i's channel messages of the SMF
// rendering in its order, the conductor its tempo changes up to the end, and every track ends
// at the performance's end.
TEST(MidiWriter, TracksHoldEachStaffsShareOfTheRendering) {
    for (const NamedSong& named : ExportSongs(false)) {
        SCOPED_TRACE(named.name);
        std::unique_ptr<Song> song = Load(BuildSong(named.song));
        ASSERT_TRUE(song);
        EventSequence smf(16);
        RenderForPlayTime(*song, PlayTimeVariant::Smf, smf);
        const int staffs = song->staffCount();
        std::vector<std::vector<std::vector<int64_t>>> want(static_cast<size_t>(staffs) + 1);
        int64_t end = 0;
        smf.forEach([&](const SequenceEvent& e) {
            if (e.kind() != TempoEvent) end = e.time;
        });
        smf.forEachWithOrigin([&](const SequenceEvent& e, int origin) {
            if (e.kind() == TempoEvent && e.time <= end) {
                want[0].push_back({e.time, 0xFF, kTempo, 3, e.byteC, e.byteB, e.byteA});
            } else if (e.kind() == ChannelMessage) {
                std::vector<int64_t> row = {e.time, e.byteA, e.byteB};
                if ((e.byteA & 0xF0) != 0xC0) row.push_back(e.byteC);
                want[static_cast<size_t>(origin) + 1].push_back(row);
            }
        });

        std::vector<uint8_t> bytes;
        const MidiWriteResult result = WriteMidi(*song, bytes);
        ASSERT_TRUE(result.written());
        EXPECT_FALSE(result.full);
        EXPECT_EQ(result.endTick, end);
        const File f = Read(bytes);
        ASSERT_EQ(f.error, "");
        ASSERT_EQ(f.tracks.size(), static_cast<size_t>(staffs) + 1);
        for (size_t t = 0; t < f.tracks.size(); ++t) {
            std::vector<std::vector<int64_t>> rows;
            for (const Event& e : f.without(t, {kName, kCopyright, kPort, kTime, kKey, kEnd})) {
                rows.push_back(Row(e));
            }
            EXPECT_EQ(rows, want[t]) << "track " << t;
            EXPECT_EQ(f.tracks[t].back().tick, end) << "track " << t;
        }
        for (int i = 0; i < staffs; ++i) {
            const Event& first = f.tracks[static_cast<size_t>(i) + 1].front();
            const std::string name = song->staffAt(i)->staffName;
            EXPECT_EQ(first.metaType(), name.empty() ? kPort : kName) << "staff " << i;
            if (!name.empty()) {
                EXPECT_EQ(first.text(), name) << "staff " << i;
            }
        }
        // The same song writes the same bytes again.
        std::vector<uint8_t> again;
        WriteMidi(*song, again);
        EXPECT_EQ(again, bytes);
    }
}

// A performance that fills the sequence: the file holds what was stored, and ends where the
// stored events end.
TEST(MidiWriter, FullSequenceWritesWhatWasStored) {
    std::unique_ptr<Song> song = Load(BuildSong(FillingSong()));
    ASSERT_TRUE(song);
    EventSequence smf(16);
    RenderForPlayTime(*song, PlayTimeVariant::Smf, smf);
    ASSERT_TRUE(smf.isFull());
    uint32_t stored = 0;
    int32_t last = 0;
    smf.forEach([&](const SequenceEvent& e) {
        if (e.kind() == ChannelMessage) ++stored;
        if (e.kind() != TempoEvent) last = e.time;
    });
    std::vector<uint8_t> bytes;
    const MidiWriteResult result = WriteMidi(*song, bytes);
    EXPECT_TRUE(result.full);
    EXPECT_EQ(result.channelMessages, stored);
    EXPECT_EQ(result.endTick, last);
    const File f = Read(bytes);
    ASSERT_EQ(f.error, "");
    ASSERT_EQ(f.tracks.size(), 2u);
    EXPECT_EQ(f.tracks[1].size(), stored + 3);  // name, port, End of Track
    EXPECT_EQ(f.tracks[1].back().tick, last);
}

// WriteMidi takes the signatures from the SMF rendering itself where that gives what a
// rendering of their own stores: the bytes are those of the literal second rendering, for every
// song of the set, a full sequence and more signatures than one page holds.
TEST(MidiWriter, SignaturesAsASecondRenderingGivesThem) {
    std::vector<NamedSong> songs = ExportSongs(false);
    songs.push_back({"full", FillingSong()});
    std::vector<Item> changes;
    for (int bar = 0; bar < 700; ++bar) {
        changes.push_back(Time(bar % 2 ? 3 : 2, 4));
        changes.push_back(Key(bar % 5 - 2));
        changes.push_back(Note(0, bar % 2 ? dur::Half : dur::Quarter));
        changes.push_back(Bar());
    }
    SongSpec many;
    many.staffs = {MakeStaff("A", changes), MakeStaff("B", changes)};
    songs.push_back({"many-signatures", many});
    // A full sequence beside a staff of signature changes that ends before it, or goes on.
    for (const int bars : {2, 2500}) {
        std::vector<Item> signed_;
        for (int bar = 0; bar < bars; ++bar) {
            signed_.push_back(Time(bar % 2 ? 3 : 2, 4));
            signed_.push_back(Key(bar % 3));
            signed_.push_back(Note(0, dur::Whole));
            signed_.push_back(Bar());
        }
        SongSpec beside = FillingSong();
        beside.staffs.push_back(MakeStaff("Signed", signed_));
        songs.push_back({"full-beside-signatures-" + std::to_string(bars), beside});
    }
    for (const NamedSong& named : songs) {
        SCOPED_TRACE(named.name);
        std::unique_ptr<Song> song = Load(BuildSong(named.song));
        ASSERT_TRUE(song);
        std::vector<uint8_t> bytes;
        WriteMidi(*song, bytes);
        EventSequence smf(16);
        RenderForPlayTime(*song, PlayTimeVariant::Smf, smf);
        EventSequence signatures(16);
        RenderWithFilter(*song, kSignaturesOnlyFilter, signatures);
        std::vector<uint8_t> literal;
        WriteMidiFromRenderings(*song, smf, signatures, literal);
        EXPECT_TRUE(bytes == literal);
    }
}

// More staffs than a file has tracks: nothing is written.
TEST(MidiWriter, TooManyStaffs) {
    Song song;
    for (int i = 0; i <= kMaxMidiStaffs; ++i) song.addStaff(std::make_unique<Staff>());
    std::vector<uint8_t> bytes = {1};
    const MidiWriteResult result = WriteMidi(song, bytes);
    EXPECT_EQ(result.status, MidiWriteResult::Status::TooManyStaffs);
    EXPECT_TRUE(bytes.empty());
}

}  // namespace
}  // namespace scq::test
