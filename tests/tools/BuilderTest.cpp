#include <gtest/gtest.h>
#include <zlib.h>

#include <sys/stat.h>
#include <algorithm>
#include <string>

#include "support/SongBuilder.h"

namespace scq::test {
namespace {

Bytes B(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values) out.push_back(static_cast<uint8_t>(v));
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Str(std::string_view s) {  // the characters and their terminator
    Bytes out(s.begin(), s.end());
    out.push_back(0);
    return out;
}

int WordAt(const Bytes& b, size_t at) {
    return b.at(at) | b.at(at + 1) << 8;
}

// ---------------------------------------------------------------------------------------------
// Item records against hand-computed bytes, one or more per layout family.

struct RecordCase {
    const char* name;
    int revision;
    Item item;
    Bytes expected;  // type code and record
};

class ItemRecordTest : public ::testing::TestWithParam<RecordCase> {};

TEST_P(ItemRecordTest, WritesTheRevisionsLayout) {
    const RecordCase& c = GetParam();
    EXPECT_EQ(BuildItem(c.revision, c.item), c.expected);
}

// Note at revision 16: every field in place.
NoteSpec FullNote() {
    return Note(-3, dur::Eighth, attr::Dotted | attr::SlurOut, acc::Sharp)
        .beam(grp::First)
        .stem(stem::Up)
        .slurDir(1)
        .lyric(2)
        .spacing(1, 2)
        .vis(vis::Never)
        .col(2)
        .mute()
        .hideStem();
}

INSTANTIATE_TEST_SUITE_P(
    Records, ItemRecordTest,
    ::testing::Values(
        // common byte 3 | 2<<3; W1 3 | 1<<4 | 2<<8; W2 beam 1, stem 1<<4, slur dir 1<<6,
        // lyric 2<<7; W3 Dotted at file bit 2, Slur Out at file bit 8; N -3, sharp, tie 0,
        // muted bit 12, hidden stem bit 14; no ignored word.
        RecordCase{"note16", 16, FullNote(),
                   B({8, 0, 0x13, 0x13, 0x02, 0x51, 0x01, 0x04, 0x01, 0xFD, 0x50})},
        // revision 15 drops the three flags and adds the ignored word.
        RecordCase{"note15", 15, FullNote(),
                   B({8, 0, 0x13, 0x13, 0x02, 0x51, 0x01, 0x04, 0x01, 0xFD, 0x00, 0, 0})},
        // revision 3: no common byte, no spacing, old slur code 2 (out and in) in W2 bits 6-7,
        // only Staccato in W3 (file bit 1); N: 2-bit flat, tie direction in bit 10.
        RecordCase{"note3slurs", 3,
                   Note(1, dur::Quarter, attr::SlurOut | attr::SlurIn | attr::Staccato, acc::Flat)
                       .spacing(4, 4),
                   B({8, 0, 2, 0, 0x80, 0, 0x02, 0, 0x01, 0x05, 0, 0})},
        RecordCase{"note3slurIn", 3, Note(0, dur::Half, attr::SlurIn),
                   B({8, 0, 1, 0, 0xC0, 0, 0, 0, 0x00, 0x07, 0, 0})},
        // revision 4: slur bits stored as attributes, a double sharp has no 2-bit form.
        RecordCase{"note4", 4, Note(-1, dur::Quarter, attr::SlurOut, acc::DoubleSharp),
                   B({8, 0, 2, 0, 0, 0, 0, 0x01, 0xFF, 0x03, 0, 0})},
        // W3 file order: Double Dotted is file bit 0 (from revision 5), Dotted file bit 2.
        RecordCase{"w3order16", 16, Note(0, dur::Quarter, attr::Dotted | attr::DoubleDotted),
                   B({8, 0, 0, 2, 0, 0, 0, 0x05, 0, 0x00, 0x0D})},
        RecordCase{"w3order4", 4, Note(0, dur::Quarter, attr::Dotted | attr::DoubleDotted),
                   B({8, 0, 2, 0, 0, 0, 0x04, 0, 0x00, 0x07, 0, 0})},
        // rest: vertical offset from revision 9, sign-extended.
        RecordCase{"rest16", 16, [] { auto r = Rest(dur::Whole); r.verticalOffset = -2; return r; }(),
                   B({9, 0, 0, 0, 0, 0, 0, 0, 0, 0xFE, 0xFF})},
        RecordCase{"rest8", 8, Rest(dur::Half, attr::Dotted), B({9, 0, 1, 0, 0, 0, 0x04, 0})},
        // tempo, revision 5: position word, tempo, base, word F (index 5, value and word shown).
        RecordCase{"tempo5word", 5, Tempo(90, tbase::Quarter, "Andante"),
                   B({6, 0, 0xF6, 0xFF, 90, 0, 2, 0, 0x35, 0})},
        RecordCase{"tempo5plain", 5, Tempo(90, tbase::Half, "Fast").reserve(1),
                   B({6, 0, 0xF6, 0xFF, 90, 0, 4, 0, 0x50, 0})},
        RecordCase{"tempo5hidden", 5, Tempo(90).vis(vis::Never), B({6, 0, 0xF6, 0xFF, 90, 0, 2, 0, 0, 0})},
        RecordCase{"tempo16", 16, Tempo(90, tbase::DottedQuarter, "Vif"),
                   Concat({B({6, 0, 0, 0xF6, 0x00, 90, 0, 3}), Str("Vif")})},
        // text, revision 10: common byte, then the packed word P.
        RecordCase{"text10", 10, Text("Hi", 3).at(15).reserve(1),
                   Concat({B({17, 0, 0, 0x13, 0x0F}), Str("Hi")})},
        RecordCase{"text11", 11, Text("Hi", 3).justify(2).place(3),
                   Concat({B({17, 0, 0, 0xF8, 0x1C, 3}), Str("Hi")})},
        // pedal: two words up to revision 10, the positioned record and a byte from 11.
        RecordCase{"pedal9", 9, Pedal(true), B({11, 0, 8, 0, 3, 0})},
        RecordCase{"pedal10", 10, Pedal(false).reserve(0), B({11, 0, 0, 8, 0, 0, 0})},
        RecordCase{"pedal11", 11, Pedal(true), B({11, 0, 0, 8, 1, 1})},
        // dynamic, revision 5: P holds position, reserves width, D and the hidden bit.
        RecordCase{"dynamic5", 5, Dynamic(dyn::ff).at(-6).vis(vis::Never),
                   B({7, 0, 0x86, 0xFA, 0, 0, 0xFF, 0xFF})},
        RecordCase{"dynamic3", 3, Dynamic(dyn::p), B({7, 0, 8, 0, 2, 0})},
        RecordCase{"dynamic16", 16,
                   [] { auto d = Dynamic(dyn::f); d.velocityGiven = 1; d.velocity = 100; return d; }(),
                   B({7, 0, 0, 8, 0, 0x25, 100, 0, 0xFF, 0xFF})},
        // bar line: system break only from revision 12.
        RecordCase{"bar12", 12, [] { auto b = Bar(bar::LocalRepeatClose, 3); b.systemBreak = 1; return b; }(),
                   B({2, 0, 0, 0x85, 0x03})},
        RecordCase{"bar11", 11, [] { auto b = Bar(bar::LocalRepeatClose, 3); b.systemBreak = 1; return b; }(),
                   B({2, 0, 0, 0x05, 0x03})},
        // tempo variation, revision 10: P with reserves width in bit 7, pause as a word.
        RecordCase{"fermata10", 10, Fermata(4).reserve(1),
                   B({14, 0, 0, 0x81, 0xF8, 4, 0})},
        RecordCase{"fermata16", 16, Fermata(4), B({14, 0, 0, 0xF8, 0, 1, 4})},
        // signatures with their revision-dependent words.
        RecordCase{"clef3", 3, Clef(clef::Bass, 1), B({0, 0, 1, 0})},
        RecordCase{"clef16", 16, Clef(clef::Tenor, -1), B({0, 0, 0, 3, 0, 0xFF, 0xFF})},
        RecordCase{"key2", 2, Key(-2), B({1, 0, 0x12, 0, 0, 0, 0, 0})},
        RecordCase{"key16", 16, Key(3), B({1, 0, 0, 0, 0, 0x64, 0, 0, 0, 0, 0, 0, 0})},
        RecordCase{"time2", 2, Time(6, 8), B({5, 0, 6, 0, 3, 0})},
        RecordCase{"time16", 16, CommonTime(), B({5, 0, 0, 4, 0, 2, 0, 1, 0})},
        RecordCase{"flow10", 10, Flow(flow::Fine), B({12, 0, 0, 2, 0})},
        RecordCase{"ending16", 16, Ending(0x83), B({3, 0, 0, 0x83, 0})},
        RecordCase{"style10", 10, PerformanceStyle(7).at(-4), B({16, 0, 0, 0x07, 0xFC})},
        RecordCase{"dynvar16", 16, DynamicVariation(dvar::Diminuendo), B({15, 0, 0, 8, 0, 2})},
        RecordCase{"instrument10", 10, Instrument(41, 2, 1), B({4, 0, 0, 1, 0, 2, 0, 41, 0})},
        RecordCase{"restChordEmpty16", 16, RestChord(dur::Half),
                   B({18, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0})},
        RecordCase{"raw", 16, RawWords({19, 0x1234}), B({19, 0, 0x34, 0x12})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ItemRecord, ControllerHasSixteenWords) {
    const Bytes b = BuildItem(16, Controller(1).point(0, 0, 64).point(3, 2, 127));
    ASSERT_EQ(b.size(), 2u + 3u + 32u);
    EXPECT_EQ(WordAt(b, 5), 1);    // controller
    EXPECT_EQ(WordAt(b, 9), 2);    // time unit
    EXPECT_EQ(WordAt(b, 13), 1);   // point 0 active
    EXPECT_EQ(WordAt(b, 17), 64);  // point 0 value
    EXPECT_EQ(WordAt(b, 19), 0);   // point 1 inactive
    EXPECT_EQ(WordAt(b, 23), 100);
    EXPECT_EQ(WordAt(b, 35), 127);  // point 3 value
}

TEST(ItemRecord, ChordKeepsMemberOrderAndCount) {
    const ChordSpec chord = Chord(dur::Quarter, {-2, 2, 0});
    // revision 16: note record of 9 bytes after the type code, then the count.
    Bytes b = BuildItem(16, chord);
    EXPECT_EQ(WordAt(b, 0), code::Chord);
    // the chord's own position: the member farthest out, the highest on a tie
    EXPECT_EQ(static_cast<int8_t>(b.at(9)), -2);
    ASSERT_EQ(WordAt(b, 11), 3);
    ASSERT_EQ(b.size(), 13u + 3u * 11u);
    const int expected[3] = {-2, 2, 0};
    for (size_t i = 0; i < 3; ++i) {
        const size_t m = 13 + i * 11;
        EXPECT_EQ(WordAt(b, m), code::Note);
        EXPECT_EQ(static_cast<int8_t>(b.at(m + 9)), expected[i]);
        EXPECT_EQ(WordAt(b, m + 7), 0x40);  // W3: Chord Mem at file bit 6
    }
    // revision 15: the note's ignored word and the chord's own, members with theirs.
    b = BuildItem(15, chord);
    EXPECT_EQ(WordAt(b, 13), 0);
    ASSERT_EQ(WordAt(b, 15), 3);
    EXPECT_EQ(b.size(), 17u + 3u * 13u);

    ChordSpec hostile = chord;
    hostile.memberCount = 5;
    EXPECT_EQ(WordAt(BuildItem(16, hostile), 11), 5);
}

TEST(ItemRecord, RestChordCarriesItsChordAfterAFlagWord) {
    const Bytes b = BuildItem(16, RestChord(dur::Quarter, Chord(dur::Quarter, {1})));
    ASSERT_EQ(WordAt(b, 11), 1);
    EXPECT_EQ(WordAt(b, 13), code::Chord);
    EXPECT_EQ(WordAt(b, 13 + 7), 0x80);  // the chord's W3: attached (file bit 7)
}

// ---------------------------------------------------------------------------------------------
// Header, song information and staffs.

TEST(Header, DefaultBytes) {
    const Bytes expected =
        Concat({Str("[Staveforge Software]"), B({0, 0}), Str("[Staveforge Engraver]"),
                B({0x4B, 0x01, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 0})});
    EXPECT_EQ(BuildHeader(HeaderSpec{}, 16), expected);
}

TEST(Header, RawOverrides) {
    HeaderSpec h;
    h.magic = "[staveforge inkwork]";
    h.leadingWord = -1;
    h.productString = "[]";
    h.formatRevision = 17;
    const Bytes b = BuildHeader(h, 16);
    const Bytes expected =
        Concat({Str("[staveforge inkwork]"), B({0xFF, 0xFF}), Str("[]"),
                B({0x4B, 0x01, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 17, 0})});
    EXPECT_EQ(b, expected);
    const Bytes negative = BuildHeader(HeaderSpec{}, -1);
    EXPECT_EQ(WordAt(negative, negative.size() - 2), 0xFFFF);
}

TEST(SongInformation, OldRevisionsStopEarly) {
    SongSpec song;
    song.revision = 3;
    const size_t header = BuildHeader(song.header, 3).size();
    const size_t texts = Str("").size() + Str("Staveforge Engraver").size() +
                         Str("Copyright 2024 Staveforge Software").size() +
                         Str("All Rights Reserved").size() + Str("").size() + Str("YY_").size() +
                         Str("F2").size();
    EXPECT_EQ(BuildSong(song).size(), header + texts + 2);  // then only the staff count
    song.revision = 5;
    EXPECT_EQ(BuildSong(song).size(), header + texts + 4 + 2);

    // revision 6: margins, page options, the old base-size word, the trailing fields.
    song.revision = 6;
    song.info.pageOptionWord1 = 7;
    const Bytes b = BuildSong(song);
    const Bytes tail = Concat({Str("0.50000000 0.50000000 0.50000000 0.50000000"),
                               B({0, 7, 0, 10, 0, 1, 0, 0, 0, 0, 0})});
    ASSERT_GE(b.size(), tail.size());
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), b.end() - static_cast<long>(tail.size())));
}

TEST(SongInformation, FontTableHasTenEntriesBelowRevisionFifteen) {
    SongSpec song;
    song.revision = 14;
    const size_t size14 = BuildSong(song).size();
    song.revision = 15;
    const size_t entry = Str("Times New Roman").size() + 4;
    EXPECT_EQ(BuildSong(song).size(), size14 + 2 * entry);
    const auto fonts = DefaultFonts(16);
    const int sizes[7] = {10, 8, 7, 24, 12, 8, 8};
    for (size_t i = 0; i < 7; ++i) EXPECT_EQ(fonts[i].size, sizes[i]) << i;
    EXPECT_EQ(DefaultFonts(12)[0].size, 8);  // 60 / 8 = 7.5, halves away from zero
    EXPECT_EQ(DefaultFonts(-12)[0].size, -8);
    EXPECT_EQ(DefaultFonts(13)[0].size, 8);  // 65 / 8 = 8.125
}

struct CountCase {
    int revision;
    size_t countAt;     // offset of the stored item count in the staff record
    size_t recordSize;  // bytes after the count
};

class StoredItemCountTest : public ::testing::TestWithParam<CountCase> {};

TEST_P(StoredItemCountTest, CountsTheTwoBarLines) {
    const CountCase& c = GetParam();
    StaffSpec s = MakeStaff("S", {Rest(), Rest(), Rest()});
    s.groupName = "G";
    const Bytes b = BuildStaff(s, c.revision);
    EXPECT_EQ(WordAt(b, c.countAt), 5);
    EXPECT_EQ(b.size() - c.countAt - 2, c.recordSize);
    s.storedItemCount = -7;
    EXPECT_EQ(WordAt(BuildStaff(s, c.revision), c.countAt), 0xFFF9);
}

INSTANTIATE_TEST_SUITE_P(
    Revisions, StoredItemCountTest,
    ::testing::Values(
        // revision 8: no ending bar byte, layerWithNext present, no option byte, lyrics flag;
        // the opening and closing bar lines are stored (4 bytes each), rests of 8 bytes.
        CountCase{8, 2 + 2 + 18 + 2 + 6 + 2 + 4, 4 + 3 * 8 + 4},
        // revision 9: ending bar byte; no stored bar lines, rests with their offset word.
        CountCase{9, 2 + 2 + 1 + 18 + 2 + 6 + 2 + 4, 3 * 10}));

TEST(Staff, StoredBarLinesOfOldRevisions) {
    StaffSpec s = MakeStaff("S");
    const Bytes b = BuildStaff(s, 8);
    EXPECT_EQ(Bytes(b.end() - 8, b.end()), B({2, 0, 0, 1, 2, 0, 3, 1}));
    s.storedClosingBar = RawWords({19});
    const Bytes hostile = BuildStaff(s, 8);
    EXPECT_EQ(Bytes(hostile.end() - 2, hostile.end()), B({19, 0}));
}

TEST(Staff, LyricsBlock) {
    StaffSpec s = MakeStaff("S");
    s.groupName = "G";
    s.lyrics = Lyrics({"la", ""});
    s.lyrics->optionsWord = 3;
    s.lyrics->lines[1].usedLength = 9;  // not written: the line is empty
    Bytes b = BuildStaff(s, 16);
    // flag, count, options, lyricWord, line 1 (size, used, bytes), line 2 (size 0)
    const Bytes lyrics = B({1, 0, 2, 0, 3, 0, 0, 0, 2, 0, 2, 0, 'l', 'a', 0, 0});
    const size_t at = 2 + 2 + 1 + 18 + 1 + 2 + 6 + 1;
    EXPECT_EQ(Bytes(b.begin() + at, b.begin() + at + lyrics.size()), lyrics);
    // revision 7: no options and lyric words; a declared count and size that do not match.
    s.lyrics->lineCount = 9;
    s.lyrics->lines[0].declaredSize = 40;
    b = BuildStaff(s, 7);
    const size_t at7 = 2 + 2 + 18 + 6;
    const Bytes lyrics7 = B({1, 0, 9, 0, 40, 0, 2, 0, 'l', 'a', 0, 0});
    EXPECT_EQ(Bytes(b.begin() + at7, b.begin() + at7 + lyrics7.size()), lyrics7);
}

TEST(ItemRun, RevisionCountRecords) {
    EXPECT_EQ(BuildItemRun(16, {Clef(), Bar()}),
              B({16, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 1}));
    EXPECT_EQ(BuildItemRun(9, {}, 40), B({9, 0, 40, 0}));
}

// ---------------------------------------------------------------------------------------------
// Container, transfer damage and files.

TEST(Compression, RoundTripThroughZlib) {
    SongSpec song;
    song.staffs = {MakeStaff("Flute", {Clef(), Note(0), Note(1), Rest(dur::Half)})};
    const Bytes plain = BuildSong(song);
    song.compressed = true;
    const Bytes packed = BuildSong(song);
    ASSERT_GT(packed.size(), 8u);
    EXPECT_EQ(Bytes(packed.begin(), packed.begin() + 6), B({'[', 'S', 'C', 'Z', ']', 0}));
    EXPECT_EQ(packed[6], 0x78);  // zlib header, best compression
    EXPECT_EQ(packed[7], 0xDA);

    Bytes inflated(plain.size() + 16);
    uLongf size = inflated.size();
    ASSERT_EQ(uncompress(inflated.data(), &size, packed.data() + 6, packed.size() - 6), Z_OK);
    inflated.resize(size);
    EXPECT_EQ(inflated, plain);

    EXPECT_EQ(Decompress(packed), plain);
    EXPECT_EQ(Decompress(Compress({})), Bytes{});
    EXPECT_FALSE(Decompress(Bytes(packed.begin(), packed.end() - 5)).has_value());
    EXPECT_FALSE(Decompress(plain).has_value());
}

TEST(TextTransfer, EveryLineFeedGetsACarriageReturn) {
    EXPECT_EQ(ToTextTransfer(B({'a', 10, 'b', 13, 10, 10})),
              B({'a', 13, 10, 'b', 13, 13, 10, 13, 10}));
    EXPECT_EQ(ToTextTransfer({}), Bytes{});
}

TEST(TempFile, HoldsTheBytesAndIsRemoved) {
    std::string path;
    {
        TempFile f(B({1, 2, 3}));
        ASSERT_TRUE(f.ok());
        path = f.path();
        EXPECT_EQ(ReadFile(path), B({1, 2, 3}));
        EXPECT_TRUE(f.write(B({4})));
        EXPECT_EQ(ReadFile(path), B({4}));
        TempFile moved(std::move(f));
        EXPECT_EQ(moved.path(), path);
        EXPECT_FALSE(f.ok());  // NOLINT: moved-from state is part of the contract
    }
    struct stat st;
    EXPECT_NE(stat(path.c_str(), &st), 0);
}

// The example files in the repository are what the example generator writes today.
TEST(Examples, DamagedExampleRepairsToAValidSong) {
    const Bytes damaged = ReadFile(std::string(SCQ_SOURCE_DIR) + "/examples/damaged-ascii.scq");
    ASSERT_FALSE(damaged.empty());
    Bytes repaired;
    for (size_t i = 0; i < damaged.size(); ++i) {
        if (damaged[i] == 13 && i + 1 < damaged.size() && damaged[i + 1] == 10) continue;
        repaired.push_back(damaged[i]);
    }
    EXPECT_LT(repaired.size(), damaged.size());
    EXPECT_EQ(ToTextTransfer(repaired), damaged);
    const Bytes header = BuildHeader(HeaderSpec{}, 16);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), repaired.begin()));
}

}  // namespace
}  // namespace scq::test
