#pragma once

namespace scq {

class EventSequence;
class Song;

// Which rendering a play time measures.
enum class PlayTimeVariant {
    Smf = 0,  // the Standard MIDI File rendering: pauses of breath marks and fermatas left out
    Scq = 1,  // the song's own playback rules: pauses counted
};

// Renders the song into the sequence (made with growBy 16) as the play time measures it: 16
// pages, the variant's kind filter (time and key signatures always dropped, pauses dropped for
// the SMF rendering), the audit of staffs that need one.
void RenderForPlayTime(Song& song, PlayTimeVariant variant, EventSequence& sequence);

// The play time of a song in whole seconds (milliseconds rounded, halves up).
unsigned PlayTimeSeconds(Song& song, PlayTimeVariant variant);

}  // namespace scq
