// The audit step of a key signature.

#include "items/Signatures.h"
#include "perform/PlayState.h"

namespace scq {

void KeySignatureItem::auditStep(PlayState&, Staff&, int) {}

}  // namespace scq
