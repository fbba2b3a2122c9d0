#include "items/DurationItems.h"
#include "perform/PlayState.h"
#include "staff/AuditSteps.h"

// The audit steps of notes, rests, chords and rest chords: slurs and ties.
namespace scq {

void NoteItem::auditStep(PlayState& state, Staff&, int) {
    if (!hasAttribute(kChordMember)) slurStep(*this, state);
    tieStep(*this, state);
}

void RestItem::auditStep(PlayState& state, Staff&, int) {
    slurStep(*this, state);
}

void ChordItem::auditStep(PlayState& state, Staff& staff, int index) {
    slurStep(*this, state);
    if (members.empty()) return;
    // Members carry Chord Mem, so each takes only the tie step.
    for (auto& m : members) m->auditStep(state, staff, index);
    refreshMembers();
}

void RestChordItem::auditStep(PlayState& state, Staff& staff, int index) {
    slurStep(*this, state);
    if (attachedChord == nullptr) return;
    attachedChord->auditStep(state, staff, index);
    attachedChordTieFix(*attachedChord);
}

}  // namespace scq
