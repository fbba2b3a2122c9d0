#include "items/DurationItems.h"
#include "perform/PlayState.h"

// The audit steps of notes, rests, chords and rest chords: slurs and ties. To be filled by
// the audit work.
namespace scq {

void NoteItem::auditStep(PlayState&, Staff&, int) {}
void RestItem::auditStep(PlayState&, Staff&, int) {}
void ChordItem::auditStep(PlayState&, Staff&, int) {}
void RestChordItem::auditStep(PlayState&, Staff&, int) {}

}  // namespace scq
