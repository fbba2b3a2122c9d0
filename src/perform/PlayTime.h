#pragma once

#include <cstdint>

namespace scq {

class EventSequence;
class PerformanceBuilder;
class Song;

// Which rendering a play time measures.
enum class PlayTimeVariant {
    Smf = 0,  // the Standard MIDI File rendering: pauses of breath marks and fermatas left out
    Scq = 1,  // the song's own playback rules: pauses counted
};

// The kind filter of a variant's rendering: time and key signatures always dropped, pauses
// dropped for the SMF rendering.
unsigned PlayTimeKindFilter(PlayTimeVariant variant);

// The filter of a rendering that keeps only the time and key signatures.
constexpr unsigned kSignaturesOnlyFilter = 0xFFFFu & ~(1u << 2 | 1u << 3);

// Renders the song into the sequence (made with growBy 16) as the play time does: 16 pages, the
// given kind filter, the audit of staffs that need one. Two renderings of one song differ only
// in what their filters drop.
void RenderWithFilter(Song& song, unsigned kindFilter, EventSequence& sequence);
// The same with the caller's builder, whose players still tell afterwards where each staff's
// walk stopped.
void RenderWithFilter(Song& song, unsigned kindFilter, EventSequence& sequence,
                      PerformanceBuilder& builder);

// RenderWithFilter with the variant's filter: the rendering the play time measures.
void RenderForPlayTime(Song& song, PlayTimeVariant variant, EventSequence& sequence);

// True when a rendering of the same song with `kindFilter` stores exactly the events that
// `rendered` holds: the two filters differ only in kinds that the rendering never offered (a
// song without breath marks or fermatas gives both variants the same performance).
bool SameRendering(const EventSequence& rendered, unsigned kindFilter);

// The play time of a song in whole seconds (milliseconds rounded, halves up).
unsigned PlayTimeSeconds(Song& song, PlayTimeVariant variant);

// Both play times, in milliseconds as the sequence measures them. The SMF rendering is made
// only where it can differ from the song's own.
struct PlayTimes {
    uint32_t scqMilliseconds = 0;
    uint32_t smfMilliseconds = 0;
};
PlayTimes BothPlayTimes(Song& song);

// Milliseconds to whole seconds as the report gives them: rounded, halves up, in 32-bit
// arithmetic as the elapsed time itself is kept.
constexpr unsigned WholeSeconds(uint32_t milliseconds) {
    return static_cast<uint32_t>(milliseconds + 500u) / 1000u;
}

}  // namespace scq
