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
#include "support/ExportCases.h"
#include "support/MusicXmlSongs.h"

namespace fs = std::filesystem;
using namespace scq;

namespace {

bool Expect(const fs::path& song) {
    SongFileInfo info;
    std::unique_ptr<Song> loaded = LoadSongWithRepair(song.c_str(), info, nullptr);
    std::FILE* f = loaded ? std::fopen(fs::path(song).replace_extension(".json").c_str(), "w")
                          : nullptr;
    if (!f) {
        std::fprintf(stderr, "musicxml_cases: cannot make the expectation of %s\n", song.c_str());
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
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    return test::WriteExportCases("musicxml_cases", argc, argv, test::MusicXmlSongs(), Expect);
}
