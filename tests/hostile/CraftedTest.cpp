// The crafted songs of support/CraftedSongs.h at full size, plain and compressed: each loads,
// is audited and renders both play times to the end, with a sorted, bounded event sequence,
// the play time its shape implies and memory in proportion to the song. These are the inputs
// that once took minutes each; the speed they must keep is measured by bench/CraftedBench,
// not here (ctest label `crafted`).

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

#include "HeapCounter.h"
#include "export/MidiWriter.h"
#include "export/MusicXmlWriter.h"
#include "Hostile.h"
#include "perform/EventSequence.h"
#include "perform/PlayTime.h"
#include "staff/Audit.h"
#include "support/CraftedSongs.h"
#ifdef SCQ_CRAFTED_HAVE_DUMP
#include "Dump.h"
#endif

namespace scq::test {
namespace {

constexpr size_t kMostEvents = size_t{EventSequence::PageSize} * EventSequence::MaxPages;

// What the shape of each family says of its play time, in seconds; the same for both
// variants, since no family holds a pause.
struct Expected {
    std::string_view family;
    unsigned minSeconds;
    unsigned maxSeconds;
};

// 120 beats per minute throughout, unless the family plays tempo changes: a tick lasts 1/384 s.
constexpr unsigned SecondsAtStartTempo(int64_t ticks) {
    return static_cast<unsigned>((ticks * 1000 / 384 + 500) / 1000);
}
// The sweeps' and points' events lie between the start of the earliest block (32767 - 504
// whole notes ahead) and the end of a sweep (twice 32767 whole notes ahead).
constexpr unsigned kFarAheadMin = SecondsAtStartTempo(int64_t{32263} * 768);
constexpr unsigned kFarAheadMax = SecondsAtStartTempo(int64_t{65534} * 768);

const Expected kExpected[] = {
    // Sweeps and points ahead: the earliest of them always stays in the sequence.
    {"replayed-sweeps", kFarAheadMin, kFarAheadMax},
    // Replayed sweeps before the points may crowd every point out of the sequence.
    {"equal-pages-ahead", 0, kFarAheadMax},
    // A note at the start of each of the 2040 passes of 1371 half notes and rests: the last
    // pass starts below the render's bound of 2^30 ticks and its rests run past it. The
    // performance ends with that note's 336 ticks.
    {"idle-staffs", SecondsAtStartTempo(int64_t{2039} * 1371 * 384 + 336),
     SecondsAtStartTempo(int64_t{2039} * 1371 * 384 + 336)},
    // Texts only.
    {"memory-bomb", 0, 0},
    // Ramps over tempos from 4 to 65535 beats per minute; a full sequence may leave nothing
    // but tempo events, which end no performance.
    {"tempo-ramps", 0, UINT_MAX},
    {"overlapping-tempo-ramps", 0, UINT_MAX},
    // Volume events only, up to the render's bound.
    {"volume-ramps", 0, SecondsAtStartTempo(int64_t{1} << 30)},
    // Nothing takes time and nothing but the staffs' start sounds.
    {"flow-maze", 0, 0},
    // Quarter chords, each replayed 2040 times.
    {"big-chords", 0, SecondsAtStartTempo(int64_t{1} << 30)},
    // Grace chords: every note within 24 ticks of a grace position, all at the start.
    {"frozen-chords", 0, 1},
    {"grace-loop", 0, 1},
    // Points 6, 12 and 18 ticks after the first.
    {"point-loop", 0, 1},
    // A half chord on every staff: its notes end at tick 336, 875 ms.
    {"crowded-tick", 1, 1},
    {"parallel-sweeps", 0, SecondsAtStartTempo(int64_t{32767} * 768)},
    // The tail of sweeps ahead is crowded out by the grace notes before it, or stays.
    {"tail-ahead", 0, kFarAheadMax},
    // A quarter note at 100 beats per minute: 160 ticks of sound, 500 ms.
    {"inflated-text", 1, 1},
};

const Expected* ExpectedFor(std::string_view family) {
    for (const Expected& e : kExpected) {
        if (e.family == family) return &e;
    }
    return nullptr;
}

struct Case {
    const crafted::Family* family;
    bool compressed;
};

std::string CaseName(const testing::TestParamInfo<Case>& info) {
    std::string name(info.param.family->name);
    for (char& c : name) {
        if (c == '-') c = '_';
    }
    return name + (info.param.compressed ? "_compressed" : "_plain");
}

std::vector<Case> AllCases() {
    std::vector<Case> cases;
    for (const crafted::Family& family : crafted::Families()) {
        cases.push_back({&family, false});
        cases.push_back({&family, true});
    }
    return cases;
}

// Every variant of the play time: the events stored are sorted and within the sequence's
// capacity, and the seconds are what PlayTimeSeconds reports.
unsigned RenderAndCheck(Song& song, PlayTimeVariant variant) {
    EventSequence sequence(16);
    RenderForPlayTime(song, variant, sequence);
    const size_t n = sequence.size();
    EXPECT_LE(n, kMostEvents);
    for (size_t i = 1; i < n; ++i) {
        if (sequence.at(i - 1).sortsAfter(sequence.at(i))) {
            ADD_FAILURE() << "events " << i - 1 << " and " << i << " out of order";
            break;
        }
    }
    return (sequence.ElapsedMilliseconds() + 500u) / 1000u;
}

class Crafted : public testing::TestWithParam<Case> {};

TEST_P(Crafted, FitsTheSizeEveryToolHandles) {
    const crafted::Family& family = *GetParam().family;
    const bool compressed = GetParam().compressed;
    const int scale = compressed ? family.fullCompressedScale : family.fullPlainScale;
    const Bytes bytes = crafted::Build(family, scale, compressed);
    EXPECT_LE(bytes.size(), crafted::kFullSizeBytes);
    // Full size means near the limit, unless the format's own bounds stop the family first.
    if (scale < family.maxScale) {
        EXPECT_GT(bytes.size(), crafted::kFullSizeBytes * 9 / 10);
    }
}

TEST_P(Crafted, LoadsAndPlaysToTheEnd) {
    const crafted::Family& family = *GetParam().family;
    const Expected* expected = ExpectedFor(family.name);
    ASSERT_NE(expected, nullptr) << "no expectation for " << family.name;
    const Bytes bytes = crafted::BuildFull(family, GetParam().compressed);
    const size_t songBytes =
        GetParam().compressed ? Decompress(bytes).value_or(Bytes{}).size() : bytes.size();
    ASSERT_GT(songBytes, 0u);
    TempFile file(bytes, "scqcrafted");
    ASSERT_TRUE(file.ok());

    HeapPeakScope heap;
    Loaded loaded;
    loaded.song = LoadSongFile(file.path().c_str(), loaded.info);
    ASSERT_TRUE(loaded.song) << "status " << loaded.info.status;
    EXPECT_TRUE(loaded.info.status == kLoadNewest || loaded.info.status == kLoadOlder)
        << "status " << loaded.info.status;
    EXPECT_EQ(CheckWellFormed(*loaded.song), "");
    auditSong(*loaded.song, 1);

    const unsigned scq = RenderAndCheck(*loaded.song, PlayTimeVariant::Scq);
    const unsigned smf = RenderAndCheck(*loaded.song, PlayTimeVariant::Smf);
    EXPECT_EQ(scq, smf) << "no family holds a pause";
    EXPECT_GE(scq, expected->minSeconds);
    EXPECT_LE(scq, expected->maxSeconds);

    // The song in memory and a full event sequence, in proportion to the song's bytes. The
    // sequence keeps its events in groups of equal sort keys, with their origin tags, pooled
    // vectors and queues: at its peak it takes up to about 100 bytes per stored event.
    const size_t sequenceBytes = kMostEvents * 128 + (1 << 20);
    const size_t limit = 16 * songBytes + sequenceBytes + (8 << 20);
    EXPECT_LT(heap.growth(), limit) << "song of " << songBytes << " bytes";
    RecordProperty("file_bytes", std::to_string(bytes.size()));
    RecordProperty("song_bytes", std::to_string(songBytes));
    RecordProperty("heap_growth_bytes", std::to_string(heap.growth()));
    RecordProperty("play_seconds", std::to_string(scq));
}

// The MIDI export renders twice where its signatures need a rendering of their own, which
// keeps almost nothing and so never fills up: it too must end.
TEST_P(Crafted, ConvertsToMidi) {
    const Bytes bytes = crafted::BuildFull(*GetParam().family, GetParam().compressed);
    TempFile file(bytes, "scqcrafted");
    ASSERT_TRUE(file.ok());
    SongFileInfo info;
    std::unique_ptr<Song> song = LoadSongFile(file.path().c_str(), info);
    ASSERT_TRUE(song);
    std::vector<uint8_t> out;
    const MidiWriteResult result = WriteMidi(*song, out);
    if (song->staffCount() > kMaxMidiStaffs) {
        EXPECT_FALSE(result.written());
    } else {
        EXPECT_TRUE(result.written());
        EXPECT_GT(out.size(), 14u);
    }
}

// The MusicXML export walks every item once, whatever the song's repeats and jumps: it ends,
// with every part.
TEST_P(Crafted, ConvertsToMusicXml) {
    const Bytes bytes = crafted::BuildFull(*GetParam().family, GetParam().compressed);
    SongFileInfo info;
    LoadOptions options;
    options.maxItems = kDefaultMaxItems;  // as scqconvert loads
    std::unique_ptr<Song> song = LoadSongFromMemory(bytes.data(), bytes.size(), info, nullptr, options);
    ASSERT_TRUE(song);
    std::string xml;
    const MusicXmlWriteResult result = WriteMusicXml(*song, xml);
    EXPECT_EQ(result.parts, song->staffCount());
    EXPECT_TRUE(xml.ends_with("</score-partwise>\n"));
}

#ifdef SCQ_CRAFTED_HAVE_DUMP
// The event lists of scqdump: the same renders, written out as they are read.
TEST_P(Crafted, DumpsItsEvents) {
    const Bytes bytes = crafted::BuildFull(*GetParam().family, GetParam().compressed);
    TempFile file(bytes, "scqcrafted");
    ASSERT_TRUE(file.ok());
    std::FILE* sink = std::fopen("/dev/null", "w");
    ASSERT_NE(sink, nullptr);
    dump::Options options;
    options.events = true;
    EXPECT_TRUE(dump::DumpFile(file.path().c_str(), options, sink));
    EXPECT_EQ(std::ferror(sink), 0);
    std::fclose(sink);
}
#endif

INSTANTIATE_TEST_SUITE_P(Families, Crafted, testing::ValuesIn(AllCases()), CaseName);

// Every family has an expectation, and every expectation a family.
TEST(CraftedFamilies, EachHasItsExpectation) {
    for (const crafted::Family& family : crafted::Families()) {
        EXPECT_NE(ExpectedFor(family.name), nullptr) << family.name;
    }
    for (const Expected& e : kExpected) {
        EXPECT_NE(crafted::FindFamily(e.family), nullptr) << e.family;
    }
}

}  // namespace
}  // namespace scq::test
