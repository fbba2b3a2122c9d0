// A program outside the project that uses the installed library through its public header
// only, built as C++17: open a song, read it, compute its play times, write its MIDI file.
#include <cstdint>
#include <cstdio>
#include <vector>

#include <scq/scq.h>

static_assert(__cplusplus < 202002L, "the public header must not need C++20");
static_assert(SCQ_VERSION_MAJOR == 1 && SCQ_VERSION_MINOR == 75, "version macros");

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    scq::SongFile song = scq::SongFile::open(argv[1]);
    if (!song) return 1;
    std::vector<std::uint8_t> midi;
    const scq::MidiResult written = song.toMidi(midi);
    const bool header = midi.size() > 14 && midi[0] == 'M' && midi[1] == 'T';
    std::printf("%s|%d|%d|%u|%d|%s|%s\n", song.title().c_str(), song.staffCount(),
                song.result().status, song.playTimes().scqSeconds(), written.tracks,
                header ? "MThd" : "-", scq::Version());
    return 0;
}
