#pragma once

// Songs for the tests of the MusicXML export, and the notes each staff must show.

#include <cstdint>
#include <tuple>
#include <vector>

#include "support/ExportSongs.h"

namespace scq {
class Staff;
}

namespace scq::test {

// Notation cases: clefs with their shifts, every key, carried and cancelled accidentals, a
// pickup, triplets, dots, ties across a bar line, grace notes, chords of mixed lengths, rest
// chords, beams, every bar line style, endings, flow directions, marks, hidden items, staffs of
// unequal length and texts that XML cannot hold as they are.
SongSpec NotationCases();

// The generated set: the notation cases, a song without staffs, a rich song of every revision,
// the flow songs and the export songs (without the one that fills the event sequence).
std::vector<NamedSong> MusicXmlSongs();

using NoteRow = std::tuple<int64_t, int, int64_t>;  // onset, MIDI number, duration

// The staff's notes walked in item order, with the pitch the performance gives them before the
// staff's transposition; sorted.
std::vector<NoteRow> StaffNotes(const Staff& staff);

}  // namespace scq::test
