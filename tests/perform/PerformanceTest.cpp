#include <gtest/gtest.h>

#include "PerformSupport.h"
#include "items/DurationItems.h"
#include "items/PerformanceMarks.h"
#include "perform/PlayTime.h"
#include "song/SongFile.h"
#include "support/RichSongs.h"

namespace scq::perf {
namespace {

using namespace scq::test;

constexpr unsigned kNoFilter = 0;
constexpr unsigned kSmf = 0x001C;

int64_t MsOf(int64_t ticks, int64_t tempoMicros = 500000) {
    return ticks * tempoMicros / 192000;
}

TEST(PlayTime, WholeNoteAtTheStartTempo) {
    auto song = LoadItems({Note(0, dur::Whole)});
    ASSERT_TRUE(song);
    const Rendered r = Render(*song);
    // Tempo 120, the staff's volume and pan, the note on and its articulated note off.
    ASSERT_EQ(r.events.size(), 5u);
    EXPECT_EQ(r.events[0].kind(), TempoEvent);
    EXPECT_EQ(r.events[0].tempoValue(), 500000u);
    const auto notes = Notes(r.events);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].on, 0);
    EXPECT_EQ(notes[0].off, 720);
    EXPECT_EQ(notes[0].pitch, 71);
    EXPECT_EQ(notes[0].velocity, 110);
    EXPECT_EQ(r.milliseconds, 1875u);
    EXPECT_EQ(PlayTimeSeconds(*song, PlayTimeVariant::Scq), 2u);
    EXPECT_EQ(PlayTimeSeconds(*song, PlayTimeVariant::Smf), 2u);
}

TEST(PlayTime, CompressedFileOnDisk) {
    SongSpec description;
    description.compressed = true;
    description.staffs = {MakeStaff("s", {Note(0, dur::Whole), Fermata(20), Note(0, dur::Whole)})};
    TempFile file(BuildSong(description));
    ASSERT_TRUE(file.ok());
    SongFileInfo info;
    auto song = LoadSongFile(file.path().c_str(), info);
    ASSERT_TRUE(song);
    // 768 + 720 ticks: 3875 ms; the fermata adds 960 ticks, 2500 ms.
    EXPECT_EQ(PlayTimeSeconds(*song, PlayTimeVariant::Smf), 4u);
    EXPECT_EQ(PlayTimeSeconds(*song, PlayTimeVariant::Scq), 6u);
}

TEST(PlayTime, EmptyStaffsAndTrailingRests) {
    auto empty = LoadStaffs({MakeStaff("a"), MakeStaff("b")});
    const Rendered e = Render(*empty);
    EXPECT_EQ(e.events.size(), 5u);  // the tempo and each staff's volume and pan
    EXPECT_EQ(e.milliseconds, 0u);
    EXPECT_EQ(PlayTimeSeconds(*empty, PlayTimeVariant::Scq), 0u);

    auto withRests = LoadItems({Note(0, dur::Half), Rest(dur::Whole), Rest(dur::Whole)});
    EXPECT_EQ(Render(*withRests).milliseconds, MsOf(336));
}

TEST(PlayTime, RoundsHalvesUp) {
    // A half note sounds 336 ticks: 875 ms -> 1 s; a note off at 576 ticks, 1500 ms, rounds
    // up to 2 s.
    auto half = LoadItems({Note(0, dur::Half)});
    EXPECT_EQ(PlayTimeSeconds(*half, PlayTimeVariant::Scq), 1u);
    auto exact = LoadItems({Note(0, dur::Half).add(attr::Tenuto), Note(0).add(attr::Tenuto)});
    EXPECT_EQ(Render(*exact).milliseconds, 1500u);
    EXPECT_EQ(PlayTimeSeconds(*exact, PlayTimeVariant::Scq), 2u);
}

