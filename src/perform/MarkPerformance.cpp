// What the signatures and performance marks contribute to a performance and how they change
// the running staff state.

#include "items/PerformanceMarks.h"
#include "items/Signatures.h"
#include "items/TextAndPedal.h"
#include "perform/PlayState.h"

namespace scq {

// ---- staff state ----

void ClefItem::applyToStaffState(PlayState&) {}

void KeySignatureItem::applyToStaffState(PlayState&) {}

void TimeSignatureItem::applyToStaffState(PlayState&) {}

void DynamicItem::applyToStaffState(PlayState&) {}

void DynamicVariationItem::applyToStaffState(PlayState&) {}

void PerformanceStyleItem::applyToStaffState(PlayState&) {}

// ---- events ----

void KeySignatureItem::contributeToPerformance(PlayState&, EventSequence&) {}

void InstrumentItem::contributeToPerformance(PlayState&, EventSequence&) {}

void TimeSignatureItem::contributeToPerformance(PlayState&, EventSequence&) {}

void TempoItem::contributeToPerformance(PlayState&, EventSequence&) {}

void DynamicItem::contributeToPerformance(PlayState&, EventSequence&) {}

void PedalItem::contributeToPerformance(PlayState&, EventSequence&) {}

void ControllerItem::contributeToPerformance(PlayState&, EventSequence&) {}

void TempoVariationItem::contributeToPerformance(PlayState&, EventSequence&) {}

void DynamicVariationItem::contributeToPerformance(PlayState&, EventSequence&) {}

}  // namespace scq
