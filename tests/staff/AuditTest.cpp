#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "StaffBuild.h"
#include "song/Song.h"
#include "staff/Audit.h"
#include "staff/AuditCursor.h"

namespace scq {
namespace {

using test::bit;
using test::kEighth;
using test::kHalf;
using test::kQuarter;
using test::kWhole;
using test::StaffBuild;

constexpr int kTieOut = DurationItem::kTieOut;
constexpr int kTieIn = DurationItem::kTieIn;
constexpr int kSlurOut = DurationItem::kSlurOut;
constexpr int kSlurIn = DurationItem::kSlurIn;
constexpr int kGrace = DurationItem::kGrace;

void auditAll(Staff& staff) {
    auditStaff(staff, -1, -1);
}

BarLineItem& barAt(Staff& s, int i) {
    return static_cast<BarLineItem&>(*s.itemAt(i));
}

// ---- Bar lines and whole rests ----

TEST(Audit, StaffOfTwoBarLines) {
    Staff s;
    s.needsAudit = 1;
    barAt(s, 1).setIncompleteBar(0);
    auditAll(s);
    EXPECT_EQ(barAt(s, 1).incompleteBar, 1u);  // the closing bar line is audited
    EXPECT_EQ(barAt(s, 0).incompleteBar, 0u);  // the opening one never is
    EXPECT_EQ(s.needsAudit, 0);
}

TEST(Audit, IncompleteBars) {
    StaffBuild b;
    int b1 = 0, b2 = 0, b3 = 0;
    b.dynamic(4);
    b.note(0);
    b.bar(&b1);  // followed by a dynamic and then a bar line: empty bar
    b.dynamic(4);
    b.bar(&b2);  // followed by a dynamic and then a note
    b.dynamic(4);
    b.rest();
    b.bar(&b3);  // followed only by the closing bar line
    Staff& s = b.staff();
    barAt(s, b2).setIncompleteBar(1);
    auditAll(s);
    EXPECT_EQ(barAt(s, b1).incompleteBar, 1u);
    EXPECT_EQ(barAt(s, b2).incompleteBar, 0u);
    EXPECT_EQ(barAt(s, b3).incompleteBar, 1u);
    EXPECT_EQ(barAt(s, s.lastItemIndex()).incompleteBar, 1u);
}

struct RestCase {
    const char* name;
    std::string layout;  // t: 3/4, s: 6/8, h: 99/1 (whole), W: the whole rest under test,
                         // H: a half rest under test, D: a dotted whole rest under test,
                         // q: a quarter note, r: a quarter rest, |: a bar line
    bool measured;
    int ticks;
};

class WholeRest : public testing::TestWithParam<RestCase> {};

TEST_P(WholeRest, MeasuredByTheBarItFills) {
    const RestCase& c = GetParam();
    StaffBuild b;
    RestItem* probe = nullptr;
    for (char ch : c.layout) {
        switch (ch) {
            case 't':
                b.time(3, 2);
                break;
            case 's':
                b.time(6, 3);
                break;
            case 'h':
                b.time(99, 0);
                break;
            case 'W':
                probe = &b.rest(kWhole);
                break;
            case 'H':
                probe = &b.rest(kHalf);
                break;
            case 'D':
                probe = &b.rest(kWhole, bit(DurationItem::kDotted));
                break;
            case 'q':
                b.note(0);
                break;
            case 'r':
                b.rest();
                break;
            case '|':
                b.bar();
                break;
        }
    }
    ASSERT_NE(probe, nullptr);
    probe->setMeasuredLength(1, 3);  // a stale measure from an earlier audit
    auditAll(b.staff());
    EXPECT_EQ(probe->isMeasured, c.measured ? 1u : 0u);
    EXPECT_EQ(probe->durationTicks(), c.ticks);
}

INSTANTIATE_TEST_SUITE_P(
    Audit, WholeRest,
    testing::Values(RestCase{"ThreeFour", "tW", true, 576}, RestCase{"SixEight", "sW", true, 576},
                    RestCase{"NoTimeSignature", "W", true, 768},
                    RestCase{"NinetyNineWholes", "hW", true, 76032},
                    RestCase{"NoteAfterTheRest", "tWq", false, 768},
                    RestCase{"NoteBeforeTheRest", "tqW", false, 768},
                    RestCase{"RestBeforeTheRest", "trW", false, 768},
                    RestCase{"SignatureCarriedIntoLaterBar", "tqqq|W", true, 576},
                    RestCase{"SignatureAfterTheRest", "Wt", true, 768},
                    RestCase{"SecondBarOfTwo", "t|W|q", true, 576},
                    RestCase{"HalfRest", "tH", false, 384},
                    RestCase{"DottedWholeRest", "tD", false, 1152}),
    [](const testing::TestParamInfo<RestCase>& info) { return info.param.name; });

// ---- Beam and triplet groups ----

struct Elem {
    char kind;  // n note, g grace note, r rest, b bar line
    int duration;
    unsigned beam, triplet;
    unsigned stem = 0;
};

struct GroupAuditCase {
    const char* name;
    std::vector<Elem> items;
    std::vector<unsigned> beam, triplet;  // expected, one per duration item
};

class GroupAudit : public testing::TestWithParam<GroupAuditCase> {};

TEST_P(GroupAudit, InvalidGroupsLoseTheirMarks) {
    const GroupAuditCase& c = GetParam();
    StaffBuild b;
    std::vector<DurationItem*> items;
    for (const Elem& e : c.items) {
        DurationItem* d = nullptr;
        if (e.kind == 'b') {
            b.bar();
            continue;
        }
        if (e.kind == 'r') {
            d = &b.rest(e.duration);
        } else {
            d = &b.note(0, e.duration, e.kind == 'g' ? bit(kGrace) : 0);
        }
        d->beamPosition = e.beam;
        d->tripletPosition = e.triplet;
        d->stemDirection = e.stem;
        items.push_back(d);
    }
    auditAll(b.staff());
    ASSERT_EQ(items.size(), c.beam.size());
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i]->beamPosition, c.beam[i]) << "beam of " << i;
        EXPECT_EQ(items[i]->tripletPosition, c.triplet[i]) << "triplet of " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Audit, GroupAudit,
    testing::Values(
        GroupAuditCase{"TwoEighths", {{'n', kEighth, 1, 0}, {'n', kEighth, 3, 0}}, {1, 3}, {0, 0}},
        GroupAuditCase{
            "EighthAndQuarter", {{'n', kEighth, 1, 0}, {'n', kQuarter, 3, 0}}, {0, 0}, {0, 0}},
        GroupAuditCase{"ThreeTripletEighths",
                       {{'n', kEighth, 0, 1}, {'n', kEighth, 0, 2}, {'n', kEighth, 0, 3}},
                       {0, 0, 0},
                       {1, 2, 3}},
        GroupAuditCase{
            "TwoTripletEighths", {{'n', kEighth, 0, 1}, {'n', kEighth, 0, 3}}, {0, 0}, {0, 0}},
        GroupAuditCase{"BarLineInside",
                       {{'n', kEighth, 1, 0}, {'b', 0, 0, 0}, {'n', kEighth, 3, 0}},
                       {0, 0},
                       {0, 0}},
        GroupAuditCase{"NoteInsideGraceGroup",
                       {{'g', kEighth, 1, 0}, {'n', kQuarter, 0, 0}, {'g', kEighth, 3, 0}},
                       {0, 0, 0},
                       {0, 0, 0}},
        GroupAuditCase{"GraceInsideNormalGroup",
                       {{'n', kEighth, 1, 0}, {'g', kEighth, 0, 0}, {'n', kEighth, 3, 0}},
                       {1, 0, 3},
                       {0, 0, 0}},
        GroupAuditCase{"TwoLanesAtOnce",
                       {{'n', kEighth, 1, 0},
                        {'g', kEighth, 1, 0},
                        {'g', kEighth, 3, 0},
                        {'n', kEighth, 3, 0}},
                       {1, 1, 3, 3},
                       {0, 0, 0, 0}},
        GroupAuditCase{
            "StemsDisagree", {{'n', kEighth, 1, 0, 1}, {'n', kEighth, 3, 0, 2}}, {0, 0}, {0, 0}},
        GroupAuditCase{"RestInsideBeam",
                       {{'n', kEighth, 1, 0}, {'r', kEighth, 0, 0}, {'n', kEighth, 3, 0}},
                       {1, 0, 3},
                       {0, 0, 0}},
        GroupAuditCase{"TripletWithRest",
                       {{'r', kEighth, 0, 1}, {'n', kEighth, 0, 2}, {'n', kEighth, 0, 3}},
                       {0, 0, 0},
                       {1, 2, 3}},
        GroupAuditCase{"FirstFirstEnd",
                       {{'n', kEighth, 1, 0}, {'n', kEighth, 1, 0}, {'n', kEighth, 3, 0}},
                       {0, 1, 3},
                       {0, 0, 0}},
        GroupAuditCase{
            "MiddleWithoutFirst", {{'n', kEighth, 2, 0}, {'n', kEighth, 3, 0}}, {0, 0}, {0, 0}},
        GroupAuditCase{"NoEnd", {{'n', kEighth, 1, 0}, {'n', kEighth, 2, 0}}, {0, 0}, {0, 0}},
        GroupAuditCase{"BeamedTriplet",
                       {{'n', kEighth, 1, 1}, {'n', kEighth, 2, 2}, {'n', kEighth, 3, 3}},
                       {1, 2, 3},
                       {1, 2, 3}},
        GroupAuditCase{"BeamMixesTripletAndPlain",
                       {{'n', kEighth, 1, 0}, {'n', kEighth, 3, 1}},
                       {0, 0},
                       {0, 0}}),
    [](const testing::TestParamInfo<GroupAuditCase>& info) { return info.param.name; });

