#include "staff/Groups.h"

#include <cstdint>

#include "items/DurationItems.h"
#include "song/Staff.h"

namespace scq {

int laneOf(const DurationItem& item) {
    return item.hasAttribute(DurationItem::kGrace) ? 1 : 0;
}

int groupPosition(const DurationItem& item, int kind) {
    return static_cast<int>(kind == DurationItem::kBeamGroup ? item.beamPosition
                                                             : item.tripletPosition);
}

bool takesPart(const NotationItem* item, int kind) {
    if (item == nullptr || !item->hasDuration()) return false;
    if (kind == DurationItem::kBeamGroup) {
        const int code = item->typeCode();
        return code != kRestItem && code != kRestChordItem;
    }
    return true;
}

bool mayContinueGroup(const NotationItem* item, int kind, int lane) {
    if (item == nullptr) return false;
    switch (item->typeCode()) {
        case kClefItem:
        case kKeySignatureItem:
        case kBarLineItem:
        case kEndingItem:
        case kTimeSignatureItem:
        case kFlowDirectionItem:
            return false;
        default:
            break;
    }
    if (!item->hasDuration()) return true;
    const auto& d = static_cast<const DurationItem&>(*item);
    if (laneOf(d) != lane) return lane == 0;  // a grace-note group stops at any other note
    if (kind == DurationItem::kTripletGroup) return true;
    const int code = item->typeCode();
    if (code == kRestItem || code == kRestChordItem) return true;
    return static_cast<const NoteItem&>(*item).flagCount() > 0;
}

bool isGroupValid(const Staff& staff, int index, int kind) {
    const NotationItem* first = staff.itemAt(index);
    if (!takesPart(first, kind)) return false;
    const auto& d = static_cast<const DurationItem&>(*first);
    const int lane = laneOf(d);
    const bool triplet = d.tripletPosition != 0;
    int64_t total = 0;
    const int last = staff.lastItemIndex();
    for (int i = index; i <= last; ++i) {
        const NotationItem* x = staff.itemAt(i);
        if (!mayContinueGroup(x, kind, lane)) return false;
        if (x->hasDuration() && takesPart(x, kind)) {
            const auto& m = static_cast<const DurationItem&>(*x);
            if (laneOf(m) == lane) {
                if ((m.tripletPosition != 0) != triplet) return false;
                if (kind == DurationItem::kBeamGroup && m.stemDirection != d.stemDirection)
                    return false;
                total += m.durationTicks();
                const int p = groupPosition(m, kind);
                if (p == DurationItem::kGroupEnd)
                    return kind == DurationItem::kBeamGroup || total % 12 == 0;
                if (i != index && p != DurationItem::kGroupMiddle) return false;
            }
        }
    }
    return false;  // the staff ended inside the group
}

int impliedStemSign(const DurationItem& item) {
    switch (item.stemDirection) {
        case 1:
            return 1;
        case 2:
            return -1;
        default:
            return 0;
    }
}

}  // namespace scq