TEST(Staffs, MutedStaffKeepsTimingAndMarksButNoNotes) {
    StaffSpec loud = MakeStaff("loud", {Note(0, dur::Whole)});
    StaffSpec quiet = MakeStaff("quiet", {Tempo(60), Note(-2, dur::Whole), Note(-2, dur::Whole)});
    quiet.muted = 1;
    quiet.patch = 5;
    quiet.channel = 1;
    auto song = LoadStaffs({loud, quiet});
    const Rendered r = Render(*song);
    const auto notes = Notes(r.events);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].pitch, 71);
    // The muted staff's tempo item still sets 60 for everyone: 720 ticks at 1 s a quarter.
    EXPECT_EQ(r.milliseconds, MsOf(720, 1000000));
    // No instrument for the muted staff, but its volume and pan.
    EXPECT_TRUE(Messages(r.events, SequenceEvent::ProgramChange).empty());
    EXPECT_EQ(Messages(r.events, SequenceEvent::ControlChange, 7).size(), 2u);
}

TEST(Staffs, StartControllersInstrumentAndBank) {
    StaffSpec a = MakeStaff("a", {Note(0)});
    a.bankSelect = 1;
    a.bank = 130;
    a.patch = 1;
    a.channel = 18;  // low 4 bits: 2
    a.device = 9;    // the event keeps 1
    a.volume = 100;
    a.stereoPan = 20;
    StaffSpec b = MakeStaff("b", {Instrument(42)});
    b.volume = -1;
    b.stereoPan = -1;
    auto song = LoadStaffs({a, b});
    const Rendered r = Render(*song);
    // Staff 0: bank, program, volume, pan; staff 1: only its instrument item's program.
    std::vector<std::tuple<int, int, int, int>> got;
    for (const SequenceEvent& e : r.events) {
        if (e.kind() != ChannelMessage || e.type() == SequenceEvent::NoteOn) continue;
        EXPECT_EQ(e.time, 0);
        got.emplace_back(e.type(), e.channel(), e.data1(), e.data2());
        if (e.channel() == 2) {
            EXPECT_EQ(e.device(), 1);
        }
    }
    const std::vector<std::tuple<int, int, int, int>> want = {
        {SequenceEvent::ControlChange, 2, 0, 1},   {SequenceEvent::ControlChange, 2, 32, 2},
        {SequenceEvent::ProgramChange, 2, 0, 0},   {SequenceEvent::ControlChange, 2, 7, 100},
        {SequenceEvent::ControlChange, 2, 10, 20}, {SequenceEvent::ProgramChange, 0, 41, 0},
    };
    EXPECT_EQ(got, want);
}

TEST(Staffs, SameTickEventsKeepStaffOrder) {
    StaffSpec a = MakeStaff("a", {Note(0), Note(0)});
    StaffSpec b = MakeStaff("b", {Note(-2), Note(-2)});
    b.channel = 1;
    auto song = LoadStaffs({a, b});
    const Rendered r = Render(*song);
    std::vector<std::pair<int32_t, int>> ons;
    for (const SequenceEvent& e : r.events) {
        if (e.kind() == ChannelMessage && e.type() == SequenceEvent::NoteOn) {
            ons.emplace_back(e.time, e.channel() * 1000 + e.data2());
        }
    }
    const std::vector<std::pair<int32_t, int>> want = {
        {0, 110}, {0, 1110}, {160, 0}, {160, 1000}, {192, 110}, {192, 1110}, {352, 0}, {352, 1000},
    };
    EXPECT_EQ(ons, want);
}

TEST(Staffs, TranspositionOfTheStaff) {
    StaffSpec s = MakeStaff("t", {Note(0), Note(0, dur::Quarter, 0, acc::Sharp)});
    s.transposition = -12;
    StaffSpec wide = MakeStaff("w", {Note(0)});
    wide.transposition = 40;  // only the low 6 bits, signed: -24
    auto song = LoadStaffs({s, wide});
    const auto p = Pitches(Render(*song).events);
    EXPECT_EQ(p, (std::vector<int>{59, 47, 60}));
}

struct LengthCase {
    const char* name;
    std::vector<Item> items;  // the last note on the middle line is measured
    int32_t on, off;
};

class Articulation : public ::testing::TestWithParam<LengthCase> {};