// ---- Ties and slurs ----

TEST(Audit, TieArrivesAtTheSamePosition) {
    StaffBuild b;
    NoteItem& first = b.note(0, kQuarter, bit(kTieOut));
    NoteItem& same = b.note(0);
    NoteItem& other = b.note(2, kQuarter, bit(kTieIn));  // a stale Tie In goes
    first.tieDirection = 1;
    same.tieDirection = 1;
    auditAll(b.staff());
    // The tying note's direction comes from its stem (down at the middle line: upward tie).
    EXPECT_EQ(first.tieDirection, 0u);
    EXPECT_FALSE(first.hasAttribute(kTieIn));
    EXPECT_TRUE(same.hasAttribute(kTieIn));
    EXPECT_EQ(same.tieDirection, 0u);  // the direction of the tie that arrives
    EXPECT_FALSE(other.hasAttribute(kTieIn));
}

TEST(Audit, TieDirections) {
    struct Case {
        int position;
        bool explicitDirection;
        unsigned stored, wantFirst;
    };
    // Stem up below the middle line: downward tie; an explicit direction is kept and carried.
    for (const Case& c :
         {Case{3, false, 0, 1}, Case{-3, false, 1, 0}, Case{3, true, 0, 0}, Case{-3, true, 1, 1}}) {
        StaffBuild b;
        const int attrs = bit(kTieOut) | (c.explicitDirection ? bit(14) : 0);
        NoteItem& first = b.note(c.position, kQuarter, attrs);
        first.tieDirection = c.stored;
        NoteItem& second = b.note(c.position);
        NoteItem& elsewhere = b.note(c.position + 1);
        auditAll(b.staff());
        EXPECT_EQ(first.tieDirection, c.wantFirst) << c.position << c.explicitDirection;
        EXPECT_TRUE(second.hasAttribute(kTieIn));
        EXPECT_EQ(second.tieDirection, c.wantFirst);
        EXPECT_FALSE(elsewhere.hasAttribute(kTieIn));
    }
}

