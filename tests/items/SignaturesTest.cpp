#include <gtest/gtest.h>

#include "items/MarkRecords.h"

namespace scq {
namespace {

using marktest::Bytes;
using marktest::readRecord;

constexpr uint16_t bit(int letter) {
    return static_cast<uint16_t>(1u << letter);
}
constexpr int A = 0, B = 1, C = 2, D = 3, E = 4, F = 5, G = 6;

struct ClefCase {
    const char* name;
    int revision;
    Bytes record;
    int clefType;
    int octaveShift;
    int64_t consumed;
};

TEST(SignaturesTest, ClefRecords) {
    const ClefCase cases[] = {
        {"bass up", 16, Bytes().b(0).w(1).w(1), 1, 1, 7},
        {"type 4 is treble", 16, Bytes().b(0).w(4).w(0), 0, 0, 7},
        {"type -1 is treble", 16, Bytes().b(0).w(-1).w(2), 0, 2, 7},
        {"octave keeps its low byte", 16, Bytes().b(0).w(3).w(0x12FF), 3, -1, 7},
        {"revision 9: no common byte", 9, Bytes().w(2).w(2), 2, 2, 6},
        {"revision 3: no octave word", 3, Bytes().w(1).w(7), 1, 0, 4},
    };
    for (const ClefCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto back = readRecord(c.revision, kClefItem, c.record);
        ASSERT_TRUE(back.result.ok);
        auto* clef = back.as<ClefItem>();
        ASSERT_NE(clef, nullptr);
        EXPECT_EQ(clef->clefType, c.clefType);
        EXPECT_EQ(clef->octaveShift, c.octaveShift);
        EXPECT_EQ(back.consumed, c.consumed);
    }
}

TEST(SignaturesTest, RevisionThreeClefLeavesTheNextWordToTheNextItem) {
    const Bytes bytes = Bytes().w(kClefItem).w(1).w(kClefItem).w(3);
    MemoryStream s(bytes.data.data(), bytes.data.size());
    auto first = ItemFactory::readItem(3, s);
    auto second = ItemFactory::readItem(3, s);
    ASSERT_TRUE(first.ok && second.ok);
    EXPECT_EQ(static_cast<ClefItem&>(*first.item).clefType, 1);
    EXPECT_EQ(static_cast<ClefItem&>(*second.item).clefType, 3);
    EXPECT_FALSE(s.HasError());
}

TEST(SignaturesTest, KeySignatureRecordsByRevision) {
    // Revision 2 stops after the clef hint; revision 3 adds the cancelled masks.
    auto old = readRecord(2, kKeySignatureItem, Bytes().w(0x13).w(0).w(5).w(0x7F).w(0x7F));
    ASSERT_TRUE(old.result.ok);
    EXPECT_EQ(old.consumed, 8);
    EXPECT_EQ(marktest::fields(*old.result.item),
              "code=1 vis=0 col=0 flats=19 sharps=0 hint=0 cflats=0 csharps=0");

    auto newer = readRecord(3, kKeySignatureItem, Bytes().w(0xFFFF).w(0x24).w(2).w(3).w(4));
    ASSERT_TRUE(newer.result.ok);
    EXPECT_EQ(newer.consumed, 12);
    EXPECT_EQ(marktest::fields(*newer.result.item),
              "code=1 vis=0 col=0 flats=65535 sharps=36 hint=2 cflats=3 csharps=4");
}

TEST(SignaturesTest, KeySize) {
    struct Case {
        uint16_t sharps, flats;
        int size;
    };
    const Case cases[] = {
        {0, 0, 0},
        {0, bit(B) | bit(E) | bit(A), -3},
        {bit(F) | bit(C) | bit(G), 0, 3},
        {bit(F) | bit(G), 0, 1},  // counting stops at the missing C
        {0, bit(E) | bit(A), 0},  // no B: no flats counted
        {bit(F), bit(B) | bit(E), -2},
        {bit(F) | bit(C), bit(B) | bit(E), 2},
        {0x7F, 0, 7},
        {0, 0x7F, -7},
        {0xFF80, 0xFF80, 0},  // bits beyond the seven letters do not count
    };
    for (const Case& c : cases) {
        KeySignatureItem key(c.sharps, c.flats);
        EXPECT_EQ(key.keySize(), c.size) << c.sharps << "/" << c.flats;
    }
}

TEST(SignaturesTest, NaturalsShown) {
    struct Case {
        const char* name;
        uint16_t sharps, flats, cancelledSharps, cancelledFlats;
        uint16_t shown;
    };
    const Case cases[] = {
        {"flats cancel sharps", 0, bit(B) | bit(E) | bit(A), bit(F) | bit(C), 0, bit(F) | bit(C)},
        {"sharps still in the key", bit(F), 0, bit(F) | bit(C), 0, bit(C)},
        {"fewer flats", 0, bit(B), 0, bit(B) | bit(E), bit(E)},
        {"both cancel masks", 0, 0, bit(F), bit(B), 0},
        {"mixed key", bit(F), bit(B), bit(C), 0, 0},
        {"nothing cancelled", 0, bit(B), 0, 0, 0},
    };
    for (const Case& c : cases) {
        KeySignatureItem key(c.sharps, c.flats);
        key.cancelledSharps = c.cancelledSharps;
        key.cancelledFlats = c.cancelledFlats;
        EXPECT_EQ(key.naturalsShown(), c.shown) << c.name;
    }
}

TEST(SignaturesTest, AccidentalsOfLetters) {
    KeySignatureItem key;
    key.setSharp(F);
    key.setFlat(B);
    key.setSharp(C);
    key.setFlat(C);  // flat replaces sharp
    key.setSharp(D);
    key.setNatural(D);
    key.setSharp(-1);  // outside the masks: ignored
    key.setFlat(40);
    EXPECT_EQ(key.sharps, bit(F));
    EXPECT_EQ(key.flats, bit(B) | bit(C));
    const int expected[7] = {kKeyNatural, kKeyFlat,  kKeyFlat,   kKeyNatural,
                             kKeyNatural, kKeySharp, kKeyNatural};
    for (int letter = A; letter <= G; ++letter) {
        EXPECT_EQ(key.accidentalOf(letter), expected[letter]) << letter;
    }
    EXPECT_EQ(key.accidentalOf(99), kKeyNatural);
}

struct TimeCase {
    const char* name;
    int revision;
    Bytes record;
    int beats, code, style, barTicks;
    int64_t consumed;
};

TEST(SignaturesTest, TimeSignatureRecords) {
    const TimeCase cases[] = {
        {"6/8", 16, Bytes().b(0).w(6).w(3).w(0), 6, 3, 0, 576, 9},
        {"100/6 is 4/4", 16, Bytes().b(0).w(100).w(6).w(0), 4, 2, 0, 768, 9},
        {"0/32", 16, Bytes().b(0).w(0).w(5).w(0), 0, 5, 0, 0, 9},
        {"negative words", 16, Bytes().b(0).w(-1).w(-1).w(0), 4, 2, 0, 768, 9},
        {"99/1", 16, Bytes().b(0).w(99).w(0).w(0), 99, 0, 0, 76032, 9},
        {"common time over 3/4 stays 3/4", 16, Bytes().b(0).w(3).w(2).w(0x31), 3, 2, 1, 576, 9},
        {"revision 3 has the style", 3, Bytes().w(2).w(1).w(2), 2, 1, 2, 768, 8},
        {"revision 2 has no style", 2, Bytes().w(2).w(1), 2, 1, 0, 768, 6},
    };
    for (const TimeCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto back = readRecord(c.revision, kTimeSignatureItem, c.record);
        ASSERT_TRUE(back.result.ok);
        auto* time = back.as<TimeSignatureItem>();
        ASSERT_NE(time, nullptr);
        EXPECT_EQ(time->beatsPerBar, c.beats);
        EXPECT_EQ(time->beatValueCode, static_cast<unsigned>(c.code));
        EXPECT_EQ(time->signatureStyle, static_cast<unsigned>(c.style));
        EXPECT_EQ(time->barTicks(), c.barTicks);
        EXPECT_EQ(back.consumed, c.consumed);
    }
}

TEST(SignaturesTest, TimeSignatureMadeNewValidatesThenSetsStyle) {
    struct Case {
        int beats, code, style;
        int expectBeats, expectCode;
    };
    const Case cases[] = {
        {3, 2, kStandardSignature, 3, 2},   {3, 3, kCommonTime, 4, 2},
        {6, 3, kAllaBreve, 2, 1},           {100, 6, kStandardSignature, 4, 2},
        {-3, -1, kStandardSignature, 4, 2}, {5, 4, 7, 5, 4},
    };
    for (const Case& c : cases) {
        TimeSignatureItem t(c.beats, c.code, c.style);
        EXPECT_EQ(t.beatsPerBar, c.expectBeats);
        EXPECT_EQ(t.beatValueCode, static_cast<unsigned>(c.expectCode));
        EXPECT_EQ(t.signatureStyle, static_cast<unsigned>(c.style & 0xF));
    }
    TimeSignatureItem t(4, 2, 0);
    t.beatValueCode = 6;
    EXPECT_EQ(t.barTicks(), 48);
    t.beatValueCode = 7;  // only codes up to 6 measure a bar
    EXPECT_EQ(t.barTicks(), 0);
}

}  // namespace
}  // namespace scq
