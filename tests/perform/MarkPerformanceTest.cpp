#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "items/PerformanceMarks.h"
#include "items/Signatures.h"
#include "items/TextAndPedal.h"
#include "perform/EventSequence.h"
#include "perform/PerformRules.h"
#include "perform/PlayState.h"

namespace scq {
namespace {

std::vector<SequenceEvent> Events(const EventSequence& s) {
    std::vector<SequenceEvent> out;
    s.forEach([&](const SequenceEvent& e) { out.push_back(e); });
    return out;
}

// A sequence as the play time uses it, without its filter.
struct Fixture {
    EventSequence seq{16};
    PlayState state;
    Fixture() {
        seq.allocatePages(16);
        seq.reset();
        state.channel = 3;
        state.device = 9;  // the event keeps the low 3 bits
    }
    std::vector<SequenceEvent> events() const { return Events(seq); }
};

void ExpectChannel(const SequenceEvent& e, int32_t time, int type, int d1, int d2) {
    EXPECT_EQ(e.kind(), ChannelMessage);
    EXPECT_EQ(e.time, time);
    EXPECT_EQ(e.type(), type);
    EXPECT_EQ(e.channel(), 3);
    EXPECT_EQ(e.device(), 1);
    EXPECT_EQ(e.data1(), d1);
    EXPECT_EQ(e.data2(), d2);
}

TEST(Signatures, KeySignatureEventAtStartAndOnChange) {
    constexpr uint16_t F = 1 << 5, C = 1 << 2, B = 1 << 1, E = 1 << 4;
    Fixture f;
    KeySignatureItem twoSharps(F | C, 0);
    twoSharps.contributeToPerformance(f.state, f.seq);  // tick 0: always
    twoSharps.applyToStaffState(f.state);
    EXPECT_EQ(f.state.keySharps, F | C);
    EXPECT_EQ(f.state.barSharps, F | C);
    f.state.time = 768;
    twoSharps.contributeToPerformance(f.state, f.seq);  // same key later: nothing
    KeySignatureItem twoFlats(0, B | E);
    twoFlats.contributeToPerformance(f.state, f.seq);
    f.state.barDoubleSharps = 0x7F;
    twoFlats.applyToStaffState(f.state);
    EXPECT_EQ(f.state.keySharps, 0);
    EXPECT_EQ(f.state.barFlats, B | E);
    EXPECT_EQ(f.state.barDoubleSharps, 0);
    const auto ev = f.events();
    ASSERT_EQ(ev.size(), 2u);
    EXPECT_EQ(ev[0].kind(), KeySignatureEvent);
    EXPECT_EQ(ev[0].key(), 2);
    EXPECT_EQ(ev[1].time, 768);
    EXPECT_EQ(ev[1].key(), -2);
    EXPECT_EQ(ev[1].modeFlag(), 0);
}

TEST(Signatures, TimeSignatureEventAtStartAndOnChange) {
    Fixture f;
    TimeSignatureItem common(4, 2, 0);
    common.contributeToPerformance(f.state, f.seq);  // equal to the reset state, but at tick 0
    f.state.time = 100;
    common.contributeToPerformance(f.state, f.seq);
    TimeSignatureItem sixEight(6, 3, 0);
    sixEight.contributeToPerformance(f.state, f.seq);
    sixEight.applyToStaffState(f.state);
    EXPECT_EQ(f.state.beatsPerBar, 6u);
    EXPECT_EQ(f.state.beatValueCode, 3u);
    const auto ev = f.events();
    ASSERT_EQ(ev.size(), 2u);
    EXPECT_EQ(ev[0].beatsPerBar(), 4);
    EXPECT_EQ(ev[1].time, 100);
    EXPECT_EQ(ev[1].beatsPerBar(), 6);
    EXPECT_EQ(ev[1].beatValueCode(), 3);
}

TEST(Signatures, ClefSetsClefAndShift) {
    PlayState s;
    ClefItem bass(kBassClef);
    bass.octaveShift = -1;  // read from a word of 0xFFFF: counts as no shift
    bass.applyToStaffState(s);
    EXPECT_EQ(s.clef, 1u);
    EXPECT_EQ(s.octaveShift, 3u);
    EXPECT_EQ(perform::notePitch(s, 0, perform::kNoAccidental), 50);
}

TEST(Marks, TempoInstrumentDynamicPedal) {
    Fixture f;
    f.state.time = 192;
    TempoItem(60, kTempoQuarter).contributeToPerformance(f.state, f.seq);
    TempoItem(0, kTempoQuarter).contributeToPerformance(f.state, f.seq);
    InstrumentItem(InstrumentPatch{1, 130, 1}).contributeToPerformance(f.state, f.seq);
    InstrumentItem(InstrumentPatch{0, 130, 41}).contributeToPerformance(f.state, f.seq);
    InstrumentItem(InstrumentPatch{1, 5, 0}).contributeToPerformance(f.state, f.seq);
    DynamicItem quiet(kDynamicP);
    quiet.contributeToPerformance(f.state, f.seq);  // volume -1: nothing
    quiet.volume = 90;
    quiet.contributeToPerformance(f.state, f.seq);
    PedalItem(true).contributeToPerformance(f.state, f.seq);
    PedalItem pedal(false);
    pedal.contributeToPerformance(f.state, f.seq);
    pedal.pedalDown = 2;
    pedal.contributeToPerformance(f.state, f.seq);

    const auto ev = f.events();
    ASSERT_EQ(ev.size(), 10u);
    // Sorted by tie rank at the one tick: pedal up first, pedal downs last.
    ExpectChannel(ev[0], 192, SequenceEvent::ControlChange, 64, 0);
    EXPECT_EQ(ev[1].tempoValue(), 1000000u);
    EXPECT_EQ(ev[2].tempoValue(), 15000000u);
    ExpectChannel(ev[3], 192, SequenceEvent::ControlChange, 0, 1);
    ExpectChannel(ev[4], 192, SequenceEvent::ControlChange, 32, 2);
    ExpectChannel(ev[5], 192, SequenceEvent::ProgramChange, 0, 0);
    ExpectChannel(ev[6], 192, SequenceEvent::ProgramChange, 40, 0);
    ExpectChannel(ev[7], 192, SequenceEvent::ControlChange, 7, 90);
    ExpectChannel(ev[8], 192, SequenceEvent::ControlChange, 64, 127);
    ExpectChannel(ev[9], 192, SequenceEvent::ControlChange, 64, 127);
}

TEST(Marks, DynamicsAndStyleChangeTheState) {
    PlayState s;
    s.rampRemaining = 100;
    DynamicItem d(kDynamicF);
    d.velocity = -1;  // unset: velocity stays
    d.applyToStaffState(s);
    EXPECT_EQ(s.rampRemaining, 0u);
    EXPECT_EQ(s.velocity, 110u);
    d.velocity = 80;
    d.applyToStaffState(s);
    EXPECT_EQ(s.velocity, 80u);

    PerformanceStyleItem style(kStyleStaccato);
    style.applyToStaffState(s);
    EXPECT_EQ(s.performanceStyle, 18);
    style.performanceStyle = 40;  // only the low 6 bits, signed
    style.applyToStaffState(s);
    EXPECT_EQ(s.performanceStyle, -24);
}

TEST(Marks, DynamicVariationStartsAVelocityRamp) {
    struct Case {
        int32_t length;
        uint8_t target;
        unsigned velocity;
        unsigned remaining, rampTarget;
    };
    const Case cases[] = {
        {360, 100, 64, 360, 100},    {0, 100, 64, 0, 0},         {360, 0, 64, 0, 0},
        {360, 64, 64, 0, 0},         {65535, 90, 64, 65534, 90}, {100000, 90, 64, 65534, 90},
        {65534, 200, 64, 65534, 72},  // the target keeps 7 bits
    };
    for (const Case& c : cases) {
        PlayState s;
        s.velocity = c.velocity;
        DynamicVariationItem v(kCrescendo);
        v.rampTicks = c.length;
        v.targetVelocity = c.target;
        v.applyToStaffState(s);
        EXPECT_EQ(s.rampRemaining, c.remaining) << c.length << " " << int{c.target};
        EXPECT_EQ(s.rampTarget, c.rampTarget) << c.length << " " << int{c.target};
    }
}

TEST(Marks, CrescendoVolumeRamp) {
    Fixture f;
    f.state.time = 1000;
    DynamicVariationItem v(kCrescendo);
    v.startVolume = 64;
    v.endVolume = 100;
    v.rampTicks = 360;
    v.contributeToPerformance(f.state, f.seq);
    const auto ev = f.events();
    ASSERT_EQ(ev.size(), 35u);
    ExpectChannel(ev.front(), 1010, SequenceEvent::ControlChange, 7, 65);
    ExpectChannel(ev.back(), 1350, SequenceEvent::ControlChange, 7, 99);

    // No ramp: zero length, no start volume, equal volumes.
    Fixture g;
    for (auto [start, end, len] : {std::tuple{64, 100, 0}, {-1, 100, 360}, {80, 80, 360}}) {
        v.startVolume = static_cast<int8_t>(start);
        v.endVolume = static_cast<int8_t>(end);
        v.rampTicks = len;
        v.contributeToPerformance(g.state, g.seq);
    }
    EXPECT_TRUE(g.seq.isEmpty());
}

TEST(Marks, BreathMarkFermataAndTempoRamps) {
    Fixture f;
    f.state.time = 480;
    TempoVariationItem(kBreathMark, 0).contributeToPerformance(f.state, f.seq);
    TempoVariationItem(kBreathMark, 3).contributeToPerformance(f.state, f.seq);
    TempoVariationItem(kFermata, 2).contributeToPerformance(f.state, f.seq);
    TempoVariationItem accel(kAccelerando, 0);
    accel.contributeToPerformance(f.state, f.seq);  // no ramp filled in: nothing
    accel.startTempo = 100;
    accel.endTempo = 120;
    accel.rampTicks = 960;
    accel.contributeToPerformance(f.state, f.seq);
    const auto ev = f.events();
    ASSERT_EQ(ev.size(), 21u);
    EXPECT_EQ(ev[0].kind(), PauseEvent);
    EXPECT_EQ(ev[0].time, 480);
    EXPECT_EQ(ev[0].pauseUnits(), 3u);
    EXPECT_EQ(ev[1].kind(), PauseEvent);
    EXPECT_EQ(ev[1].time, 481);
    EXPECT_EQ(ev[1].pauseUnits(), 2u);
    for (int k = 0; k < 19; ++k) {
        const SequenceEvent& e = ev[static_cast<size_t>(2 + k)];
        EXPECT_EQ(e.kind(), TempoEvent);
        EXPECT_EQ(e.time, 480 + 48 * (k + 1));
        EXPECT_EQ(e.tempoValue(), 60000000u / static_cast<unsigned>(101 + k));
    }
}

TEST(Marks, LongestTempoRampAddsEveryStep) {
    Fixture f;
    TempoVariationItem rit(kRitardando, 0);
    rit.startTempo = 65535;
    rit.endTempo = 0;
    rit.rampTicks = INT32_MAX;
    rit.contributeToPerformance(f.state, f.seq);
    EXPECT_EQ(f.seq.size(), 65534u);
    const auto ev = f.events();
    EXPECT_EQ(ev.back().tempoValue(), 60000000u / 4);  // bpm 1 counts as 4
    // Filtered out: nothing is added and nothing is walked.
    Fixture g;
    g.seq.addFilterBits(1u << TempoEvent);
    rit.contributeToPerformance(g.state, g.seq);
    EXPECT_TRUE(g.seq.isEmpty());
}

TEST(Controllers, AbsolutePointsSkipInactiveOnes) {
    Fixture f;
    f.state.time = 96;
    ControllerItem c;
    c.controller = 10;  // Expression
    c.timeUnit = 3;     // eighths
    c.setPoint(0, 0, 20);
    c.setPoint(2, 2, 300);  // point 1 inactive: adds no time; value keeps its low 8 bits
    c.setPoint(3, 1, 40);
    c.contributeToPerformance(f.state, f.seq);
    const auto ev = f.events();
    ASSERT_EQ(ev.size(), 3u);
    ExpectChannel(ev[0], 96, SequenceEvent::ControlChange, 11, 20);
    ExpectChannel(ev[1], 288, SequenceEvent::ControlChange, 11, 300 & 0xFF);
    ExpectChannel(ev[2], 384, SequenceEvent::ControlChange, 11, 40);
}

TEST(Controllers, TempoPitchBendAndUnknownController) {
    Fixture f;
    ControllerItem tempo;
    tempo.setPoint(0, 0, 60);
    tempo.contributeToPerformance(f.state, f.seq);
    ControllerItem bend;
    bend.controller = kControllerPitchBend;
    bend.setPoint(0, 1, 8192 + 5);
    bend.setPoint(1, 1, -129);
    bend.contributeToPerformance(f.state, f.seq);
    ControllerItem odd;
    odd.controller = 99;  // only a hand-made item can hold this
    odd.setPoint(0, 0, 1);
    odd.contributeToPerformance(f.state, f.seq);
    const auto ev = f.events();
    ASSERT_EQ(ev.size(), 4u);
    EXPECT_EQ(ev[0].kind(), TempoEvent);
    EXPECT_EQ(ev[0].tempoValue(), 1000000u);
    ExpectChannel(ev[1], 0, SequenceEvent::ControlChange, 0xFF, 1);
    ExpectChannel(ev[2], 192, SequenceEvent::PitchBend, 5, 64);
    ExpectChannel(ev[3], 384, SequenceEvent::PitchBend, (-1) & 0xFF, (-1) & 0xFF);
}

TEST(Controllers, LinearSweepBetweenActivePoints) {
    Fixture f;
    ControllerItem c;
    c.controller = 1;  // Volume
    c.sweepStyle = kSweepLinear;
    c.timeUnit = 2;
    c.sweepStep = 10;
    c.setPoint(0, 0, 0);
    c.setPoint(1, 1, 40);  // sweep 0 -> 40 over 192 ticks: 10, 20, 30 at 48, 96, 144
    c.setPoint(3, 1, 90);  // after the inactive point 2: never reached
    c.contributeToPerformance(f.state, f.seq);
    const auto ev = f.events();
    ASSERT_EQ(ev.size(), 5u);
    const int times[] = {0, 48, 96, 144, 192};
    const int values[] = {0, 10, 20, 30, 40};
    for (size_t k = 0; k < 5; ++k) {
        ExpectChannel(ev[k], times[k], SequenceEvent::ControlChange, 7, values[k]);
    }
    // A zero step, a zero span or equal values: only the points.
    for (auto [step, offset, value] : {std::tuple{0, 1, 40}, {10, 0, 40}, {10, 1, 0}}) {
        Fixture g;
        c.sweepStep = step;
        c.setPoint(1, offset, value);
        c.contributeToPerformance(g.state, g.seq);
        EXPECT_EQ(g.seq.size(), 2u) << step << " " << offset << " " << value;
    }
}

TEST(Controllers, HugeSweepStopsWhenTheSequenceIsFull) {
    Fixture f;
    ControllerItem c;
    c.controller = 2;  // Stereo Pan
    c.sweepStyle = kSweepLinear;
    c.timeUnit = 7;  // 6 ticks
    c.sweepStep = 1;
    c.setPoint(0, 0, INT32_MIN);
    c.setPoint(1, 357913941, INT32_MAX);  // 2^31 - 2 ticks, 2^32 - 1 steps
    c.contributeToPerformance(f.state, f.seq);
    EXPECT_TRUE(f.seq.isFull());
    EXPECT_EQ(f.seq.size(), size_t{EventSequence::PageSize} * EventSequence::MaxPages);
    // The sweep ends with its first lost event: the last one kept is one tick before it.
    const SequenceEvent last = f.seq.at(f.seq.size() - 1);
    EXPECT_EQ(last.time, EventSequence::PageSize * EventSequence::MaxPages - 1);
}

TEST(Ramps, FullSequenceKeepsTakingEarlierEvents) {
    // A full one-page sequence whose last event lies far ahead: the ramp's events displace it
    // one by one, exactly as adding every step would.
    auto fill = [](EventSequence& s) {
        s.allocatePages(1);
        s.reset();
        PlayState st;
        for (int i = 0; i < 1000; ++i) {
            s.add(perform::channelEvent(st, i, SequenceEvent::ControlChange, 7, 1));
        }
        for (int i = 0; i < 25; ++i) {  // the last of these no longer fits
            s.add(perform::channelEvent(st, 1000000 + i, SequenceEvent::ControlChange, 7, 2));
        }
    };
    EventSequence viaRamp(0), literal(0);
    fill(viaRamp);
    fill(literal);
    ASSERT_TRUE(viaRamp.isFull());
    PlayState st;
    auto make = [&](int32_t time, int64_t value) {
        return perform::channelEvent(st, time, SequenceEvent::ControlChange, 7,
                                     static_cast<int>(value));
    };
    perform::addRamp(viaRamp, perform::Ramp(0, 100, 1, 100, 2000, true), ChannelMessage, make);
    perform::Ramp r(0, 100, 1, 100, 2000, true);
    perform::RampPoint p;
    while (r.next(p)) literal.add(make(static_cast<int32_t>(p.time), p.value));
    ASSERT_EQ(viaRamp.size(), literal.size());
    for (size_t i = 0; i < viaRamp.size(); ++i) EXPECT_EQ(viaRamp.at(i), literal.at(i)) << i;
    // The 24 far events gave way to 24 ramp events; the 25th ramp event was lost.
    EXPECT_EQ(viaRamp.at(viaRamp.size() - 1).time, 2024);
}

}  // namespace
}  // namespace scq