TEST(Audit, SlurHeldOpenAcrossARest) {
    StaffBuild b;
    NoteItem& n1 = b.note(-4, kQuarter, bit(kSlurOut));
    RestItem& r2 = b.rest(kQuarter, bit(kSlurOut));
    NoteItem& n3 = b.note(-4);
    NoteItem& n4 = b.note(-4);
    NoteItem& n5 = b.note(-4, kQuarter, bit(kSlurIn));
    auditAll(b.staff());
    EXPECT_FALSE(n1.hasAttribute(kSlurIn));
    EXPECT_EQ(n1.slurDirection, 0u);  // stem down: the slur goes over
    EXPECT_TRUE(r2.hasAttribute(kSlurIn));
    EXPECT_TRUE(n3.hasAttribute(kSlurIn));  // closes the slur
    EXPECT_FALSE(n4.hasAttribute(kSlurIn));
    EXPECT_FALSE(n5.hasAttribute(kSlurIn));
}

TEST(Audit, SlurDirections) {
    // A downward slur (explicit) is carried by the items under it.
    StaffBuild b;
    NoteItem& n1 = b.note(-4, kQuarter, bit(kSlurOut) | bit(15));
    n1.slurDirection = 1;
    NoteItem& n2 = b.note(-4);
    NoteItem& low = b.note(4, kQuarter, bit(kSlurOut));
    auditAll(b.staff());
    EXPECT_EQ(n1.slurDirection, 1u);
    EXPECT_EQ(n2.slurDirection, 1u);
    EXPECT_EQ(low.slurDirection, 1u);  // stem up: the slur goes under

    // Split stems turn the rule round.
    StaffBuild c;
    ChordItem& chord = c.chord({4, -4}, kQuarter);
    chord.member(0)->stemDirection = 1;
    chord.member(1)->stemDirection = 2;
    chord.setAttribute(kSlurOut);
    ASSERT_TRUE(chord.hasSplitStems());
    auditAll(c.staff());
    EXPECT_EQ(chord.slurDirection, chord.stemSign() > 0 ? 0u : 1u);
}

