#include "staff/StaffCursor.h"

#include <algorithm>

#include "items/BarsAndFlow.h"
#include "items/DurationItems.h"
#include "items/PerformanceMarks.h"
#include "items/Signatures.h"
#include "song/Staff.h"

namespace scq {

namespace {

template <typename T>
T* itemAs(NotationItem* item, int code) {
    return item != nullptr && item->typeCode() == code ? static_cast<T*>(item) : nullptr;
}

}  // namespace

StaffCursor::StaffCursor(Staff& staff) : staff_(&staff), item_(staff.itemAt(0)) {}

int StaffCursor::lastIndex() const {
    return staff_->lastItemIndex();
}

void StaffCursor::seek(int i) {
    const int from = index_;
    int to = std::min(i, lastIndex());
    if (to < 0) to = 0;
    index_ = to;
    item_ = staff_->itemAt(to);
    if (from != to) moved(from, to);
}

void StaffCursor::step(int d) {
    // Clamped in 64 bits so that a far step cannot overflow.
    const int64_t target = static_cast<int64_t>(index_) + d;
    seek(static_cast<int>(std::clamp<int64_t>(target, -1, static_cast<int64_t>(lastIndex()) + 1)));
}

bool StaffCursor::canStep(int d) const {
    return d > 0 ? index_ < lastIndex() : index_ > 0;
}

bool StaffCursor::findType(int typeCode, int d) {
    if (d == 0) return false;
    while (canStep(d)) {
        step(d);
        if (item_ != nullptr && item_->typeCode() == typeCode) return true;
    }
    return false;
}

bool StaffCursor::findDuration(int d) {
    if (d == 0) return false;
    while (canStep(d)) {
        step(d);
        if (item_ != nullptr && item_->hasDuration()) return true;
    }
    return false;
}

BarLineItem* StaffCursor::barLine() const {
    return itemAs<BarLineItem>(item_, kBarLineItem);
}
EndingItem* StaffCursor::ending() const {
    return itemAs<EndingItem>(item_, kEndingItem);
}
TimeSignatureItem* StaffCursor::timeSignature() const {
    return itemAs<TimeSignatureItem>(item_, kTimeSignatureItem);
}
TempoItem* StaffCursor::tempo() const {
    return itemAs<TempoItem>(item_, kTempoItem);
}
DynamicItem* StaffCursor::dynamic() const {
    return itemAs<DynamicItem>(item_, kDynamicItem);
}
TempoVariationItem* StaffCursor::tempoVariation() const {
    return itemAs<TempoVariationItem>(item_, kTempoVariationItem);
}
DynamicVariationItem* StaffCursor::dynamicVariation() const {
    return itemAs<DynamicVariationItem>(item_, kDynamicVariationItem);
}
FlowDirectionItem* StaffCursor::flowDirection() const {
    return itemAs<FlowDirectionItem>(item_, kFlowDirectionItem);
}
NoteItem* StaffCursor::noteOrChord() const {
    if (item_ == nullptr) return nullptr;
    const int code = item_->typeCode();
    return code == kNoteItem || code == kChordItem ? static_cast<NoteItem*>(item_) : nullptr;
}
RestItem* StaffCursor::rest() const {
    return itemAs<RestItem>(item_, kRestItem);
}
RestChordItem* StaffCursor::restChord() const {
    return itemAs<RestChordItem>(item_, kRestChordItem);
}
DurationItem* StaffCursor::duration() const {
    return item_ != nullptr && item_->hasDuration() ? static_cast<DurationItem*>(item_) : nullptr;
}

void CountingCursor::moved(int from, int to) {
    // The items before the index are the ones passed.
    for (int i = from; i < to; ++i) count(staff().itemAt(i), +1);
    for (int i = from - 1; i >= to; --i) count(staff().itemAt(i), -1);
}

void CountingCursor::count(const NotationItem* item, int sign) {
    if (item == nullptr) return;
    ticks_ += static_cast<int64_t>(sign) * item->durationTicks();
    if (item->typeCode() == kBarLineItem) {
        if (static_cast<const BarLineItem*>(item)->incompleteBar == 0) bars_ += sign;
    } else if (item->hasDuration()) {
        if (static_cast<const DurationItem*>(item)->takesLyric()) lyricItems_ += sign;
    }
}

}  // namespace scq