TEST_P(Articulation, NoteOffTime) {
    auto song = LoadItems(GetParam().items);
    ASSERT_TRUE(song);
    PlayedNote last;
    for (const PlayedNote& n : Notes(Render(*song).events)) {
        if (n.pitch == 71) last = n;
    }
    EXPECT_EQ(last.pitch, 71);
    EXPECT_EQ(last.on, GetParam().on);
    EXPECT_EQ(last.off, GetParam().off);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, Articulation,
    ::testing::Values(
        LengthCase{"quarter", {Note(0)}, 0, 160},
        LengthCase{"eighth", {Note(0, dur::Eighth)}, 0, 94},
        LengthCase{"half", {Note(0, dur::Half)}, 0, 336},
        LengthCase{"whole", {Note(0, dur::Whole)}, 0, 720},
        LengthCase{"dottedQuarter", {Note(0, dur::Quarter, attr::Dotted)}, 0, 256},
        // A complete triplet group: the audit removes the marks of an incomplete one.
        LengthCase{
            "tripletEighth",
            {Note(0, dur::Eighth).triplet(grp::First), Note(0, dur::Eighth).triplet(grp::Middle),
             Note(0, dur::Eighth).triplet(grp::End)},
            128,
            190},
        LengthCase{"staccatoQuarter", {Note(0, dur::Quarter, attr::Staccato)}, 0, 48},
        LengthCase{"staccatoEighth", {Note(0, dur::Eighth, attr::Staccato)}, 0, 32},
        LengthCase{"staccatoSixteenth", {Note(0, dur::Sixteenth, attr::Staccato)}, 0, 32},
        LengthCase{"slurredStaccatoQuarter",
                   {Note(0, dur::Quarter, attr::Staccato | attr::SlurOut)},
                   0,
                   120},
        LengthCase{
            "slurredStaccatoEighth", {Note(0, dur::Eighth, attr::Staccato | attr::SlurOut)}, 0, 68},
        LengthCase{"slurOutFull", {Note(0, dur::Quarter, attr::SlurOut)}, 0, 192},
        LengthCase{"tenuto", {Note(0, dur::Quarter, attr::Tenuto)}, 0, 192},
        LengthCase{"legatoStyle", {test::PerformanceStyle(7), Note(0)}, 0, 192},
        LengthCase{"tenutoStyle", {test::PerformanceStyle(20), Note(0)}, 0, 192},
        LengthCase{"staccatoStyle", {test::PerformanceStyle(18), Note(0)}, 0, 48},
        LengthCase{"otherStyle", {test::PerformanceStyle(9), Note(0)}, 0, 160},
        LengthCase{"tenutoBeatsStaccatoStyle",
                   {test::PerformanceStyle(18), Note(0, dur::Quarter, attr::Tenuto)},
                   0,
                   192},
        // Two grace notes: 24 ticks each, then the quarter yields 48 ticks to them.
        LengthCase{
            "afterTwoGraces",
            {Note(-1, dur::Eighth, attr::Grace), Note(-1, dur::Eighth, attr::Grace), Note(0)},
            48,
            48 + 142},
        LengthCase{"secondGrace",
                   {Note(0, dur::Eighth, attr::Grace), Note(0, dur::Eighth, attr::Grace)},
                   24,
                   24 + 22},
        // Tied quarters: one note on, the note off after the second.
        LengthCase{"tied",
                   {Note(0, dur::Quarter, attr::TieOut), Note(0, dur::Quarter, attr::TieIn)},
                   0,
                   352},
        // Grace notes longer than the note: the note keeps its place and length.
        LengthCase{"gracesOverSixteenth",
                   {Note(-1, dur::Eighth, attr::Grace), Note(-1, dur::Eighth, attr::Grace),
                    Note(0, dur::Sixteenth)},
                   0,
                   46}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Notes, GraceNotesTakeNoStaffTime) {
    auto song = LoadItems({Note(-1, dur::Eighth, attr::Grace), Note(-2, dur::Eighth, attr::Grace),
                           Note(0), Note(-3)});
    const auto notes = Notes(Render(*song).events);
    ASSERT_EQ(notes.size(), 4u);
    EXPECT_EQ(notes[0].on, 0);
    EXPECT_EQ(notes[0].off, 22);
    EXPECT_EQ(notes[1].on, 24);
    EXPECT_EQ(notes[1].off, 46);
    EXPECT_EQ(notes[2].on, 48);
    EXPECT_EQ(notes[3].on, 192);  // the staff time advanced by 192 in all
}

TEST(Notes, AccentsAndVelocity) {
    DynamicSpec soft = test::Dynamic(dyn::p);
    soft.velocityGiven = 1;
    soft.velocity = 80;
    auto s2 = LoadItems({Note(0, dur::Quarter, attr::Accented), soft, Note(0),
                         Note(0, dur::Quarter, attr::Accented)});
    const auto notes = Notes(Render(*s2).events);
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[0].velocity, 127);
    EXPECT_EQ(notes[1].velocity, 80);
    EXPECT_EQ(notes[2].velocity, 112);
}

