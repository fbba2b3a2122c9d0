// Writes the songs of the export tests and, beside each, what its Standard MIDI File must hold,
// worked out from the song's SMF rendering alone (the file writer is not used):
//
//     midi_cases DIR [SONG...]
//
// DIR/NAME.scq for every song of ExportSongs() and a copy of every SONG given
// (DIR/example-STEM.scq), and DIR/NAME.json with: the texts (as byte values), the staff count,
// the SMF play time in milliseconds, the end tick, the tempo changes up to it, the time and key
// signatures, and every staff's channel messages as [tick, status, data...] in rendering order.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "load/Repair.h"
#include "perform/EventSequence.h"
#include "perform/PlayTime.h"
#include "song/Song.h"
#include "song/SongFile.h"
#include "support/ExportCases.h"
#include "support/ExportSongs.h"

namespace fs = std::filesystem;
using namespace scq;

namespace {

class JsonOut {
public:
    explicit JsonOut(std::FILE* f) : f_(f) {}
    void raw(const char* text) { std::fputs(text, f_); }
    void number(long long v) { std::fprintf(f_, "%lld", v); }
    template <size_t N>
    void bytes(const char (&field)[N]) {
        raw("[");
        for (size_t i = 0; i < N && field[i] != 0; ++i) {
            if (i) raw(",");
            number(static_cast<unsigned char>(field[i]));
        }
        raw("]");
    }
    void list(const std::vector<long long>& values) {
        raw("[");
        for (size_t i = 0; i < values.size(); ++i) {
            if (i) raw(",");
            number(values[i]);
        }
        raw("]");
    }

private:
    std::FILE* f_;
};

bool WriteExpectation(Song& song, const fs::path& path) {
    EventSequence smf(16);
    RenderForPlayTime(song, PlayTimeVariant::Smf, smf);
    const int staffs = song.staffCount();
    int32_t end = 0;
    smf.forEach([&](const SequenceEvent& e) {
        if (e.kind() != TempoEvent) end = e.time;
    });
    end = std::max(end, int32_t{0});

    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    JsonOut out(f);
    out.raw("{\"title\":");
    out.bytes(song.title);
    out.raw(",\"copyright1\":");
    out.bytes(song.copyright1);
    out.raw(",\"copyright2\":");
    out.bytes(song.copyright2);
    out.raw(",\"staffs\":");
    out.number(staffs);
    out.raw(",\"milliseconds\":");
    out.number(smf.ElapsedMilliseconds());
    out.raw(",\"endTick\":");
    out.number(end);
    out.raw(",\"full\":");
    out.number(smf.isFull() ? 1 : 0);

    out.raw(",\"tempos\":[");
    bool first = true;
    smf.forEach([&](const SequenceEvent& e) {
        if (e.kind() != TempoEvent || e.time > end) return;
        if (!first) out.raw(",");
        first = false;
        out.list({std::max(e.time, 0), e.tempoValue()});
    });
    out.raw("]");

    // Time signatures as [tick, beats, code], key signatures as [tick, key, mode], each left out
    // where it repeats the one in force.
    EventSequence signatures(16);
    RenderWithFilter(song, kSignaturesOnlyFilter, signatures);
    std::vector<long long> lastTime, lastKey;
    std::string times = "[", keys = "[";
    signatures.forEach([&](const SequenceEvent& e) {
        if (e.time > end) return;
        auto put = [&](std::string& to, std::vector<long long>& last, std::vector<long long> v) {
            if (!last.empty() && std::equal(last.begin() + 1, last.end(), v.begin() + 1)) return;
            last = v;
            to += to.size() > 1 ? ",[" : "[";
            for (size_t i = 0; i < v.size(); ++i) to += (i ? "," : "") + std::to_string(v[i]);
            to += "]";
        };
        if (e.kind() == TimeSignatureEvent) {
            put(times, lastTime, {e.time, e.beatsPerBar(), e.beatValueCode()});
        } else if (e.kind() == KeySignatureEvent) {
            put(keys, lastKey, {e.time, e.key(), e.modeFlag()});
        }
    });
    out.raw(",\"timeSignatures\":");
    out.raw((times + "]").c_str());
    out.raw(",\"keySignatures\":");
    out.raw((keys + "]").c_str());

    std::vector<std::vector<std::vector<long long>>> tracks(static_cast<size_t>(staffs));
    smf.forEachWithOrigin([&](const SequenceEvent& e, int origin) {
        if (e.kind() != ChannelMessage) return;
        std::vector<long long> m = {std::max(e.time, 0), e.byteA, e.byteB};
        const int type = e.byteA & 0xF0;
        if (type != 0xC0 && type != 0xD0) m.push_back(e.byteC);
        tracks.at(static_cast<size_t>(origin)).push_back(std::move(m));
    });
    out.raw(",\"tracks\":[");
    for (int i = 0; i < staffs; ++i) {
        if (i) out.raw(",");
        const Staff& staff = *song.staffAt(i);
        out.raw("{\"name\":");
        out.bytes(staff.staffName);
        out.raw(",\"device\":");
        out.number(staff.device & 7);
        out.raw(",\"messages\":[");
        const auto& messages = tracks[static_cast<size_t>(i)];
        for (size_t k = 0; k < messages.size(); ++k) {
            if (k) out.raw(",");
            out.list(messages[k]);
        }
        out.raw("]}");
    }
    out.raw("]}\n");
    return std::fclose(f) == 0;
}

bool Expect(const fs::path& song) {
    SongFileInfo info;
    std::unique_ptr<Song> loaded = LoadSongWithRepair(song.c_str(), info);
    if (!loaded || !WriteExpectation(*loaded, fs::path(song).replace_extension(".json"))) {
        std::fprintf(stderr, "midi_cases: cannot make the expectation of %s\n", song.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    return test::WriteExportCases("midi_cases", argc, argv, test::ExportSongs(), Expect);
}
