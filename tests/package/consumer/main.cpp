// A program outside the project that uses the installed internal headers (advanced use, static
// library only): load a song file, read the song, compute a play time, write the Standard MIDI
// File. Its project asks for no C++ standard; scq::internal carries the C++20 that the headers
// (the event sequence's defaulted comparison) need.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "export/MidiWriter.h"
#include "perform/EventSequence.h"
#include "perform/PlayTime.h"
#include "song/Song.h"
#include "song/SongFile.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    scq::InitSongDefaults();
    scq::SongFileInfo info;
    std::unique_ptr<scq::Song> song = scq::LoadSongFile(argv[1], info);
    if (!song) return 1;
    unsigned seconds = scq::PlayTimeSeconds(*song, scq::PlayTimeVariant::Scq);
    std::vector<uint8_t> midi;
    const scq::MidiWriteResult written = scq::WriteMidi(*song, midi);
    const bool header = midi.size() > 14 && midi[0] == 'M' && midi[1] == 'T';
    std::printf("%s|%d|%d|%u|%d|%s\n", song->title, song->staffCount(),
                static_cast<int>(info.status), seconds, written.tracks, header ? "MThd" : "-");
    return 0;
}