TEST(Notes, MutedNoteAndChordAdvanceTimeSilently) {
    auto song = LoadItems({Note(0).mute(), Chord(dur::Quarter, {0, -2}).mute(), Note(-4)});
    const auto notes = Notes(Render(*song).events);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].on, 384);
}

TEST(Notes, ChordsAndRestChords) {
    auto song = LoadItems({Chord(dur::Half, {2, 0, -2}),
                           RestChord(dur::Quarter, Chord(dur::Eighth, {-4, -6})), Note(0)});
    const auto notes = Notes(Render(*song).events);
    ASSERT_EQ(notes.size(), 6u);
    // Members lowest first, each with its own length; the rest chord's time is its own.
    EXPECT_EQ(notes[0].pitch, 67);
    EXPECT_EQ(notes[1].pitch, 71);
    EXPECT_EQ(notes[2].pitch, 74);
    EXPECT_EQ(notes[0].off, 336);
    EXPECT_EQ(notes[3].on, 384);
    EXPECT_EQ(notes[3].off, 384 + 94);
    EXPECT_EQ(notes[5].on, 576);
}

struct PitchCase {
    const char* name;
    std::vector<Item> items;
    std::vector<int> pitches;
};

class Pitch : public ::testing::TestWithParam<PitchCase> {};

TEST_P(Pitch, OfEveryNote) {
    auto song = LoadItems(GetParam().items);
    ASSERT_TRUE(song);
    EXPECT_EQ(Pitches(Render(*song).events), GetParam().pitches);
}

