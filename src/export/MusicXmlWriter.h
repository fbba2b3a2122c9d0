#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace scq {

class Song;

// The notation of a song as a MusicXML 4.0 `score-partwise` document, UTF-8.
//
// The header holds the title, the author as composer, both copyright lines, the comments and
// the encoding software and date. Every staff is a part, in staff order, named after the staff,
// with its channel, starting instrument, volume and pan, and its transposition. A measure is
// what lies between two bar lines of the staff: its onsets, counted from the part's start in
// divisions (192 to the quarter note, the song's own ticks), are the staff's times when its
// items are walked in order. Bar lines with nothing between them make one boundary. A short
// first bar of the first staff is an implicit measure (numbered 0) in every part; parts with
// fewer measures are padded at the end with measure rests.
//
// Notes carry the pitch the performance gives them before the staff's transposition, spelled
// as written (letter from the staff position and clef, alteration from the note's accidental
// or the accidentals in force in the bar); a pitch that would fall below octave 0 is written an
// octave higher. Written with them: type, dots, shown accidentals, chords (members of another
// length than the chord's, or of the other stem in a chord of split stems, in a voice of their
// own), rest chords (the chord in voice 2), triplets, grace notes, ties, slurs, beams, stems,
// accents, staccato and tenuto, fermatas (on the next note) and breath marks (on the note
// before), hidden items as not printed (a hidden mark as its sound alone), highlight colours
// on notes and marks, and muted notes and the notes of
// muted staffs as silent. Clefs, key signatures (non-standard sets as altered steps) and time
// signatures become attributes; bar line styles, repeats and endings (a default ending numbered
// with the first pass of its repeat that no other ending takes) become bar lines; flow
// directions, tempo marks, dynamics, wedges (where the audit gave the ramp an end), other
// variations and styles (as words), texts, pedal marks and instrument changes become
// directions and sounds. Staffs of one group next to each other form a bracketed part group,
// an upper and lower grand staff a brace.
//
// Controller sweeps, lyrics and page options are not written.
struct MusicXmlOptions {
    // The encoding date, YYYY-MM-DD; empty: today's date (UTC).
    std::string encodingDate;
};

struct MusicXmlWriteResult {
    int parts = 0;
    int measures = 0;  // per part (every part has as many)
    int notes = 0;     // note elements written, rests and padding included
    bool written = true;  // false when the sink refused a piece (the rest was not written)
};

// Takes the document piece by piece, in order; returns false when it cannot (a failed write),
// and is then called no more.
using MusicXmlSink = std::function<bool(std::string_view)>;

// Writes the document into `out`, replacing what it held. The song is audited first where a
// staff needs it, as before a performance.
MusicXmlWriteResult WriteMusicXml(Song& song, std::string& out, const MusicXmlOptions& options = {});
// The same document handed to `sink` as it is made, so that it is never held whole: the memory
// it takes beyond the song is that of the largest measure.
MusicXmlWriteResult WriteMusicXml(Song& song, const MusicXmlSink& sink,
                                  const MusicXmlOptions& options = {});

}  // namespace scq
