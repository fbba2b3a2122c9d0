#include "items/BarsAndFlow.h"
#include "perform/PlayState.h"
#include "song/Staff.h"

// How bar lines, endings and flow directions steer a walk through a staff.
namespace scq {

void BarLineItem::applyToStaffState(PlayState&) {}
int BarLineItem::nextPlayIndex(PlayState&, Staff&, int index) {
    return index + 1;
}

void EndingItem::applyToStaffState(PlayState&) {}
int EndingItem::nextPlayIndex(PlayState&, Staff&, int index) {
    return index + 1;
}

void FlowDirectionItem::applyToStaffState(PlayState&) {}
int FlowDirectionItem::nextPlayIndex(PlayState&, Staff&, int index) {
    return index + 1;
}

}  // namespace scq
