#pragma once

// Songs for the tests of the file export: every revision, the flow structures, and the cases a
// Standard MIDI File has to get right (muted staffs, grace notes and ties, ramps and sweeps,
// staffs that share a channel, other output devices, signature changes, an empty song and one
// whose performance fills the event sequence).

#include <string>
#include <vector>

#include "support/SongBuilder.h"

namespace scq::test {

struct NamedSong {
    std::string name;  // unique, usable as a file name
    SongSpec song;
};

// The set. The song that fills the event sequence ("fills-sequence") renders over a million
// events; `withFull` false leaves it out.
std::vector<NamedSong> ExportSongs(bool withFull = true);

// The song that fills the event sequence: a local repeat of 140 chords of 16 notes, 255 times.
SongSpec FillingSong();

}  // namespace scq::test