TEST(Audit, EndingsStartFromTheStateBeforeTheFirstEnding) {
    StaffBuild b;
    b.add(std::make_unique<EndingItem>(1u));
    b.note(0, kQuarter, bit(kSlurOut) | bit(kTieOut));
    b.bar();
    b.add(std::make_unique<EndingItem>(2u));
    NoteItem& second = b.note(0);
    auditAll(b.staff());
    EXPECT_FALSE(second.hasAttribute(kSlurIn));
    EXPECT_FALSE(second.hasAttribute(kTieIn));
}

TEST(Audit, CodaReturnsToTheStateAtToCoda) {
    StaffBuild b;
    b.add(std::make_unique<FlowDirectionItem>(3));  // To Coda
    b.note(0, kQuarter, bit(kSlurOut));
    b.add(std::make_unique<FlowDirectionItem>(0));  // Coda
    NoteItem& after = b.note(0);
    auditAll(b.staff());
    EXPECT_FALSE(after.hasAttribute(kSlurIn));
}

TEST(Audit, ChordMembersTakeTiesAndTheChordFollows) {
    StaffBuild b;
    ChordItem& a = b.chord({0, 2});
    a.member(1)->setAttribute(kTieOut);  // member at 0 (highest first: 2, 0)
    ASSERT_EQ(a.member(1)->staffPosition, 0);
    a.refreshMembers();
    ChordItem& c = b.chord({0, 2});
    auditAll(b.staff());
    EXPECT_TRUE(c.member(1)->hasAttribute(kTieIn));
    EXPECT_FALSE(c.member(0)->hasAttribute(kTieIn));
    EXPECT_TRUE(c.hasAttribute(kTieIn));  // refreshed from its members
}

