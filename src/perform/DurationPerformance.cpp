#include <algorithm>

#include "items/DurationItems.h"
#include "perform/EventSequence.h"
#include "perform/PerformRules.h"
#include "perform/PlayState.h"

// What notes, rests, chords and rest chords add to a performance and change in the running
// staff state.
namespace scq {

using perform::Articulation;

namespace {

// How long a note sounds, from its written length (after grace notes took their share).
int64_t soundingLength(const NoteItem& note, const PlayState& state, int64_t length) {
    const bool staccato = note.hasAttribute(DurationItem::kStaccato);
    if (note.hasAttribute(DurationItem::kSlurOut)) {
        return staccato ? perform::articulatedLength(length, Articulation::SlurredStaccato)
                        : length;
    }
    if (staccato) return perform::articulatedLength(length, Articulation::Staccato);
    if (note.hasAttribute(DurationItem::kTenuto)) return length;
    switch (state.performanceStyle) {
        case perform::kStyleLegato:
        case perform::kStyleTenuto:
            return length;
        case perform::kStyleStaccato:
            return perform::articulatedLength(length, Articulation::Staccato);
        default:
            return perform::articulatedLength(length, Articulation::Normal);
    }
}

// The time a duration item takes on the staff, after its own state change: the velocity ramp
// moves on, the time advances, grace notes are counted and the slur state follows the item.
// Chord members and attached chords leave this to their owner.
void advanceTime(const DurationItem& item, PlayState& state) {
    if (item.hasAttribute(DurationItem::kChordMember) ||
        item.hasAttribute(DurationItem::kAttached)) {
        return;
    }
    const int64_t d = item.durationTicks();
    if (state.rampRemaining != 0) perform::velocityRampStep(state, d);
    state.time = perform::wrapTicks(int64_t{state.time} + d);
    if (item.hasAttribute(DurationItem::kGrace)) {
        state.graceCount = (state.graceCount + 1u) & 0xFu;
    } else {
        state.graceCount = 0;
    }
    if (item.hasAttribute(DurationItem::kSlurOut)) {
        state.slurState = item.slurDirection == 1 ? 3u : 1u;
    } else if (item.hasAttribute(DurationItem::kSlurIn)) {
        state.slurState = 0;
    }
}

}  // namespace

void NoteItem::contributeToPerformance(PlayState& state, EventSequence& sequence) {
    int velocity = static_cast<int>(state.velocity);
    if (hasAttribute(kAccented)) velocity = std::min(velocity * 7 / 5, 127);
    const int pitch = perform::notePitch(state, staffPosition, static_cast<int>(accidental));
    int64_t start = state.time;
    int64_t length = durationTicks();
    const int64_t graceShare = int64_t{perform::kGraceTicks} * state.graceCount;
    if (hasAttribute(kGrace)) {
        start += graceShare;
        length = perform::kGraceTicks;
    } else if (graceShare != 0 && graceShare < length) {
        start += graceShare;
        length -= graceShare;
    }
    if (!hasAttribute(kTieIn) && !muted) {
        sequence.add(perform::channelEvent(state, perform::wrapTicks(start), SequenceEvent::NoteOn,
                                           pitch, velocity));
    }
    if (hasAttribute(kTieOut) || muted) return;
    const int64_t end = start + soundingLength(*this, state, length);
    sequence.add(
        perform::channelEvent(state, perform::wrapTicks(end), SequenceEvent::NoteOn, pitch, 0));
}

void NoteItem::applyToStaffState(PlayState& state) {
    perform::rememberAccidental(state, perform::noteLetter(state.clef, staffPosition),
                                static_cast<int>(accidental));
    if (hasAttribute(kTieIn)) {
        const bool inBoth =
            state.tieSetA.contains(staffPosition) && state.tieSetB.contains(staffPosition);
        if (!(inBoth && hasAttribute(kTieOut))) {
            state.tieSetA.remove(staffPosition);
            state.tieSetB.remove(staffPosition);
        }
    }
    if (hasAttribute(kTieOut)) {
        if (tieDirection == 1) {
            state.tieSetB.add(staffPosition);
        } else {
            state.tieSetA.add(staffPosition);
        }
    }
    advanceTime(*this, state);
}

void RestItem::applyToStaffState(PlayState& state) {
    advanceTime(*this, state);
}

void ChordItem::applyToStaffState(PlayState& state) {
    for (const std::unique_ptr<NoteItem>& m : members) m->applyToStaffState(state);
    advanceTime(*this, state);
}

void ChordItem::contributeToPerformance(PlayState& state, EventSequence& sequence) {
    if (muted) return;
    for (const std::unique_ptr<NoteItem>& m : members) m->contributeToPerformance(state, sequence);
}

void RestChordItem::applyToStaffState(PlayState& state) {
    if (attachedChord) {
        NoteItem& chord = *attachedChord;
        chord.applyToStaffState(state);
        if (!chord.hasAttribute(kExplicitTieDirection)) {
            const unsigned direction = chord.stemSign() < 0 ? 1u : 0u;
            for (int i = 0; i < chord.memberCount(); ++i) {
                NoteItem* m = chord.member(i);
                if (m && m->hasAttribute(kTieOut) && !m->hasAttribute(kTieIn)) {
                    m->tieDirection = direction;
                }
            }
        }
    }
    advanceTime(*this, state);
}

void RestChordItem::contributeToPerformance(PlayState& state, EventSequence& sequence) {
    if (attachedChord) attachedChord->contributeToPerformance(state, sequence);
}

}  // namespace scq
