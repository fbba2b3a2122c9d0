#pragma once

// Ready-made songs for the hostile-input tests, the fuzz seed corpus and the benchmarks: songs
// that use every item kind, every flow structure, chords and lyrics, and large generated songs.

#include <vector>

#include "support/SongBuilder.h"

namespace scq::test {

// One item of each of the nineteen kinds, in type-code order, with non-default fields where a
// kind has any worth setting (controller points, ramp kinds, an attached chord, ...).
std::vector<Item> EveryKindItems();

// Three staffs (two of them a group) holding every kind, lyrics, chords, a rest chord, a local
// repeat, a master repeat with two endings and a D.S. al Coda with its Segno, To Coda and Coda.
// Written in the layout of the given revision (0..16).
SongSpec RichSong(int revision = 16);

// The flow structures of a performance, one song each: local repeats (counted and nested),
// master repeats with endings, D.C. al Fine, D.C. al Coda, D.S. al Fine, D.S. al Coda, and a
// jump to a missing target.
std::vector<SongSpec> FlowSongs(int revision = 16);

// A large song: `staffs` staffs of `itemsPerStaff` stored items each (the two bar lines that
// the reader adds not counted), in bars of 4/4 that cycle through notes, chords, rests,
// dynamics and tempo changes. Every staff plays the same number of beats.
SongSpec LargeSong(int staffs, int itemsPerStaff);

// The bytes of LargeSong(staffs, itemsPerStaff), built one staff at a time so that the
// descriptions of all staffs never exist together.
Bytes BuildLargeSong(int staffs, int itemsPerStaff);

// A small compressed file that makes a load take a great deal of memory: `staffs` staffs of
// `itemsPerStaff` empty texts, each text the five-byte record of revision 9 (type code, layout
// word, empty string). The defaults, 255 staffs of 32765 texts (the most a staff record can
// count), give 8.4 million items from about 40 KB of file.
Bytes BuildMemoryBomb(int staffs = 255, int itemsPerStaff = 32765);

// The n-th of a family of small songs of about `approxBytes` bytes (each has its own title).
SongSpec SmallSong(int n, int approxBytes = 2048);

}  // namespace scq::test
