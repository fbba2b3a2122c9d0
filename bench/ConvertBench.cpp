// Converting the large benchmark song (64 staffs of 12000 items, as LoadBench loads it) to a
// Standard MIDI File, against one play time computation of the same song. The target: the
// conversion costs at most 1.5 times the play time. Its parts: the SMF rendering (the play
// time's rendering), the rendering that keeps only time and key signatures, and writing the
// file from the two.
//
// Exporting the same song's notation as MusicXML, against loading it: the target is that the
// export takes at most as long as the load and audit from memory.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "export/MidiWriter.h"
#include "export/MusicXmlWriter.h"
#include "perform/EventSequence.h"
#include "perform/PlayTime.h"
#include "song/Song.h"
#include "song/SongFile.h"
#include "stream/MemoryStream.h"
#include "support/RichSongs.h"

namespace {

using namespace scq;

constexpr int kStaffs = 64;
constexpr int kItemsPerStaff = 12000;

const test::Bytes& LargeBytes() {
    static const test::Bytes bytes = [] {
        InitSongDefaults();
        return test::BuildLargeSong(kStaffs, kItemsPerStaff);
    }();
    return bytes;
}

Song& Large() {
    static const std::unique_ptr<Song> song = [] {
        const test::Bytes& bytes = LargeBytes();
        MemoryStream stream(bytes.data(), bytes.size());
        SongFileInfo info;
        return LoadSongFromStream(stream, info);
    }();
    return *song;
}

void BM_SmfPlayTime(benchmark::State& state) {
    Song& song = Large();
    for (auto _ : state) {
        benchmark::DoNotOptimize(PlayTimeSeconds(song, PlayTimeVariant::Smf));
    }
}
BENCHMARK(BM_SmfPlayTime)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ConvertToMidi(benchmark::State& state) {
    Song& song = Large();
    std::vector<uint8_t> bytes;
    MidiWriteResult result;
    for (auto _ : state) {
        result = WriteMidi(song, bytes);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["file_MB"] = static_cast<double>(bytes.size()) / 1e6;
    state.counters["channel_messages"] = static_cast<double>(result.channelMessages);
}
BENCHMARK(BM_ConvertToMidi)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_SignaturesRendering(benchmark::State& state) {
    Song& song = Large();
    for (auto _ : state) {
        EventSequence signatures(16);
        RenderWithFilter(song, kSignaturesOnlyFilter, signatures);
        benchmark::DoNotOptimize(signatures.size());
    }
}
BENCHMARK(BM_SignaturesRendering)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_WriteFromRenderings(benchmark::State& state) {
    Song& song = Large();
    EventSequence smf(16);
    RenderForPlayTime(song, PlayTimeVariant::Smf, smf);
    EventSequence signatures(16);
    RenderWithFilter(song, kSignaturesOnlyFilter, signatures);
    std::vector<uint8_t> bytes;
    for (auto _ : state) {
        WriteMidiFromRenderings(song, smf, signatures, bytes);
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_WriteFromRenderings)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The reference of the MusicXML export: loading and auditing the song from memory (as
// LoadBench's BM_LoadAndAuditFromMemory), destroying it left out.
void BM_LoadFromMemory(benchmark::State& state) {
    const test::Bytes& bytes = LargeBytes();
    for (auto _ : state) {
        MemoryStream stream(bytes.data(), bytes.size());
        SongFileInfo info;
        std::unique_ptr<Song> song = LoadSongFromStream(stream, info);
        if (!song) state.SkipWithError("the large song did not load");
        benchmark::DoNotOptimize(song.get());
        state.PauseTiming();
        song.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LoadFromMemory)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ConvertToMusicXml(benchmark::State& state) {
    Song& song = Large();
    std::string text;
    MusicXmlWriteResult result;
    MusicXmlOptions options;
    options.encodingDate = "2026-01-01";
    for (auto _ : state) {
        result = WriteMusicXml(song, text, options);
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["file_MB"] = static_cast<double>(text.size()) / 1e6;
    state.counters["notes"] = static_cast<double>(result.notes);
}
BENCHMARK(BM_ConvertToMusicXml)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