TEST(Audit, AttachedChordTiesPointAwayFromItsStems) {
    for (int stem : {1, 2}) {
        StaffBuild b;
        auto rc = std::make_unique<RestChordItem>(kQuarter, 0);
        std::vector<std::unique_ptr<NoteItem>> members;
        members.push_back(std::make_unique<NoteItem>(-2, kQuarter, bit(kTieOut), 5));
        members.push_back(std::make_unique<NoteItem>(-4, kQuarter, 0, 5));
        auto chord = std::make_unique<ChordItem>(std::move(members));
        chord->stemDirection = static_cast<unsigned>(stem);
        chord->setAttribute(DurationItem::kAttached);
        chord->refreshMembers();
        ChordItem& k = *chord;
        rc->attachedChord = std::move(chord);
        b.add(std::move(rc));
        auditAll(b.staff());
        NoteItem* tied = k.memberAtPosition(-2);
        ASSERT_NE(tied, nullptr);
        EXPECT_EQ(tied->tieDirection, stem == 1 ? 0u : 1u) << stem;
    }
}

// ---- Key signatures ----

TEST(Audit, KeySignatureRecordsClefAndCancelledKey) {
    StaffBuild b;
    b.clef(1);
    KeySignatureItem& two = b.key(bit(5) | bit(2), 0);  // F and C sharp
    two.cancelledFlats = 7;
    b.note(0);
    KeySignatureItem& none = b.key(0, 0);
    b.clef(0);
    KeySignatureItem& flat = b.key(0, bit(1));
    auditAll(b.staff());
    EXPECT_EQ(two.clefHint, 1u);
    EXPECT_EQ(two.cancelledSharps, 0u);
    EXPECT_EQ(two.cancelledFlats, 0u);
    EXPECT_EQ(none.clefHint, 1u);
    EXPECT_EQ(none.cancelledSharps, bit(5) | bit(2));
    EXPECT_EQ(flat.clefHint, 0u);
    EXPECT_EQ(flat.cancelledSharps, 0u);
}

// ---- Dynamics and ramps ----

TEST(Audit, DynamicDefaults) {
    struct Case {
        int level;
        bool velocityGiven, volumeGiven;
        int velocity, volume;
        int wantVelocity, wantVolume;
    };
    for (const Case& c : {Case{4, false, false, 0, 50, 75, -1}, Case{0, false, false, 0, 0, 10, -1},
                          Case{7, false, true, 3, 90, 127, 90}, Case{4, true, false, 33, 9, 33, -1},
                          Case{9, false, false, 5, -1, 0, -1}}) {
        StaffBuild b;
        DynamicItem& d = b.dynamic(0);
        d.dynamic = static_cast<unsigned>(c.level);
        d.velocityGiven = c.velocityGiven;
        d.volumeGiven = c.volumeGiven;
        d.velocity = static_cast<int8_t>(c.velocity);
        d.volume = static_cast<int8_t>(c.volume);
        auditAll(b.staff());
        EXPECT_EQ(d.velocity, c.wantVelocity) << c.level;
        EXPECT_EQ(d.volume, c.wantVolume) << c.level;
    }
}

struct CrescendoCase {
    const char* name;
    int kind;
    int fromVolume, toVolume;  // -1: not given
    int toVelocity;            // -1: not given
    int target, start, end, ticks;
};

class Crescendo : public testing::TestWithParam<CrescendoCase> {};

