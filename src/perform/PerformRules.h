#pragma once

#include <cstdint>

#include "items/InstrumentPatch.h"
#include "perform/EventSequence.h"
#include "perform/PlayState.h"
#include "perform/SequenceEvent.h"

// Pure rules of the performance, shared by the item kinds and the builder: the pitch of a note,
// how long a note sounds, the stepped ramps of tempo, volume and controllers, the velocity ramp
// and the controller numbers. None of them touches an event sequence.
namespace scq::perform {

// Accidental codes of a note.
enum Accidental : int {
    kSharp = 0,
    kFlat = 1,
    kNatural = 2,
    kDoubleSharp = 3,
    kDoubleFlat = 4,
    kNoAccidental = 5,
};

// Performance styles that change how long notes sound.
constexpr int kStyleLegato = 7;
constexpr int kStyleStaccato = 18;
constexpr int kStyleTenuto = 20;

constexpr int kResetVelocity = 110;
constexpr int kGraceTicks = 24;  // length of a grace note, and the delay per grace note before
constexpr int32_t kSliceTicks = 384;

// Base number of a clef (0 treble, 1 bass, 2 alto, 3 tenor).
int clefBase(unsigned clef);
// Octave term of a clef octave shift (1 up, 2 down; 0 and 3 none).
int octaveTerm(unsigned octaveShift);
// Letter (0 A ... 6 G) of a staff position under a clef: the floor remainder, so positions far
// below the staff still name a letter.
int noteLetter(unsigned clef, int staffPosition);
// Folds a MIDI note number into 0..127 by octaves.
int foldPitch(int64_t value);
// How a note is written: its letter (0 A ... 6 G), its alteration in semitones (-2..2, from its
// accidental or, without one, from the bar's accidentals) and its MIDI number, before the
// staff's transposition and before folding.
struct WrittenPitch {
    int letter = 0;
    int alter = 0;
    int64_t midi = 0;
};
WrittenPitch writtenPitch(const PlayState& state, int staffPosition, int accidental);
// The sounding MIDI note of a note at a staff position with an accidental code, in a state
// (clef, octave shift, bar accidentals, transposition).
int notePitch(const PlayState& state, int staffPosition, int accidental);
// Records a note's accidental in the bar memory of its letter.
void rememberAccidental(PlayState& state, int letter, int accidental);
// Every bar accidental back to the key signature, as at a bar line.
void resetBarAccidentals(PlayState& state);

// How a note's sounding length is cut from its written length.
enum class Articulation { Normal, Staccato, SlurredStaccato, Full };
// The sounding length of a note of n ticks.
int64_t articulatedLength(int64_t n, Articulation mode);

// A tempo event of `bpm` quarter notes per minute (below 4 counts as 4).
inline SequenceEvent tempoEvent(int32_t time, int64_t bpm) {
    return SequenceEvent::tempo(time, 60000000u / static_cast<uint32_t>(bpm < 4 ? 4 : bpm));
}

// One step of the velocity ramp over d ticks (the state's `rampRemaining` is not 0).
void velocityRampStep(PlayState& state, int64_t d);

// The control change number sent by a controller item (controllers other than 0 Tempo and
// 4 Pitch Bend); 0xFF for a number outside the table.
int controlChangeOf(int controller);

// Stores a 64-bit tick count into a 32-bit tick field, wrapping as two's complement.
constexpr int32_t wrapTicks(int64_t ticks) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(ticks)));
}

// A stepped ramp from one value towards another, spread over a span of ticks: step i is meant
// for time start + trunc(i * w), w = span / n in single precision, n = |to - from| / step. Steps
// whose time does not move past the last one are skipped, and the ramp ends at the first step
// that reaches start + span. The walk jumps over skipped steps arithmetically, so its work is
// bounded by the points it yields, however many steps the ramp counts.
struct RampPoint {
    int64_t time = 0;
    int64_t value = 0;
};

class Ramp {
public:
    // Steps run for i from 0 to n - 1, or to n when `includeLastStep`. A step of 0 or less, a
    // span of 0 or less, or equal values give an empty ramp.
    Ramp(int32_t from, int32_t to, int32_t step, int64_t span, int64_t start, bool includeLastStep);

    // The next point; false once the ramp has ended.
    bool next(RampPoint& point);

    // n, the number of steps the values take.
    int64_t stepCount() const { return steps_; }

private:
    int64_t from_ = 0;
    int64_t signedStep_ = 0;
    int64_t steps_ = 0;
    int64_t lastIndex_ = -1;  // largest i that may be played
    int64_t span_ = 0;
    int64_t start_ = 0;
    // w = mantissa_ / 2^shift_, exactly.
    uint64_t mantissa_ = 1;
    int shift_ = 0;
    int64_t index_ = 0;       // the last step looked at
    int64_t lastOffset_ = 0;  // ticks after start of the last point (0 before the first)
    bool done_ = true;
};

// A channel message on the state's channel and device. Data values keep their low 8 bits.
inline SequenceEvent channelEvent(const PlayState& state, int32_t time, int type, int data1,
                                  int data2) {
    return SequenceEvent::channelMessage(time, type, static_cast<int>(state.channel),
                                         static_cast<int>(state.device), data1, data2);
}

// The events of an instrument record at a time: bank select (controllers 0 and 32) when asked
// for, then the program change. Nothing when the record's patch is 0.
void addInstrumentEvents(EventSequence& sequence, const PlayState& state, int32_t time,
                         const InstrumentPatch& patch);

// Adds one event of a ramp. False when the sequence, being full, lost this very event: every
// later step of the ramp sorts after it and would be lost as well.
bool addRampEvent(EventSequence& sequence, const SequenceEvent& event);

// Plays a ramp into a sequence: `make(time, value)` builds the event of each point (of kind
// `kind`). Nothing is done when that kind is filtered out, and the ramp stops at the first
// event the full sequence loses.
template <class Make>
void addRamp(EventSequence& sequence, Ramp ramp, int kind, Make&& make) {
    if ((sequence.kindFilter() >> kind) & 1u) return;
    RampPoint p;
    while (ramp.next(p)) {
        if (!addRampEvent(sequence, make(wrapTicks(p.time), p.value))) return;
    }
}

}  // namespace scq::perform
