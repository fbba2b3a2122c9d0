#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "perform/PerformRules.h"

namespace scq::perform {
namespace {

struct LengthCase {
    int64_t n;
    Articulation mode;
    int64_t expected;
};

TEST(Articulation, LengthsAcrossEveryBand) {
    const LengthCase cases[] = {
        {192, Articulation::Normal, 160},  // quarter
        {96, Articulation::Normal, 94},    // eighth
        {384, Articulation::Normal, 336},  // half
        {768, Articulation::Normal, 720},  // whole
        {95, Articulation::Normal, 93},
        {191, Articulation::Normal, 189},
        {383, Articulation::Normal, 351},
        {0, Articulation::Normal, -2},
        {192, Articulation::Staccato, 48},
        {96, Articulation::Staccato, 32},
        {48, Articulation::Staccato, 32},
        {95, Articulation::Staccato, 63},
        {191, Articulation::Staccato, 63},
        {768, Articulation::Staccato, 192},
        {192, Articulation::SlurredStaccato, 120},
        {96, Articulation::SlurredStaccato, 68},
        {191, Articulation::SlurredStaccato, 136},
        {768, Articulation::SlurredStaccato, 480},
        {192, Articulation::Full, 192},
        {7, Articulation::Full, 7},
    };
    for (const LengthCase& c : cases) {
        EXPECT_EQ(articulatedLength(c.n, c.mode), c.expected)
            << "n " << c.n << " mode " << static_cast<int>(c.mode);
    }
}

struct PitchCase {
    unsigned clef;
    unsigned octaveShift;
    int transposition;
    int position;
    int accidental;
    int expected;
};

TEST(Pitch, ClefsShiftsAccidentalsAndFolding) {
    const PitchCase cases[] = {
        {0, 0, 0, 0, kNoAccidental, 71},    // treble middle line: B
        {0, 0, 0, -1, kNoAccidental, 72},   // C above
        {0, 0, 0, 6, kNoAccidental, 60},    // middle C below the staff
        {1, 0, 0, 0, kNoAccidental, 50},    // bass: D
        {1, 0, -12, 0, kNoAccidental, 38},  // transposed down an octave
        {2, 0, 0, 0, kNoAccidental, 60},    // alto: C
        {3, 0, 0, 0, kNoAccidental, 57},    // tenor: A
        {0, 1, 0, 0, kNoAccidental, 83},    // octave up
        {0, 2, 0, 0, kNoAccidental, 59},    // octave down
        {0, 3, 0, 0, kNoAccidental, 71},    // shift 3 counts as none
        {0, 0, 0, 0, kSharp, 72},
        {0, 0, 0, 0, kFlat, 70},
        {0, 0, 0, 0, kNatural, 71},
        {0, 0, 0, 0, kDoubleSharp, 73},
        {0, 0, 0, 0, kDoubleFlat, 69},
        {0, 0, 0, 0, 6, 71},
        {0, 0, 0, 0, 7, 71},
        {0, 0, 31, 0, kNoAccidental, 102},
        {0, 0, -32, 0, kNoAccidental, 39},
        // Far below the staff: the letter is the floor remainder, the octave truncates.
        {0, 0, 0, 100, kNoAccidental, 7},  // -89 folds to 7
        {0, 0, 0, 127, kNoAccidental, 9},  // -147 folds to 9
        {1, 2, -32, 127, kFlat, 3},        // far below, shifted down and transposed
        // Far above: folded into the top octave.
        {0, 0, 0, -128, kNoAccidental, 122},
        {0, 1, 31, -128, kDoubleSharp, 119},
    };
    for (const PitchCase& c : cases) {
        PlayState s;
        s.clef = c.clef;
        s.octaveShift = c.octaveShift;
        s.transposition = c.transposition;
        EXPECT_EQ(notePitch(s, c.position, c.accidental), c.expected)
            << "clef " << c.clef << " shift " << c.octaveShift << " pos " << c.position << " acc "
            << c.accidental;
    }
}

TEST(Pitch, FoldKeepsEveryValueInRange) {
    EXPECT_EQ(foldPitch(-12), 12);
    EXPECT_EQ(foldPitch(-1), 11);
    EXPECT_EQ(foldPitch(-13), 11);
    EXPECT_EQ(foldPitch(0), 0);
    EXPECT_EQ(foldPitch(127), 127);
    EXPECT_EQ(foldPitch(128), 116);
    EXPECT_EQ(foldPitch(130), 118);
    for (int64_t v = -400; v <= 400; ++v) {
        const int f = foldPitch(v);
        EXPECT_GE(f, 0);
        EXPECT_LE(f, 127);
        if (v < 0 || v > 127) {
            EXPECT_EQ(((f - v) % 12 + 12) % 12, 0) << v;
        }
    }
}

TEST(Pitch, BarMemoryDecidesNotesWithoutAccidental) {
    // Order of the bar sets: double sharps, sharps, double flats, flats.
    PlayState s;
    const int b = noteLetter(0, 0);
    ASSERT_EQ(b, 1);
    s.barFlats = 1u << b;
    EXPECT_EQ(notePitch(s, 0, kNoAccidental), 70);
    s.barDoubleFlats = 1u << b;
    EXPECT_EQ(notePitch(s, 0, kNoAccidental), 69);
    s.barSharps = 1u << b;
    EXPECT_EQ(notePitch(s, 0, kNoAccidental), 72);
    s.barDoubleSharps = 1u << b;
    EXPECT_EQ(notePitch(s, 0, kNoAccidental), 73);
    // Another letter is not affected; an explicit accidental ignores the memory.
    EXPECT_EQ(notePitch(s, -1, kNoAccidental), 72);
    EXPECT_EQ(notePitch(s, 0, kNatural), 71);
}

TEST(Pitch, AccidentalsUpdateTheBarSets) {
    struct Case {
        int accidental;
        uint16_t sharps, flats, doubleSharps, doubleFlats;
    };
    // Every set starts with the letter's bit set; bit 0 of another letter stays.
    const Case cases[] = {
        {kSharp, 0x3, 0x1, 0x1, 0x1},      {kFlat, 0x3, 0x3, 0x3, 0x3},
        {kNatural, 0x1, 0x1, 0x1, 0x1},    {kDoubleSharp, 0x3, 0x3, 0x3, 0x3},
        {kDoubleFlat, 0x3, 0x3, 0x3, 0x3}, {kNoAccidental, 0x3, 0x3, 0x3, 0x3},
        {6, 0x3, 0x3, 0x3, 0x3},           {7, 0x3, 0x3, 0x3, 0x3},
    };
    for (const Case& c : cases) {
        PlayState s;
        s.barSharps = s.barFlats = s.barDoubleSharps = s.barDoubleFlats = 0x3;
        rememberAccidental(s, 1, c.accidental);
        EXPECT_EQ(s.barSharps, c.sharps) << c.accidental;
        EXPECT_EQ(s.barFlats, c.flats) << c.accidental;
        EXPECT_EQ(s.barDoubleSharps, c.doubleSharps) << c.accidental;
        EXPECT_EQ(s.barDoubleFlats, c.doubleFlats) << c.accidental;
    }
    // A flat, double sharp or double flat only adds its own set.
    PlayState s;
    rememberAccidental(s, 4, kFlat);
    EXPECT_EQ(s.barFlats, 1u << 4);
    EXPECT_EQ(s.barSharps, 0u);
}

TEST(Controllers, NumbersOfTheTable) {
    const int expected[18] = {0xFF, 7, 10, 2, 0xFF, 1, 4, 5, 6, 8, 11, 12, 13, 91, 92, 93, 94, 95};
    for (int c = 0; c < 18; ++c) EXPECT_EQ(controlChangeOf(c), expected[c]) << c;
    EXPECT_EQ(controlChangeOf(18), 0xFF);
    EXPECT_EQ(controlChangeOf(-1), 0xFF);
}

TEST(VelocityRamp, StepsInSinglePrecision) {
    struct Case {
        unsigned velocity, target, remaining;
        int64_t d;
        unsigned velocityAfter, remainingAfter;
    };
    const Case cases[] = {
        {64, 100, 360, 96, 73, 264},   // f = 0.26666667: 9.6 truncates to 9
        {73, 100, 264, 264, 100, 0},   // the rest of the ramp at once
        {73, 100, 264, 1000, 100, 0},  // d beyond the ramp is cut to what remains
        {100, 100, 200, 96, 100, 0},   // at the target: the ramp ends
        {50, 60, 10, 7, 56, 3},        // 0.7 rounds down in single precision: 6.9999998 -> 6
        {100, 40, 300, 100, 80, 200},  // downwards: 1/3 rounds up, -20.0000006 truncates to -20
        {64, 100, 360, 0, 64, 360},    // a grace note moves nothing
    };
    for (const Case& c : cases) {
        PlayState s;
        s.velocity = c.velocity;
        s.rampTarget = c.target;
        s.rampRemaining = c.remaining;
        velocityRampStep(s, c.d);
        EXPECT_EQ(s.velocity, c.velocityAfter) << c.velocity << "->" << c.target;
        EXPECT_EQ(s.rampRemaining, c.remainingAfter) << c.velocity << "->" << c.target;
    }
}

std::vector<RampPoint> Collect(Ramp r, size_t limit = SIZE_MAX) {
    std::vector<RampPoint> out;
    RampPoint p;
    while (out.size() < limit && r.next(p)) out.push_back(p);
    return out;
}

// The ramp as a loop over every step, for spans where the double product is exact.
std::vector<RampPoint> LiteralRamp(int32_t a, int32_t b, int32_t m, int64_t span, int64_t t,
                                   bool inclusive) {
    std::vector<RampPoint> out;
    if (m <= 0) return out;
    const int64_t diff = static_cast<int64_t>(b) - a;
    const int64_t n = (diff < 0 ? -diff : diff) / m;
    if (n <= 0) return out;
    const int64_t step = diff < 0 ? -int64_t{m} : m;
    const float w = static_cast<float>(static_cast<double>(span) / static_cast<double>(n));
    int64_t last = t;
    for (int64_t i = 0; i <= (inclusive ? n : n - 1); ++i) {
        const int64_t u =
            t + static_cast<int64_t>(std::trunc(static_cast<double>(i) * static_cast<double>(w)));
        if (u <= last) continue;
        last = u;
        if (u >= t + span) break;
        out.push_back({u, a + i * step});
    }
    return out;
}

TEST(Ramp, AccelerandoExample) {
    const auto points = Collect(Ramp(100, 120, 1, 960, 1000, false));
    ASSERT_EQ(points.size(), 19u);
    for (size_t k = 0; k < points.size(); ++k) {
        EXPECT_EQ(points[k].time, 1000 + 48 * static_cast<int64_t>(k + 1));
        EXPECT_EQ(points[k].value, 101 + static_cast<int64_t>(k));
    }
}

TEST(Ramp, CrescendoExample) {
    // The volume ramp runs its steps up to n: step n would fall on the end and is not sent.
    const auto points = Collect(Ramp(64, 100, 1, 360, 0, true));
    ASSERT_EQ(points.size(), 35u);
    EXPECT_EQ(points.front().time, 10);
    EXPECT_EQ(points.front().value, 65);
    EXPECT_EQ(points.back().time, 350);
    EXPECT_EQ(points.back().value, 99);
}

TEST(Ramp, EmptyRamps) {
    EXPECT_TRUE(Collect(Ramp(10, 10, 1, 100, 0, true)).empty());
    EXPECT_TRUE(Collect(Ramp(10, 20, 0, 100, 0, true)).empty());
    EXPECT_TRUE(Collect(Ramp(10, 20, -3, 100, 0, true)).empty());
    EXPECT_TRUE(Collect(Ramp(10, 20, 11, 100, 0, true)).empty());  // n = 0
    EXPECT_TRUE(Collect(Ramp(10, 20, 1, 0, 0, true)).empty());
    EXPECT_TRUE(Collect(Ramp(10, 20, 1, -500, 0, true)).empty());
}

TEST(Ramp, DownwardsAndShortSpans) {
    // 100 -> 90 over 5 ticks: w = 0.5, every other step moves the time.
    const auto points = Collect(Ramp(100, 90, 1, 5, 0, false));
    ASSERT_EQ(points.size(), 4u);
    const RampPoint expected[] = {{1, 98}, {2, 96}, {3, 94}, {4, 92}};
    for (size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(points[k].time, expected[k].time);
        EXPECT_EQ(points[k].value, expected[k].value);
    }
}

TEST(Ramp, MatchesTheLiteralLoop) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> value(-3000, 3000);
    std::uniform_int_distribution<int> stepDist(1, 7);
    std::uniform_int_distribution<int> spanDist(-5, 4000);
    for (int round = 0; round < 3000; ++round) {
        const int32_t a = value(rng), b = value(rng), m = stepDist(rng);
        const int64_t span = spanDist(rng);
        const int64_t t = value(rng);
        const bool inclusive = round % 2 == 0;
        const auto got = Collect(Ramp(a, b, m, span, t, inclusive));
        const auto want = LiteralRamp(a, b, m, span, t, inclusive);
        ASSERT_EQ(got.size(), want.size()) << a << " " << b << " " << m << " " << span;
        for (size_t k = 0; k < got.size(); ++k) {
            ASSERT_EQ(got[k].time, want[k].time);
            ASSERT_EQ(got[k].value, want[k].value);
        }
    }
}

TEST(Ramp, HugeStepCountsCostOnlyWhatTheyYield) {
    // 2^32 - 1 steps over 2^31 ticks: w = 0.5, a point on every tick.
    Ramp wide(INT32_MIN, INT32_MAX, 1, int64_t{1} << 31, 0, false);
    EXPECT_EQ(wide.stepCount(), (int64_t{1} << 32) - 1);
    const auto first = Collect(std::move(wide), 1 << 20);
    ASSERT_EQ(first.size(), size_t{1} << 20);
    EXPECT_EQ(first[0].time, 1);
    EXPECT_EQ(first[0].value, int64_t{INT32_MIN} + 2);
    EXPECT_EQ(first.back().time, int64_t{1} << 20);
    EXPECT_EQ(first.back().value, int64_t{INT32_MIN} + (int64_t{1} << 21));

    // The same range over 1000 ticks: 999 points, none of the skipped steps visited.
    const auto few = Collect(Ramp(INT32_MIN, INT32_MAX, 1, 1000, 50, true));
    ASSERT_EQ(few.size(), 999u);
    const float w = static_cast<float>(1000.0 / 4294967295.0);
    for (size_t k = 0; k < few.size(); ++k) {
        EXPECT_EQ(few[k].time, 50 + static_cast<int64_t>(k) + 1);
        // The first step that reaches the tick, by the exact product.
        const int64_t i = few[k].value - INT32_MIN;
        EXPECT_GE(std::floor(static_cast<long double>(i) * w), static_cast<long double>(k + 1));
        EXPECT_LT(std::floor(static_cast<long double>(i - 1) * w), static_cast<long double>(k + 1));
    }
    // A span longer than the value range: the last step is n - 1.
    const auto sparse = Collect(Ramp(0, 3, 1, (int64_t{1} << 40), 0, false));
    ASSERT_EQ(sparse.size(), 2u);
    EXPECT_EQ(
        sparse[1].time,
        static_cast<int64_t>(2.0 * static_cast<double>(static_cast<float>((1ll << 40) / 3.0))));
}

TEST(Ticks, WrapIntoThirtyTwoBits) {
    EXPECT_EQ(wrapTicks(int64_t{1} << 31), INT32_MIN);
    EXPECT_EQ(wrapTicks(-1), -1);
    EXPECT_EQ(wrapTicks((int64_t{1} << 32) + 5), 5);
}

}  // namespace
}  // namespace scq::perform
