// Writes the songs of the MusicXML tests and, beside each, the notes its score must show,
// worked out from the song itself (the writer is not used):
//
//     musicxml_cases DIR [SONG...]
//
// DIR/NAME.scq for every song of MusicXmlSongs() and a copy of every SONG given
// (DIR/example-STEM.scq), and DIR/NAME.json: {"staffs": [[MIDI number, ...], ...]}, each
// staff's note pitches (before its transposition) in ascending order.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "load/Repair.h"
#include "song/Song.h"
#include "song/SongFile.h"
#include "support/MusicXmlSongs.h"

namespace fs = std::filesystem;
using namespace scq;

namespace {

bool Expect(const fs::path& song, int& failures) {
    SongFileInfo info;
    std::unique_ptr<Song> loaded = LoadSongWithRepair(song.c_str(), info, nullptr);
    std::FILE* f = loaded ? std::fopen(fs::path(song).replace_extension(".json").c_str(), "w")
                          : nullptr;
    if (!f) {
        std::fprintf(stderr, "musicxml_cases: cannot make the expectation of %s\n", song.c_str());
        ++failures;
        return false;
    }
    std::string json = "{\"staffs\":[";
    for (int i = 0; i < loaded->staffCount(); ++i) {
        json += i ? ",[" : "[";
        std::vector<int> pitches;
        for (const test::NoteRow& n : test::StaffNotes(*loaded->staffAt(i))) {
            pitches.push_back(std::get<1>(n));
        }
        std::sort(pitches.begin(), pitches.end());
        for (size_t k = 0; k < pitches.size(); ++k) {
            json += (k ? "," : "") + std::to_string(pitches[k]);
        }
        json += "]";
    }
    json += "]}\n";
    const bool written = std::fputs(json.c_str(), f) >= 0;
    if (std::fclose(f) != 0 || !written) {
        std::fprintf(stderr, "musicxml_cases: cannot write the expectation of %s\n", song.c_str());
        ++failures;
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: musicxml_cases DIR [SONG...]\n");
        return 2;
    }
    InitSongDefaults();
    const fs::path dir = argv[1];
    std::error_code ec;
    fs::create_directories(dir, ec);
    int failures = 0;
    for (const test::NamedSong& s : test::MusicXmlSongs()) {
        const fs::path path = dir / (s.name + ".scq");
        if (!test::WriteFile(path.string(), test::BuildSong(s.song))) {
            std::fprintf(stderr, "musicxml_cases: cannot write %s\n", path.c_str());
            ++failures;
            continue;
        }
        Expect(path, failures);
    }
    for (int i = 2; i < argc; ++i) {
        const fs::path path = dir / ("example-" + fs::path(argv[i]).stem().string() + ".scq");
        fs::copy_file(argv[i], path, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            std::fprintf(stderr, "musicxml_cases: cannot copy %s\n", argv[i]);
            ++failures;
            continue;
        }
        Expect(path, failures);
    }
    return failures == 0 ? 0 : 1;
}
