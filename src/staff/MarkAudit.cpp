// The audit step of a key signature.

#include "items/Signatures.h"
#include "perform/PlayState.h"
#include "staff/AuditSteps.h"

namespace scq {

void KeySignatureItem::auditStep(PlayState& state, Staff&, int) {
    keySignatureStep(*this, state);
}

}  // namespace scq
