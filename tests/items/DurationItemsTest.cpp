#include "items/DurationItems.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <tuple>
#include <vector>

#include "items/ItemFactory.h"
#include "stream/MemoryStream.h"

namespace scq {
namespace {

using D = DurationItem;

constexpr unsigned bit(int n) {
    return 1u << n;
}

// Hand-built item records.
struct Rec {
    std::vector<uint8_t> bytes;
    Rec& byte(int v) {
        bytes.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    Rec& word(int v) { return byte(v & 0xFF).byte((v >> 8) & 0xFF); }
    Rec& add(const Rec& r) {
        bytes.insert(bytes.end(), r.bytes.begin(), r.bytes.end());
        return *this;
    }
};

Rec durationPart(int type, int rev, int w1, int w2, int w3, int common = 0) {
    Rec r;
    r.word(type);
    if (rev >= 10) r.byte(common);
    return r.word(w1).word(w2).word(w3);
}

Rec note(int rev, int position, int w3 = 0, int w1 = 2, int w2 = 0, int high = 0) {
    Rec r = durationPart(kNoteItem, rev, w1, w2, w3);
    r.word((position & 0xFF) | high << 8);
    if (rev < 16) r.word(0x7777);  // ignored
    return r;
}

Rec chord(int rev, const std::vector<Rec>& members, int count = -1, int w2 = 0, int w3 = 0) {
    Rec r = durationPart(kChordItem, rev, 2, w2, w3);
    r.word(0);
    if (rev < 16) r.word(0x7777).word(0x7777);  // both ignored
    r.word(count < 0 ? static_cast<int>(members.size()) : count);
    for (const Rec& m : members) r.add(m);
    return r;
}

Rec rest(int rev, int offset = 0, int w1 = 2, int w3 = 0, int type = kRestItem) {
    Rec r = durationPart(type, rev, w1, 0, w3);
    if (rev > 8) r.word(offset);
    return r;
}

Rec restChord(int rev, const Rec* attached) {
    Rec r = rest(rev, 0, 0, 0, kRestChordItem);
    r.word(attached ? 1 : 0);
    if (attached) r.add(*attached);
    return r;
}

struct Read {
    ReadItemResult result;
    int64_t consumed = 0;
    int64_t size = 0;
    template <class T>
    T* as() const {
        return dynamic_cast<T*>(result.item.get());
    }
};

Read readRec(int rev, const Rec& r) {
    MemoryStream s(r.bytes.data(), r.bytes.size());
    Read out;
    out.result = ItemFactory::readItem(rev, s);
    out.consumed = s.Tell();
    out.size = s.Size();
    return out;
}

std::vector<int> positions(NotationItem& item) {
    std::vector<int> p;
    for (int i = 0; i < item.memberCount(); ++i) p.push_back(item.member(i)->staffPosition);
    return p;
}

std::vector<unsigned char> serialise(const NotationItem& item) {
    MemoryStream s;
    ItemFactory::writeItem(s, item);
    return s.Contents();
}

// Every stored field of an item and of what it owns, in one list.
std::vector<int> storedFields(const NotationItem& a) {
    const auto& d = dynamic_cast<const DurationItem&>(a);
    std::vector<int> f = {a.typeCode(),         int(a.visibility),        int(a.colour),
                          d.attributes,         int(d.accidentalSpacing), int(d.noteSpacing),
                          int(d.baseDuration),  int(d.beamPosition),      int(d.tripletPosition),
                          int(d.stemDirection), int(d.slurDirection),     int(d.lyricSetting)};
    if (const auto* n = dynamic_cast<const NoteItem*>(&a)) {
        f.insert(f.end(), {n->staffPosition, int(n->accidental), int(n->tieDirection),
                           int(n->muted), int(n->noLedgerLines), int(n->hiddenStem)});
    }
    if (const auto* c = dynamic_cast<const ChordItem*>(&a)) {
        f.push_back(c->memberCount());
        for (const auto& m : c->members) {
            const std::vector<int> mf = storedFields(*m);
            f.insert(f.end(), mf.begin(), mf.end());
        }
    }
    if (const auto* r = dynamic_cast<const RestItem*>(&a)) f.push_back(r->verticalOffset);
    if (const auto* r = dynamic_cast<const RestChordItem*>(&a)) {
        f.push_back(r->attachedChord ? 1 : 0);
        if (r->attachedChord) {
            const std::vector<int> cf = storedFields(*r->attachedChord);
            f.insert(f.end(), cf.begin(), cf.end());
        }
    }
    return f;
}

TEST(DurationItems, DurationTicks) {
    struct Case {
        int base;
        unsigned attrs;
        int triplet;
        int ticks;
    } cases[] = {
        {D::kWhole, 0, 0, 768},
        {D::kQuarter, 0, 0, 192},
        {D::kQuarter, bit(D::kDotted), 0, 288},
        {D::kQuarter, bit(D::kDoubleDotted), 0, 336},
        {D::kEighth, 0, 1, 64},
        {D::kEighth, bit(D::kDotted), 3, 96},
        {D::kQuarter, bit(D::kGrace) | bit(D::kDotted), 2, 0},
        {D::kSixtyfourth, 0, 0, 12},
        {7, 0, 0, 6},
        {9, 0, 0, 1},
        {10, 0, 0, 0},
        {15, bit(D::kDotted), 0, 0},
    };
    for (const Case& c : cases) {
        NoteItem n(0, c.base, static_cast<int>(c.attrs), 5);
        RestItem r(c.base, static_cast<int>(c.attrs));
        n.tripletPosition = r.tripletPosition = static_cast<unsigned>(c.triplet);
        EXPECT_EQ(n.durationTicks(), c.ticks) << "base " << c.base;
        EXPECT_EQ(r.durationTicks(), c.ticks) << "base " << c.base;
    }
}

TEST(DurationItems, SetAttributeExclusions) {
    struct Case {
        int first, second;
        unsigned result;
    } cases[] = {
        {D::kDotted, D::kDoubleDotted, bit(D::kDoubleDotted)},
        {D::kDoubleDotted, D::kDotted, bit(D::kDotted)},
        {D::kStaccato, D::kTenuto, bit(D::kTenuto)},
        {D::kTenuto, D::kStaccato, bit(D::kStaccato)},
        {D::kAttribute10, D::kAttribute11, bit(D::kAttribute11)},
        {D::kAttribute11, D::kAttribute10, bit(D::kAttribute10)},
        {D::kTieIn, D::kTieOut, bit(D::kTieIn) | bit(D::kTieOut)},
        {D::kGrace, 16, bit(D::kGrace)},  // out of range: ignored
    };
    for (const Case& c : cases) {
        RestItem r(D::kQuarter, 0);
        r.setAttribute(c.first);
        r.setAttribute(c.second);
        EXPECT_EQ(r.attributes, c.result) << c.first << "," << c.second;
    }
}

// The attribute word is applied bit by bit in file order, each bit only from its revision on.
TEST(DurationItems, AttributeWordByRevision) {
    struct Case {
        int rev, w3;
        unsigned attrs;
    } cases[] = {
        {16, 0x0005, bit(D::kDotted)},
        {16, 0x0402, bit(D::kTenuto)},
        {16, 0x1800, bit(D::kAttribute11)},
        {16, 0xFFFF, 0xFFFFu & ~(bit(12) | bit(2) | bit(10))},
        {9, 0xC000, 0},
        {10, 0xC000, bit(14) | bit(15)},
        {6, 0x2000, 0},
        {7, 0x2000, bit(D::kGrace)},
        {4, 0xFFFF, 0x01FF},
        {3, 0xFFFF, 0x003F},
        {3, 0x0001, 0},  // no double dot before revision 5
    };
    for (const Case& c : cases) {
        Read r = readRec(c.rev, note(c.rev, 0, c.w3));
        ASSERT_TRUE(r.result.ok);
        EXPECT_EQ(r.as<NoteItem>()->attributes, c.attrs) << "rev " << c.rev << " w3 " << c.w3;
    }
}

TEST(DurationItems, DurationWordsByRevision) {
    struct Case {
        int rev, w2;
        unsigned accSpacing, noteSpacing, slurDir, lyric, attrs;
    } cases[] = {
        {16, 0x01FF, 0xA, 0xB, 1, 3, 0},
        {13, 0x01FF, 0xA, 0xB, 1, 3, 0},
        {12, 0x01FF, 0xA, 0xB, 1, 0, 0},
        {9, 0x0040, 0xA, 0xB, 1, 0, 0},
        {8, 0x0040, 0, 0, 1, 0, 0},
        {4, 0x00C0, 0, 0, 1, 0, 0},
        {3, 0x0040, 0, 0, 0, 0, bit(D::kSlurOut)},
        {3, 0x0080, 0, 0, 0, 0, bit(D::kSlurOut) | bit(D::kSlurIn)},
        {3, 0x00C0, 0, 0, 0, 0, bit(D::kSlurIn)},
    };
    for (const Case& c : cases) {
        Read r = readRec(c.rev, note(c.rev, 0, 0, 0x0BA3, c.w2 | 0x3F));
        ASSERT_TRUE(r.result.ok);
        const NoteItem& n = *r.as<NoteItem>();
        EXPECT_EQ(n.baseDuration, 3u);
        EXPECT_EQ(n.beamPosition, 3u);
        EXPECT_EQ(n.tripletPosition, 3u);
        EXPECT_EQ(n.stemDirection, 3u);
        EXPECT_EQ(n.accidentalSpacing, c.accSpacing) << c.rev;
        EXPECT_EQ(n.noteSpacing, c.noteSpacing) << c.rev;
        EXPECT_EQ(n.slurDirection, c.slurDir) << c.rev;
        EXPECT_EQ(n.lyricSetting, c.lyric) << c.rev;
        EXPECT_EQ(n.attributes, c.attrs) << c.rev;
        EXPECT_EQ(r.consumed, r.size);
    }
}

TEST(DurationItems, NoteWordByRevision) {
    struct Case {
        int rev, high, position;
        unsigned accidental, tie, muted, noLedger, hiddenStem;
    } cases[] = {
        {4, 0x03, -3, 5, 0, 0, 0, 0},    // old 2-bit accidental 3: none
        {4, 0x06, 2, 2, 1, 0, 0, 0},     // tie direction in bit 10
        {5, 0x0F, -128, 7, 1, 0, 0, 0},  // 7 kept; tie direction in bit 11
        {15, 0x74, 127, 4, 0, 0, 0, 0},  // no note flags before 16
        {16, 0x74, 5, 4, 0, 1, 1, 1},
    };
    for (const Case& c : cases) {
        Read r = readRec(c.rev, note(c.rev, c.position, 0, 2, 0, c.high));
        ASSERT_TRUE(r.result.ok);
        const NoteItem& n = *r.as<NoteItem>();
        EXPECT_EQ(n.staffPosition, c.position);
        EXPECT_EQ(n.accidental, c.accidental) << c.rev;
        EXPECT_EQ(n.tieDirection, c.tie) << c.rev;
        EXPECT_EQ(n.muted, c.muted);
        EXPECT_EQ(n.noLedgerLines, c.noLedger);
        EXPECT_EQ(n.hiddenStem, c.hiddenStem);
        EXPECT_EQ(r.consumed, r.size) << "ignored word below 16";
    }
}

TEST(DurationItems, RestRecordAndExtents) {
    Read r = readRec(16, rest(16, 0xF7FF));  // low 12 bits 0x7FF; upper bits ignored
    EXPECT_EQ(r.as<RestItem>()->verticalOffset, 2047);
    r = readRec(16, rest(16, 0x0800));
    EXPECT_EQ(r.as<RestItem>()->verticalOffset, -2048);
    r = readRec(8, rest(8, 0, 2));
    EXPECT_EQ(r.as<RestItem>()->verticalOffset, 0);
    EXPECT_EQ(r.consumed, r.size);

    const int expected[16][2] = {{-2, 1}, {-2, 1}, {-4, 4}, {-3, 3}, {-3, 5}, {-5, 5},
                                 {-5, 7}, {-1, 1}, {-1, 1}, {-1, 1}, {-1, 1}, {-1, 1},
                                 {-1, 1}, {-1, 1}, {-1, 1}, {-1, 1}};
    for (int base = 0; base < 16; ++base) {
        RestItem item(base, 0);
        item.verticalOffset = 3;
        const int p = base == 0 ? 2 : 3;
        EXPECT_EQ(item.verticalPosition(), p);
        EXPECT_EQ(item.topExtent(), p + expected[base][0]) << base;
        EXPECT_EQ(item.bottomExtent(), p + expected[base][1]) << base;
    }
}

TEST(DurationItems, MeasuredLength) {
    RestItem r(D::kWhole, 0);
    r.setMeasuredLength(3, 2);
    EXPECT_EQ(r.measuredLength, 576);
    EXPECT_EQ(r.durationTicks(), 576);
    r.clearMeasured();
    EXPECT_EQ(r.durationTicks(), 768);
    r.setMeasuredLength(99, 0);
    EXPECT_EQ(r.durationTicks(), 76032);
    r.setMeasuredLength(4, 16);  // a unit no duration has
    EXPECT_EQ(r.durationTicks(), 0);

    RestItem dotted(D::kWhole, static_cast<int>(bit(D::kDotted)));
    RestItem triplet(D::kWhole, 0);
    triplet.tripletPosition = 1;
    RestChordItem alone(D::kWhole, 0), carrying(D::kWhole, 0);
    carrying.attachedChord = std::make_unique<ChordItem>();
    EXPECT_TRUE(r.isLoneWholeRest());
    EXPECT_FALSE(dotted.isLoneWholeRest());
    EXPECT_FALSE(triplet.isLoneWholeRest());
    EXPECT_FALSE(RestItem(D::kHalf, 0).isLoneWholeRest());
    EXPECT_TRUE(alone.isLoneWholeRest());
    EXPECT_FALSE(carrying.isLoneWholeRest());
}

TEST(DurationItems, SettingsLyricsAndNewNotes) {
    EXPECT_EQ(NoteItem(0, 2, 0, 5).tieDirection, 1u);
    EXPECT_EQ(NoteItem(4, 2, 0, 5).tieDirection, 1u);
    EXPECT_EQ(NoteItem(-1, 2, 0, 5).tieDirection, 0u);

    NoteItem n(0, 2, 0, 5);
    for (int setting : {2, 1, 0}) {
        n.setTieDirectionSetting(setting);
        n.setSlurDirectionSetting(setting);
        EXPECT_EQ(n.tieDirectionSetting(), setting);
        EXPECT_EQ(n.slurDirectionSetting(), setting);
    }

    struct Case {
        unsigned lyric, attrs;
        bool note, rest;
    } cases[] = {
        {0, 0, true, false},
        {0, bit(D::kSlurIn), false, false},
        {0, bit(D::kTieIn), false, false},
        {0, bit(D::kGrace), false, false},
        {1, bit(D::kGrace), true, true},
        {2, 0, false, false},
        {3, 0, false, false},
    };
    for (const Case& c : cases) {
        NoteItem note(0, 2, static_cast<int>(c.attrs), 5);
        RestItem rest(2, static_cast<int>(c.attrs));
        note.lyricSetting = rest.lyricSetting = c.lyric;
        EXPECT_EQ(note.takesLyric(), c.note);
        EXPECT_EQ(rest.takesLyric(), c.rest);
    }
    RestChordItem rc(2, 0);
    EXPECT_FALSE(rc.takesLyric());
    rc.attachedChord = std::make_unique<ChordItem>();
    EXPECT_TRUE(rc.takesLyric());
}

TEST(DurationItems, CopyAttributes) {
    NoteItem src(-4, D::kEighth, static_cast<int>(bit(D::kStaccato)), 1);
    src.visibility = 3;
    src.noteSpacing = 7;
    src.lyricSetting = 2;
    src.muted = 1;
    src.tieDirection = 1;
    RestItem rest(D::kWhole, 0);
    rest.verticalOffset = -5;
    rest.setMeasuredLength(3, 2);

    NoteItem n(0, D::kHalf, 0, 5);
    n.tieDirection = 0;
    n.copyAttributesFrom(rest);
    EXPECT_EQ(n.baseDuration, D::kWhole);
    EXPECT_EQ(n.tieDirection, 0u);  // a rest is not pitched
    n.copyAttributesFrom(src);
    EXPECT_EQ(n.visibility, 3u);
    EXPECT_EQ(n.attributes, bit(D::kStaccato));
    EXPECT_EQ(n.noteSpacing, 7u);
    EXPECT_EQ(n.lyricSetting, 0u);  // never copied
    EXPECT_EQ(n.muted, 1u);
    EXPECT_EQ(n.tieDirection, 1u);
    EXPECT_EQ(n.staffPosition, 0);  // not duration data

    RestChordItem rc;
    rc.copyAttributesFrom(rest);
    EXPECT_EQ(rc.verticalOffset, -5);
    EXPECT_EQ(rc.durationTicks(), 576);
    rc.copyAttributesFrom(src);
    EXPECT_EQ(rc.verticalOffset, -5);
    EXPECT_EQ(rc.baseDuration, D::kEighth);
}

// Chord records: member order, ignored words, members that are not notes, failures.
TEST(DurationItems, ChordRecordsByRevision) {
    for (int rev : {3, 9, 15, 16}) {
        Rec r = chord(rev, {note(rev, -3), note(rev, 0), note(rev, 4)});
        r.add(rest(rev, 1));  // the next item must start right after the chord
        MemoryStream s(r.bytes.data(), r.bytes.size());
        ReadItemResult c = ItemFactory::readItem(rev, s);
        ASSERT_TRUE(c.ok) << rev;
        EXPECT_EQ(positions(*c.item), (std::vector<int>{4, 0, -3})) << rev;
        ReadItemResult next = ItemFactory::readItem(rev, s);
        ASSERT_TRUE(next.ok) << rev;
        EXPECT_EQ(next.item->typeCode(), kRestItem);
        EXPECT_EQ(s.Tell(), s.Size());
    }
}

// Small chords and large ones (which are put in order by counting) alike: positions over the
// whole byte range, stems of every value, many members of one rank.
TEST(DurationItems, ChordReadingMatchesInsertionOrder) {
    std::mt19937 rng(7);
    std::vector<std::vector<std::pair<int, int>>> cases = {
        {{2, 0}, {-1, 1}, {2, 2}, {5, 1}, {-1, 2}, {2, 1}, {0, 0}, {5, 2}, {-7, 0}, {2, 2},
         {0, 1}, {-1, 0}}};
    for (const int size : {63, 64, 300, 5000}) {
        std::vector<std::pair<int, int>> members;  // position, stem
        const int spread = size == 5000 ? 256 : 9;
        for (int i = 0; i < size; ++i) {
            const int pos = static_cast<int>(rng() % static_cast<unsigned>(spread)) - spread / 2;
            members.emplace_back(pos, static_cast<int>(rng() % 4));
        }
        cases.push_back(members);
    }
    for (const auto& layout : cases) {
        std::vector<Rec> members;
        ChordItem inserted;
        for (size_t i = 0; i < layout.size(); ++i) {
            const auto [pos, stem] = layout[i];
            const int spacing = static_cast<int>(i % 16);
            members.push_back(note(16, pos, 0, 2 + (spacing << 4), stem << 4));
            auto n = std::make_unique<NoteItem>(pos, 2, 0, 5);
            n->stemDirection = static_cast<unsigned>(stem);
            n->accidentalSpacing = static_cast<unsigned>(spacing);
            inserted.insertMember(std::move(n));
        }
        Read r = readRec(16, chord(16, members));
        ASSERT_TRUE(r.result.ok);
        const ChordItem& read = *r.as<ChordItem>();
        ASSERT_EQ(read.members.size(), layout.size());
        EXPECT_EQ(read.members.capacity(), layout.size());
        for (size_t i = 0; i < layout.size(); ++i) {
            const NoteItem& a = *read.members[i];
            const NoteItem& b = *inserted.members[i];
            ASSERT_EQ(std::tuple(int{a.staffPosition}, unsigned{a.accidentalSpacing}),
                      std::tuple(int{b.staffPosition}, unsigned{b.accidentalSpacing}))
                << layout.size() << " members, at " << i;
        }
    }
}

TEST(DurationItems, ChordMembersThatAreNotNotes) {
    const Rec inner = chord(16, {note(16, 1)});
    Read r = readRec(16, chord(16, {rest(16), note(16, -2), inner, note(16, 3)}));
    ASSERT_TRUE(r.result.ok);
    EXPECT_EQ(positions(*r.result.item), (std::vector<int>{3, -2}));
    EXPECT_EQ(r.consumed, r.size);

    // An unknown type code ends the member list at once; the chord is not refreshed.
    Rec bad = chord(16, {note(16, 1)}, 3);
    bad.word(19);
    r = readRec(16, bad.add(note(16, 2)));
    ASSERT_TRUE(r.result.ok);
    const ChordItem& c = *r.as<ChordItem>();
    ASSERT_EQ(c.members.size(), 1u);
    EXPECT_FALSE(c.members[0]->hasAttribute(D::kChordMember));

    // Negative and zero counts give no members.
    for (int count : {0, -5}) {
        r = readRec(16, chord(16, {}, count));
        ASSERT_TRUE(r.result.ok);
        EXPECT_EQ(r.result.item->memberCount(), 0);
    }
}

TEST(DurationItems, TruncatedRecordsFailWhole) {
    const Rec attached = chord(16, {note(16, 0), note(16, -2)});
    const std::pair<int, Rec> records[] = {
        {16, note(16, 1)},
        {15, note(15, 1)},
        {16, rest(16)},
        {16, chord(16, {note(16, 0)})},
        {15, chord(15, {note(15, 0), note(15, 2)})},
        {16, restChord(16, &attached)},
    };
    for (const auto& [rev, full] : records) {
        for (size_t len = 0; len < full.bytes.size(); ++len) {
            Rec cut;
            cut.bytes.assign(full.bytes.begin(), full.bytes.begin() + static_cast<long>(len));
            Read r = readRec(rev, cut);
            EXPECT_FALSE(r.result.ok);
            EXPECT_EQ(r.result.item, nullptr);
        }
    }
    // A chord that claims the largest count but holds one member.
    Read r = readRec(16, chord(16, {note(16, 0)}, 32767));
    EXPECT_FALSE(r.result.ok);
}

TEST(DurationItems, DeepNestingFailsWithoutCrash) {
    Rec r = note(16, 0);
    for (int depth = 0; depth < 1000; ++depth) r = chord(16, {r});
    EXPECT_FALSE(readRec(16, r).result.ok);

    // Rest chord, chord and note: the depth the editor writes.
    const Rec c = chord(16, {note(16, 2), note(16, -1)});
    Read ok = readRec(16, restChord(16, &c));
    ASSERT_TRUE(ok.result.ok);
    EXPECT_EQ(positions(*ok.result.item), (std::vector<int>{2, -1}));
}

TEST(DurationItems, RestChordAttachedItems) {
    Read r = readRec(16, restChord(16, nullptr));
    ASSERT_TRUE(r.result.ok);
    EXPECT_EQ(r.result.item->memberCount(), 0);
    EXPECT_EQ(r.result.item->member(0), nullptr);
    EXPECT_FALSE(r.result.item->hasNotes());
    EXPECT_EQ(r.consumed, r.size);

    const Rec lone = note(16, 3);
    r = readRec(16, restChord(16, &lone));
    ASSERT_TRUE(r.result.ok);
    EXPECT_EQ(r.result.item->memberCount(), 1);
    EXPECT_EQ(r.result.item->memberAtPosition(3), r.as<RestChordItem>()->attachedChord.get());
    EXPECT_TRUE(r.result.item->hasNotes());

    // Neither a note nor a chord: dropped.
    const Rec other = rest(16, 2);
    r = readRec(16, restChord(16, &other));
    ASSERT_TRUE(r.result.ok);
    EXPECT_EQ(r.as<RestChordItem>()->attachedChord, nullptr);
    EXPECT_EQ(r.consumed, r.size);

    Rec clef;
    clef.word(0).byte(0).word(1).word(0);
    r = readRec(16, restChord(16, &clef));
    ASSERT_TRUE(r.result.ok);
    EXPECT_EQ(r.as<RestChordItem>()->attachedChord, nullptr);
    EXPECT_EQ(r.result.item->memberCount(), 0);
}

std::unique_ptr<ChordItem> makeChord(int stem, std::vector<std::pair<int, unsigned>> notes) {
    std::vector<std::unique_ptr<NoteItem>> members;
    for (auto [p, attrs] : notes) {
        members.push_back(std::make_unique<NoteItem>(p, D::kQuarter, static_cast<int>(attrs), 5));
    }
    auto c = std::make_unique<ChordItem>(std::move(members));
    c->stemDirection = static_cast<unsigned>(stem);
    return c;
}

TEST(DurationItems, ChordRefreshRepresentative) {
    struct Case {
        int stem, low, high;
        int position;    // the chord's, from its representative
        unsigned stems;  // stems that same-stemmed members receive
    } cases[] = {
        {1, 4, -3, -3, D::kStemUp},   {2, 4, -3, 4, D::kStemDown},  {0, 4, -3, 4, D::kStemUp},
        {0, 3, -3, -3, D::kStemDown}, {0, 2, -5, -5, D::kStemDown}, {0, 0, 0, 0, D::kStemUp},
    };
    for (const Case& c : cases) {
        ChordItem k;
        k.stemDirection = static_cast<unsigned>(c.stem);
        k.setAttribute(D::kTieOut);
        k.setAttribute(D::kDoubleDotted);
        k.insertMember(std::make_unique<NoteItem>(c.low, D::kHalf, bit(D::kDoubleDotted), 5));
        k.insertMember(std::make_unique<NoteItem>(c.high, D::kEighth, bit(D::kDotted), 5));
        k.refreshMembers();
        const bool lowIsRep = c.position == c.low && c.low != c.high;
        EXPECT_EQ(k.staffPosition, c.position) << c.stem << " " << c.low;
        EXPECT_EQ(k.baseDuration, lowIsRep ? D::kHalf : D::kEighth);
        EXPECT_EQ(k.attributes, lowIsRep ? bit(D::kDoubleDotted) : bit(D::kDotted));
        EXPECT_EQ(k.members[0]->stemDirection, c.stems);
        EXPECT_EQ(k.members[1]->stemDirection, c.stems);
    }
}

TEST(DurationItems, ChordRefreshSharesAndClears) {
    const unsigned memberAttrs = bit(D::kTenuto) | bit(D::kSlurIn) | bit(D::kAccented);
    auto owned = makeChord(D::kStemUp, {{2, memberAttrs | bit(D::kTieOut)},
                                        {-1, memberAttrs},
                                        {-2, memberAttrs | bit(D::kTieIn)}});
    ChordItem& k = *owned;
    k.members[0]->tieDirection = 0;
    k.members[1]->stemDirection = D::kStemDown;  // a split stem in the middle only
    k.attributes = static_cast<uint16_t>(bit(D::kStaccato) | bit(D::kSlurOut));
    k.beamPosition = D::kGroupFirst;
    k.visibility = 2;
    k.colour = 3;
    k.noteSpacing = 9;
    k.muted = 1;
    k.setSlurDirectionSetting(D::kDirectionDownward);
    k.refreshMembers();

    EXPECT_TRUE(k.hasAttribute(D::kTieOut));
    EXPECT_TRUE(k.hasAttribute(D::kTieIn));
    for (int i = 0; i < 3; ++i) {
        const NoteItem& m = *k.members[static_cast<size_t>(i)];
        EXPECT_EQ(m.stemDirection, D::kStemUp) << "first and last agree: all follow the chord";
        EXPECT_TRUE(m.hasAttribute(D::kChordMember));
        EXPECT_TRUE(m.hasAttribute(D::kStaccato));
        EXPECT_TRUE(m.hasAttribute(D::kSlurOut));
        EXPECT_FALSE(m.hasAttribute(D::kTenuto));
        EXPECT_FALSE(m.hasAttribute(D::kSlurIn));
        EXPECT_FALSE(m.hasAttribute(D::kAccented));
        EXPECT_EQ(m.beamPosition, D::kGroupFirst);
        EXPECT_EQ(m.visibility, 2u);
        EXPECT_EQ(m.colour, 3u);
        EXPECT_EQ(m.noteSpacing, 9u);
        EXPECT_EQ(m.muted, 1u);
        EXPECT_EQ(m.slurDirectionSetting(), D::kDirectionDownward);
    }
    EXPECT_EQ(k.members[0]->tieDirection, 1u);  // from its upward stem
    EXPECT_EQ(k.headLayout, 2u);                // -1 and -2 are neighbours
    EXPECT_EQ(k.members[1]->secondSide + k.members[2]->secondSide, 1u);
    // Refreshed again (as each audit walk does), the heads are laid out anew, not on top.
    k.members[0]->secondSide = 1;
    k.refreshMembers();
    EXPECT_EQ(k.members[0]->secondSide, 0u);
    EXPECT_EQ(k.members[1]->secondSide + k.members[2]->secondSide, 1u);

    // Split stems: members keep their stems, only those agreeing with the chord share.
    auto ownedSplit = makeChord(D::kStemDefault, {{4, 0}, {-4, bit(D::kTieOut)}});
    ChordItem& split = *ownedSplit;
    split.members[0]->stemDirection = D::kStemUp;
    split.members[1]->stemDirection = D::kStemDown;
    split.attributes = static_cast<uint16_t>(bit(D::kAccented));
    split.setTieDirectionSetting(D::kDirectionDownward);
    split.refreshMembers();
    EXPECT_TRUE(split.hasSplitStems());
    EXPECT_EQ(split.members[1]->stemDirection, D::kStemDown);
    EXPECT_TRUE(split.members[1]->hasAttribute(D::kAccented));  // -1 like the chord's sign
    EXPECT_FALSE(split.members[0]->hasAttribute(D::kAccented));
    EXPECT_EQ(split.members[1]->tieDirection, 1u);  // the chord's explicit direction
    EXPECT_EQ(split.headLayout, 1u);

    RestChordItem rc;
    EXPECT_FALSE(rc.hasSplitStems());
    auto attached = std::make_unique<ChordItem>();
    attached->insertMember(std::make_unique<NoteItem>(1, 2, 0, 5));
    attached->insertMember(std::make_unique<NoteItem>(-1, 2, 0, 5));
    attached->member(0)->stemDirection = D::kStemDown;
    rc.attachedChord = std::move(attached);
    EXPECT_TRUE(rc.hasSplitStems());
    EXPECT_FALSE(NoteItem().hasSplitStems());
}

TEST(DurationItems, ChordPositionAndExtents) {
    struct Case {
        int low, high, top, bottom, vertical;
    } cases[] = {
        {4, -3, -3, 4, 1},
        {1, -6, -6, 1, -3},
        {6, 3, 3, 6, 5},
        {-2, -5, -5, -2, -4},
    };
    for (const Case& c : cases) {
        auto k = makeChord(0, {{c.low, 0}, {c.high, 0}});
        EXPECT_EQ(k->topExtent(), c.top);
        EXPECT_EQ(k->bottomExtent(), c.bottom);
        EXPECT_EQ(k->verticalPosition(), c.vertical) << c.low << " " << c.high;
    }
    ChordItem empty;
    EXPECT_EQ(empty.verticalPosition(), 0);
    EXPECT_EQ(empty.member(0), nullptr);
    EXPECT_EQ(empty.firstMember(), nullptr);
}

TEST(DurationItems, CloneEveryKindFromEveryRevision) {
    for (int rev : {3, 4, 5, 9, 10, 13, 15, 16}) {
        const Rec c = chord(rev, {note(rev, -2, 0x0019), note(rev, 5, 0x2402, 0x0A53, 0x0155)}, -1,
                            0x0010, 0x0100);
        const Rec records[] = {
            note(rev, -7, 0xFFFF, 0x0FA4, 0x01DB, 0x7D),
            rest(rev, 0xFFF, 0x0A30, 0xFFFF),
            rest(rev, 0x800, 0, 0x0013),
            c,
            restChord(rev, &c),
            restChord(rev, nullptr),
        };
        for (const Rec& rec : records) {
            Read r = readRec(rev, rec);
            ASSERT_TRUE(r.result.ok) << rev;
            if (auto* measured = r.as<RestItem>()) measured->setMeasuredLength(3, 2);
            auto clone = ItemFactory::cloneBySerialisation(*r.result.item);
            ASSERT_NE(clone, nullptr);
            EXPECT_EQ(storedFields(*r.result.item), storedFields(*clone));
            EXPECT_EQ(serialise(*r.result.item), serialise(*clone));
            if (auto* copy = dynamic_cast<RestItem*>(clone.get())) {
                EXPECT_EQ(copy->isMeasured, 0u);  // not stored
                EXPECT_EQ(copy->measuredLength, 768);
            }
        }
    }
}

}  // namespace
}  // namespace scq
