#include "items/DurationItems.h"
#include "perform/PlayState.h"

// What notes, rests, chords and rest chords add to a performance and change in the running
// staff state. To be filled by the performance work.
namespace scq {

void NoteItem::applyToStaffState(PlayState&) {}
void NoteItem::contributeToPerformance(PlayState&, EventSequence&) {}

void RestItem::applyToStaffState(PlayState&) {}

void ChordItem::applyToStaffState(PlayState&) {}
void ChordItem::contributeToPerformance(PlayState&, EventSequence&) {}

void RestChordItem::applyToStaffState(PlayState&) {}
void RestChordItem::contributeToPerformance(PlayState&, EventSequence&) {}

}  // namespace scq