TEST_P(Crescendo, RampsTowardsTheNextDynamic) {
    const CrescendoCase& c = GetParam();
    StaffBuild b;
    DynamicItem& p = b.dynamic(2);
    if (c.fromVolume >= 0) {
        p.volumeGiven = 1;
        p.volume = static_cast<int8_t>(c.fromVolume);
    }
    DynamicVariationItem& v = b.dynamicVariation(c.kind);
    v.rampTicks = 5;  // stale
    b.note(0);
    b.note(0, kEighth);
    b.tempo(90);
    DynamicItem& f = b.dynamic(5);
    if (c.toVolume >= 0) {
        f.volumeGiven = 1;
        f.volume = static_cast<int8_t>(c.toVolume);
    }
    if (c.toVelocity >= 0) {
        f.velocityGiven = 1;
        f.velocity = static_cast<int8_t>(c.toVelocity);
    }
    auditAll(b.staff());
    EXPECT_EQ(v.rampTicks, c.ticks);
    if (c.ticks != 0) {
        EXPECT_EQ(v.targetVelocity, c.target);
        EXPECT_EQ(v.startVolume, c.start);
        EXPECT_EQ(v.endVolume, c.end);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Audit, Crescendo,
    testing::Values(CrescendoCase{"VelocityOnly", 0, -1, -1, -1, 92, -1, -1, 288},
                    CrescendoCase{"WithVolumes", 0, 60, 90, -1, 92, 60, 90, 288},
                    CrescendoCase{"Diminuendo", 2, 60, 90, -1, 92, 60, 90, 288},
                    CrescendoCase{"EqualVolumes", 1, 70, 70, -1, 92, -1, 70, 288},
                    CrescendoCase{"TargetOnlyAVolume", 0, -1, 90, -1, 92, -1, 90, 288},
                    CrescendoCase{"NoVelocityNoVolumeRamp", 0, -1, -1, 0, 0, 0, 0, 0},
                    CrescendoCase{"VolumeRampWithoutVelocity", 0, 20, 90, 0, 0, 20, 90, 288},
                    CrescendoCase{"Sforzando", 4, 60, 90, -1, 0, 0, 0, 0}),
    [](const testing::TestParamInfo<CrescendoCase>& info) { return info.param.name; });

TEST(Audit, CrescendoNeedsADynamicBeforeIt) {
    StaffBuild b;
    DynamicVariationItem& v = b.dynamicVariation(0);
    b.note(0);
    b.dynamic(5);
    auditAll(b.staff());
    EXPECT_EQ(v.rampTicks, 0);
}

TEST(Audit, AccelerandoBetweenTwoTempi) {
    StaffBuild b;
    b.tempo(100);
    TempoVariationItem& accel = b.tempoVariation(2);
    b.note(0);
    TempoVariationItem& fermata = b.tempoVariation(1, 2);
    fermata.rampTicks = 7;  // stale
    b.note(0, kHalf);
    b.tempo(120);
    auditAll(b.staff());
    EXPECT_EQ(accel.startTempo, 100);
    EXPECT_EQ(accel.endTempo, 120);
    EXPECT_EQ(accel.rampTicks, 192 + 384);
    EXPECT_EQ(fermata.rampTicks, 0);
}

TEST(Audit, TempoRampsNeedTwoDifferentTempiAndTime) {
    struct Case {
        int from, to;
        bool noteBetween;
        int ticks;
    };
    for (const Case& c :
         {Case{100, 100, true, 0}, Case{100, 80, false, 0}, Case{100, 80, true, 192}}) {
        StaffBuild b;
        b.tempo(c.from);
        TempoVariationItem& rit = b.tempoVariation(5);
        if (c.noteBetween) b.note(0);
        b.tempo(c.to);
        auditAll(b.staff());
        EXPECT_EQ(rit.rampTicks, c.ticks) << c.from << "->" << c.to;
    }
    // Without a tempo before it the ramp stays empty.
    StaffBuild b;
    TempoVariationItem& rit = b.tempoVariation(5);
    b.note(0);
    b.tempo(60);
    auditAll(b.staff());
    EXPECT_EQ(rit.rampTicks, 0);
}

// ---- Walks over part of a staff ----

TEST(Audit, NeedsAuditClearedOnlyByAWholeStaffAudit) {
    StaffBuild b;
    for (int bar = 0; bar < 4; ++bar) {
        b.note(0);
        b.note(0);
        b.note(0);
        b.bar();
    }
    Staff& s = b.staff();
    s.needsAudit = 1;
    auditStaff(s, 5, 9);
    EXPECT_EQ(s.needsAudit, 1);
    auditStaff(s, 0, s.lastItemIndex());
    EXPECT_EQ(s.needsAudit, 0);
    s.needsAudit = 1;
    auditStaff(s, -1, -1);
    EXPECT_EQ(s.needsAudit, 0);
}

TEST(Audit, PartialAuditTouchesOnlyTheBarsAroundTheRange) {
    // Five bars, each holding one note with a stale Tie In.
    StaffBuild b;
    std::vector<NoteItem*> notes;
    for (int bar = 0; bar < 5; ++bar) {
        notes.push_back(&b.note(0, kQuarter, bit(kTieIn)));
        if (bar < 4) b.bar();
    }
    // Indexes: note 1, bar 2, note 3, bar 4, note 5, bar 6, note 7, bar 8, note 9, closing 10.
    auditStaff(b.staff(), 5, 5);
    // The walk runs from the bar line before the range to the item after the bar line after it.
    const bool expected[] = {true, true, false, false, true};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(notes[i]->hasAttribute(kTieIn), expected[i]) << i;

    for (NoteItem* n : notes) n->setAttribute(kTieIn);
    auditAround(b.staff(), 5, -1);  // two bars either side
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(notes[i]->hasAttribute(kTieIn)) << i;
}

TEST(Audit, EntryPointsTakeAnyIndexes) {
    StaffBuild b;
    b.note(0);
    b.bar();
    b.rest(kWhole);
    Staff& s = b.staff();
    for (int a : {INT_MIN, -7, 0, 3, INT_MAX}) {
        for (int z : {INT_MIN, -1, 2, INT_MAX}) {
            auditStaff(s, a, z);
            auditAround(s, a, z);
        }
    }
    EXPECT_EQ(barAt(s, 2).incompleteBar, 0u);
    EXPECT_EQ(static_cast<RestItem*>(s.itemAt(3))->durationTicks(), 768);

    Staff empty(Staff::Unfilled{});
    auditStaff(empty, -1, -1);
    auditAround(empty, 0, -1);
    EXPECT_EQ(empty.itemCount(), 0);
}

TEST(Audit, AuditSongHonoursNeedsAudit) {
    Song song;
    song.addStaff(std::make_unique<Staff>());
    song.addStaff(std::make_unique<Staff>());
    song.staffAt(1)->needsAudit = 1;
    auditSong(song, 0);
    EXPECT_EQ(barAt(*song.staffAt(0), 1).incompleteBar, 0u);  // not audited
    EXPECT_EQ(barAt(*song.staffAt(1), 1).incompleteBar, 1u);
    EXPECT_EQ(song.staffAt(1)->needsAudit, 0);
    auditSong(song, 1);
    EXPECT_EQ(barAt(*song.staffAt(0), 1).incompleteBar, 1u);
}

TEST(Audit, InsertAndRemoveAuditTheBarsAround) {
    StaffBuild b;
    b.time(3, 2);
    RestItem& rest = b.rest(kWhole);
    b.bar();
    Staff& s = b.staff();
    auditAll(s);
    ASSERT_EQ(rest.durationTicks(), 576);
    s.insertItem(std::make_unique<NoteItem>(0, kQuarter, 0, 5), 3);
    EXPECT_EQ(rest.isMeasured, 0u);
    auto removed = s.removeItem(3);
    ASSERT_NE(removed, nullptr);
    EXPECT_EQ(rest.durationTicks(), 576);
}

TEST(Audit, InsertedBeamMemberTakesTheGroupsStem) {
    StaffBuild b;
    NoteItem& first = b.note(-1, kEighth);
    NoteItem& last = b.note(-1, kEighth);
    first.beamPosition = 1;
    first.stemDirection = 1;
    last.beamPosition = 3;
    last.stemDirection = 1;
    Staff& s = b.staff();
    auto middle = std::make_unique<NoteItem>(-1, kEighth, 0, 5);
    middle->beamPosition = 2;
    NoteItem& m = *middle;
    s.insertItem(std::move(middle), 2);
    EXPECT_EQ(m.stemDirection, 1u);
    EXPECT_EQ(first.beamPosition, 1u);
    EXPECT_EQ(m.beamPosition, 2u);
    EXPECT_EQ(last.beamPosition, 3u);

    // A lone note with a default stem keeps it.
    auto lone = std::make_unique<NoteItem>(-1, kQuarter, 0, 5);
    NoteItem& l = *lone;
    s.insertItem(std::move(lone), 1);
    EXPECT_EQ(l.stemDirection, 0u);
}

// ---- The audit cursor ----

TEST(AuditCursor, SeekReplaysAndRemembers) {
    StaffBuild b;
    b.time(3, 2);        // 1
    b.rest(kWhole);      // 2
    b.bar();             // 3
    b.dynamic(4);        // 4
    b.note(0, kEighth);  // 5
    b.note(0, kEighth);  // 6
    AuditCursor c(b.staff());
    c.seek(6);
    EXPECT_EQ(c.index(), 6);
    EXPECT_EQ(c.lastBar, 3);
    EXPECT_EQ(c.lastTimeSignature, 1);
    EXPECT_EQ(c.lastRest, 2);
    EXPECT_EQ(c.meterAtLastRest, 1);
    EXPECT_EQ(c.lastDynamic, 4);
    EXPECT_EQ(c.lastDuration, 5);
    EXPECT_EQ(c.previousDuration, 2);
    EXPECT_EQ(c.state.walkMode, 1u);
    AuditCursor copy = c;
    copy.seek(2);  // behind: replayed from the start
    EXPECT_EQ(copy.lastBar, 0);
    EXPECT_EQ(copy.lastDuration, 0);
    EXPECT_EQ(c.index(), 6);  // the original did not move
    c.seek(999);
    EXPECT_EQ(c.index(), b.last());
    c.seek(-5);
    EXPECT_EQ(c.index(), 0);
    EXPECT_EQ(c.lastTimeSignature, 0);
}

// ---- Cost ----


TEST(AuditCost, ManyEmptyBarsThenOneNote) {
    StaffBuild b;
    for (int i = 0; i < 32000; ++i) b.bar();
    b.note(0);
    auditAll(b.staff());
    EXPECT_EQ(barAt(b.staff(), 1).incompleteBar, 1u);
    EXPECT_EQ(barAt(b.staff(), 32000).incompleteBar, 0u);
}

TEST(AuditCost, ManyWholeRestBarsWithTimeSignatures) {
    StaffBuild b;
    std::vector<RestItem*> rests;
    for (int i = 0; i < 10000; ++i) {
        b.time(2 + i % 5, 2);
        rests.push_back(&b.rest(kWhole));
        b.bar();
    }
    auditAll(b.staff());
    EXPECT_EQ(rests[0]->durationTicks(), 2 * 192);
    EXPECT_EQ(rests[9999]->durationTicks(), (2 + 9999 % 5) * 192);
}

TEST(AuditCost, LongGroupsLookAheadOnce) {
    // A beam First followed by thousands of Middles without an End, in both lanes.
    StaffBuild b;
    b.grouped(kEighth, 1, 1);
    b.grouped(kEighth, 1, 1, bit(kGrace));
    for (int i = 0; i < 6000; ++i) {
        b.grouped(kEighth, 2, 2);
        b.grouped(kEighth, 2, 2, bit(kGrace));
    }
    auditAll(b.staff());
    EXPECT_EQ(static_cast<NoteItem*>(b.staff().itemAt(1))->beamPosition, 0u);
}

}  // namespace
}  // namespace scq
