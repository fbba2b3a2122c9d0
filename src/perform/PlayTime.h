#pragma once

namespace scq {

class Song;

// Which rendering a play time measures.
enum class PlayTimeVariant {
    Smf = 0,  // the Standard MIDI File rendering: pauses of breath marks and fermatas left out
    Scq = 1,  // the song's own playback rules: pauses counted
};

// The play time of a song in whole seconds (milliseconds rounded, halves up).
unsigned PlayTimeSeconds(Song& song, PlayTimeVariant variant);

}  // namespace scq