INSTANTIATE_TEST_SUITE_P(
    Clefs, Pitch,
    ::testing::Values(PitchCase{"treble", {Note(0), Note(-1), Note(6)}, {71, 72, 60}},
                      PitchCase{"bass", {Clef(clef::Bass), Note(0)}, {50}},
                      PitchCase{"alto", {Clef(clef::Alto), Note(0)}, {60}},
                      PitchCase{"tenor", {Clef(clef::Tenor), Note(0)}, {57}},
                      PitchCase{"octaveUp", {Clef(clef::Treble, 1), Note(0)}, {83}},
                      PitchCase{"octaveDown", {Clef(clef::Bass, 2), Note(0)}, {38}},
                      PitchCase{"farBelow", {Note(100), Note(127)}, {7, 9}},
                      PitchCase{"farAbove", {Note(-128)}, {122}},
                      // Bar accidentals last until the bar line; the key comes back after it.
                      PitchCase{"accidentalsInBar",
                                {Key(2), Note(-4), Note(-4, dur::Quarter, 0, acc::Natural),
                                 Note(-4), Bar(), Note(-4)},
                                {78, 77, 77, 78}},
                      PitchCase{"flatThenSharp",
                                {Note(0, dur::Quarter, 0, acc::Flat), Note(0),
                                 Note(0, dur::Quarter, 0, acc::Sharp), Note(0)},
                                {70, 70, 72, 72}},
                      PitchCase{"doubleAccidentals",
                                {Note(0, dur::Quarter, 0, acc::DoubleSharp), Note(0),
                                 Note(0, dur::Quarter, 0, acc::DoubleFlat), Note(0)},
                                {73, 73, 69, 73}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Pauses, FermataAndBreathMarkLengthenOnlyTheScqTime) {
    auto song = LoadItems({Note(0), Fermata(4), Note(0), BreathMark(2), Note(0), BreathMark(0)});
    const uint32_t scq = Render(*song).milliseconds;
    const uint32_t smf = Render(*song, kSmf).milliseconds;
    EXPECT_EQ(smf, MsOf(2 * 192 + 160));
    EXPECT_EQ(scq - smf, MsOf(6 * 48));
    const Rendered all = Render(*song, kNoFilter);
    std::vector<std::pair<int32_t, unsigned>> pauses;
    for (const SequenceEvent& e : all.events) {
        if (e.kind() == PauseEvent) pauses.emplace_back(e.time, e.pauseUnits());
    }
    EXPECT_EQ(pauses, (std::vector<std::pair<int32_t, unsigned>>{{193, 4}, {384, 2}}));
}

// Both play times at once render the SMF variant again only when a pause was offered; either
// way they must be what each rendering gives alone.
TEST(PlayTime, BothAtOnceEqualEachAlone) {
    std::vector<std::unique_ptr<Song>> songs;
    songs.push_back(LoadItems({Note(0), Fermata(4), Note(0), BreathMark(2), Note(0)}));
    songs.push_back(LoadItems({Note(0, dur::Whole), Rest(dur::Half), Note(0)}));
    songs.push_back(LoadSong(test::RichSong()));
    for (const test::SongSpec& flow : test::FlowSongs()) songs.push_back(LoadSong(flow));
    for (size_t i = 0; i < songs.size(); ++i) {
        ASSERT_TRUE(songs[i]) << i;
        const PlayTimes both = BothPlayTimes(*songs[i]);
        EXPECT_EQ(both.scqMilliseconds, Render(*songs[i]).milliseconds) << i;
        EXPECT_EQ(both.smfMilliseconds, Render(*songs[i], kSmf).milliseconds) << i;
    }
    EXPECT_GT(BothPlayTimes(*songs[0]).scqMilliseconds, BothPlayTimes(*songs[0]).smfMilliseconds);
    EXPECT_EQ(WholeSeconds(1499), 1u);
    EXPECT_EQ(WholeSeconds(1500), 2u);
    EXPECT_EQ(WholeSeconds(0xFFFFFFFFu), 0u);  // 32-bit, as the report has always rounded
}

TEST(Ramps, AccelerandoSetDirectly) {
    auto song = LoadItems({Tempo(100), TempoVariation(tvar::Accelerando), Note(0, dur::Whole),
                           Note(0, dur::Half), Tempo(120), Note(0, dur::Whole)});
    auto* accel = dynamic_cast<TempoVariationItem*>(song->staffAt(0)->itemAt(2));
    ASSERT_NE(accel, nullptr);
    accel->startTempo = 100;
    accel->endTempo = 120;
    accel->rampTicks = 960;
    const Rendered r = Render(*song);
    std::vector<std::pair<int32_t, unsigned>> tempi;
    for (const SequenceEvent& e : r.events) {
        if (e.kind() == TempoEvent) tempi.emplace_back(e.time, 60000000u / e.tempoValue());
    }
    ASSERT_EQ(tempi.size(), 22u);
    EXPECT_EQ(tempi[1], (std::pair<int32_t, unsigned>{0, 100}));
    for (int k = 0; k < 19; ++k) {
        EXPECT_EQ(tempi[static_cast<size_t>(2 + k)],
                  (std::pair<int32_t, unsigned>{48 * (k + 1), 101u + static_cast<unsigned>(k)}));
    }
    EXPECT_EQ(tempi.back(), (std::pair<int32_t, unsigned>{1152, 120}));
}

TEST(Ramps, CrescendoSetDirectlyRampsVolumeAndVelocity) {
    auto song = LoadItems({DynamicVariation(dvar::Crescendo), Note(0), Note(0), Note(0)});
    auto* cresc = dynamic_cast<DynamicVariationItem*>(song->staffAt(0)->itemAt(1));
    ASSERT_NE(cresc, nullptr);
    cresc->startVolume = 64;
    cresc->endVolume = 100;
    cresc->rampTicks = 360;
    cresc->targetVelocity = 50;  // from 110 down to 50 over 360 ticks
    const Rendered r = Render(*song);
    const auto volume = Messages(r.events, SequenceEvent::ControlChange, 7);
    ASSERT_EQ(volume.size(), 36u);  // the staff's own, then 35 steps
    EXPECT_EQ(volume[1].time, 10);
    EXPECT_EQ(volume[1].data2(), 65);
    EXPECT_EQ(volume.back().time, 350);
    EXPECT_EQ(volume.back().data2(), 99);
    const auto notes = Notes(r.events);
    ASSERT_EQ(notes.size(), 3u);
    // 110 - trunc(60 * 192/360) = 78; then the rest of the ramp: 50.
    EXPECT_EQ(notes[0].velocity, 110);
    EXPECT_EQ(notes[1].velocity, 78);
    EXPECT_EQ(notes[2].velocity, 50);
}

TEST(Signatures, KeyAndTimeEventsAtStartAndOnChange) {
    auto song = LoadItems(
        {Key(1), Time(3, 4), Note(0), Key(1), Time(3, 4), Note(0), Key(-2), Time(6, 8), Note(0)});
    const Rendered r = Render(*song, kNoFilter);
    std::vector<std::tuple<int, int32_t, int>> marks;
    for (const SequenceEvent& e : r.events) {
        if (e.kind() == KeySignatureEvent) marks.emplace_back(3, e.time, e.key());
        if (e.kind() == TimeSignatureEvent) marks.emplace_back(2, e.time, e.beatsPerBar());
    }
    const std::vector<std::tuple<int, int32_t, int>> want = {
        {3, 0, 1}, {2, 0, 3}, {3, 384, -2}, {2, 384, 6}};
    EXPECT_EQ(marks, want);
    // The play time filters them out.
    for (const SequenceEvent& e : Render(*song).events) {
        EXPECT_NE(e.kind(), KeySignatureEvent);
        EXPECT_NE(e.kind(), TimeSignatureEvent);
    }
}

TEST(Builder, PlayersOutliveSmallerSongsAndRebind) {
    PerformanceBuilder b;
    auto three = LoadStaffs({MakeStaff("a", {Note(0)}), MakeStaff("b"), MakeStaff("c")});
    auto one = LoadItems({Note(0, dur::Whole)});
    EXPECT_EQ(Render(*three, 0x0C, &b).milliseconds, MsOf(160));
    EXPECT_EQ(b.playerCount(), 3);
    EXPECT_EQ(Render(*one, 0x0C, &b).milliseconds, MsOf(720));
    EXPECT_EQ(b.playerCount(), 3);  // the extra players stay, idle
    EXPECT_EQ(b.player(0).staff(), one->staffAt(0));
    EXPECT_EQ(b.player(0).index(), -1);
    // Rendering twice gives the same events.
    EXPECT_EQ(Render(*one, 0x0C, &b).events, Render(*one, 0x0C, &b).events);
}

TEST(Builder, ManyStaffsGrowThePlayerArray) {
    std::vector<StaffSpec> staffs;
    for (int i = 0; i < 40; ++i)
        staffs.push_back(MakeStaff("s", {Note(0, i % 2 ? dur::Half : dur::Whole)}));
    auto song = LoadStaffs(staffs);
    PerformanceBuilder b;
    const Rendered r = Render(*song, 0x0C, &b);
    EXPECT_EQ(b.playerCount(), 40);
    EXPECT_EQ(Notes(r.events).size(), 40u);
    EXPECT_EQ(r.milliseconds, MsOf(720));
}

}  // namespace
}  // namespace scq::perf
