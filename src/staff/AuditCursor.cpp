#include "staff/AuditCursor.h"

#include <algorithm>

#include "items/BarsAndFlow.h"
#include "items/DurationItems.h"
#include "items/ItemKinds.h"
#include "items/PerformanceMarks.h"
#include "song/Staff.h"
#include "staff/Groups.h"

namespace scq {

AuditCursor::AuditCursor(Staff& staff) : staff_(&staff) {
    reset();
}

void AuditCursor::moveTo(int index) {
    index_ = index;
    item_ = staff_->itemAt(index);
    code_ = staff_->codeAt(index);
    timed_ = KindHasDuration(code_);
}

void AuditCursor::reset() {
    moveTo(0);
    lastBar = lastClef = lastKeySignature = lastTimeSignature = 0;
    lastDynamic = lastDynamicVariation = lastTempo = lastTempoRamp = 0;
    lastRest = lastDuration = previousDuration = 0;
    meterAtLastRest = 0;
    state.reset();
    state.walkMode = 1;
    endingSave = state;
    codaSave = state;
    for (auto& lane : groupOpen) lane[0] = lane[1] = false;
}

void AuditCursor::stepForward() {
    if (item_ == nullptr || onLastItem()) return;
    NotationItem& x = *item_;
    const int code = code_;
    const bool timed = timed_;

    if (timed) {
        const auto& d = static_cast<const DurationItem&>(x);
        const int lane = laneOf(d);
        for (int kind = DurationItem::kBeamGroup; kind <= DurationItem::kTripletGroup; ++kind) {
            if (!takesPart(&x, kind)) continue;
            const int p = groupPosition(d, kind);
            groupOpen[lane][kind] =
                p == DurationItem::kGroupFirst || p == DurationItem::kGroupMiddle;
        }
    } else if (code == kEndingItem) {
        // The ending taken on the first pass saves the state; the others start from it again.
        if (static_cast<const EndingItem&>(x).endings & 1u) {
            endingSave = state;
        } else {
            state = endingSave;
        }
    } else if (code == kFlowDirectionItem) {
        const int kind = static_cast<const FlowDirectionItem&>(x).flowKind;
        if (kind == kFlowCoda) {
            state = codaSave;
        } else if (kind == kFlowToCoda) {
            codaSave = state;
        }
    }

    VisitItemKind(x, code, [this](auto& k) {
        using K [[maybe_unused]] = KindOf<decltype(k)>;
        k.K::applyToStaffState(state);
    });

    if (timed) {
        previousDuration = lastDuration;
        lastDuration = index_;
    }
    switch (code) {
        case kBarLineItem:
            lastBar = index_;
            break;
        case kClefItem:
            lastClef = index_;
            break;
        case kKeySignatureItem:
            lastKeySignature = index_;
            break;
        case kTimeSignatureItem:
            lastTimeSignature = index_;
            break;
        case kDynamicItem:
            lastDynamic = index_;
            break;
        case kDynamicVariationItem:
            lastDynamicVariation = index_;
            break;
        case kTempoItem:
            lastTempo = index_;
            break;
        case kTempoVariationItem:
            if (static_cast<const TempoVariationItem&>(x).variationKind >= 2)
                lastTempoRamp = index_;
            break;
        case kRestItem:
            lastRest = index_;
            meterAtLastRest = lastTimeSignature;
            break;
        default:
            break;
    }

    moveTo(index_ + 1);
}

void AuditCursor::seek(int i) {
    if (i > 1) i = std::min(i, staff_->lastItemIndex());
    if (i <= 1 || i < index_) reset();
    while (index_ < i && !onLastItem()) stepForward();
}

}  // namespace scq
