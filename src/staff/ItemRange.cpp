#include "staff/ItemRange.h"

#include <algorithm>
#include <cstdlib>

#include "items/DurationItems.h"
#include "song/Staff.h"
#include "staff/Audit.h"
#include "staff/Groups.h"
#include "staff/StaffCursor.h"

namespace scq {

ItemRange ItemRange::make(Staff* staff, int a, int b) {
    ItemRange r;
    r.staff = staff;
    const int lo = std::min(a, b);
    const int hi = std::max(a, b);
    if (lo < 0) {
        r.first = hi;
        r.last = lo;
    } else {
        r.first = lo;
        r.last = hi;
    }
    r.last = staff != nullptr ? std::min(r.last, staff->lastItemIndex()) : -1;
    return r;
}

ItemRange ItemRange::makeWhole(Staff* staff) {
    ItemRange r;
    r.staff = staff;
    r.first = 0;
    r.last = staff != nullptr ? staff->lastItemIndex() : -1;
    return r;
}

ItemRange ItemRange::fromCursors(const StaffCursor& c1, const StaffCursor& c2) {
    return make(&c1.staff(), c1.index(), c2.index());
}

void ItemRange::barAround(int i) {
    if (staff == nullptr) return;
    StaffCursor c(*staff);
    c.seek(i);
    if (c.item() == nullptr || c.item()->typeCode() != kBarLineItem) c.findType(kBarLineItem, -1);
    first = c.index();
    c.findType(kBarLineItem, +1);
    last = c.index() - 1;
}

void ItemRange::widenToBars() {
    if (staff == nullptr) return;
    if (last < 0) last = first;
    StaffCursor c(*staff);
    c.seek(first);
    if (staff->itemAt(first) == nullptr || staff->itemAt(first)->typeCode() != kBarLineItem) {
        c.findType(kBarLineItem, -1);
        first = c.index() + 1;
    }
    if (first < 1) first = 1;
    c.seek(last);
    if (staff->itemAt(last) == nullptr || staff->itemAt(last)->typeCode() != kBarLineItem) {
        c.findType(kBarLineItem, +1);
        last = c.index() - 1;
    }
    last = std::min(last, staff->lastItemIndex() - 1);
}

int32_t ItemRange::ticks() const {
    if (!isValid()) return 0;
    int64_t sum = 0;
    const int end = std::min(last, staff->itemCount());
    for (int i = std::max(first, 0); i < end; ++i) {
        if (const NotationItem* item = staff->itemAt(i)) sum += item->durationTicks();
    }
    return static_cast<int32_t>(sum);
}

int ItemRange::deleteRange() {
    if (!isValid()) return 0;
    staff->deleteItems(first, last);
    auditAround(*staff, first, -1);
    clear();
    return 1;
}

ItemRange::Extents ItemRange::extents() const {
    Extents e;
    if (!isValid()) return e;
    for (int i = std::max(first, 0); i <= std::min(last, staff->lastItemIndex()); ++i) {
        const NotationItem* item = staff->itemAt(i);
        if (item == nullptr) continue;
        e.top = std::min(e.top, item->topExtent());
        e.bottom = std::max(e.bottom, item->bottomExtent());
    }
    return e;
}

ItemRange::Extents ItemRange::durationExtents() const {
    Extents e;
    if (!isValid()) return e;
    for (int i = std::max(first, 0); i <= std::min(last, staff->lastItemIndex()); ++i) {
        const NotationItem* item = staff->itemAt(i);
        if (item == nullptr || !item->hasDuration()) continue;
        e.top = std::min(e.top, item->topExtent());
        e.bottom = std::max(e.bottom, item->bottomExtent());
    }
    return e;
}

namespace {

// The members of a group in the making: the duration items of the first item's lane that
// take part in the group kind.
bool isMember(const NotationItem* item, int kind, int lane) {
    return takesPart(item, kind) && laneOf(static_cast<const DurationItem&>(*item)) == lane;
}

}  // namespace

int ItemRange::makeGroup(int kind) {
    if (!isValid() || (kind != DurationItem::kBeamGroup && kind != DurationItem::kTripletGroup))
        return 0;
    if (first < 0 || last > staff->lastItemIndex()) return 0;
    const NotationItem* head = staff->itemAt(first);
    if (head == nullptr || !head->hasDuration()) return 0;
    if (kind == DurationItem::kBeamGroup && head->typeCode() != kNoteItem &&
        head->typeCode() != kChordItem)
        return 0;
    const auto& headItem = static_cast<const DurationItem&>(*head);
    const int lane = laneOf(headItem);
    const bool triplet = headItem.tripletPosition != 0;

    // 1. Is the range groupable?
    int members = 0;
    int implied = 0;
    int64_t memberTicks = 0;
    for (int i = first; i <= last; ++i) {
        const NotationItem* x = staff->itemAt(i);
        if (!mayContinueGroup(x, kind, lane)) return 0;
        if (!x->hasDuration()) continue;
        const auto& d = static_cast<const DurationItem&>(*x);
        if (laneOf(d) != lane) continue;
        if ((d.tripletPosition != 0) != triplet) return 0;
        if (d.tripletPosition == DurationItem::kGroupEnd && i != last) return 0;
        if (!takesPart(x, kind)) continue;
        ++members;
        memberTicks += d.durationTicks();
        const int s = impliedStemSign(d);
        if (s != 0) {
            if (implied != 0 && implied != s) return 0;
            if (implied == 0) implied = s;
        }
    }
    if (!isMember(staff->itemAt(last), kind, lane)) return 0;
    if (members < 2) return 0;
    if (kind == DurationItem::kTripletGroup && (memberTicks * 2 / 3) % 12 != 0) return 0;

    // 2. The stem sign of the group.
    int sign = implied;
    if (sign == 0 && headItem.stemDirection != 0) sign = headItem.stemSign();
    if (sign == 0) {
        int top = 2147483647;
        int bottom = -2147483647;
        for (int i = first; i <= last; ++i) {
            const NotationItem* x = staff->itemAt(i);
            if (!isMember(x, kind, lane)) continue;
            top = std::min(top, x->topExtent());
            bottom = std::max(bottom, x->bottomExtent());
        }
        if (top == bottom) {
            sign = top > 0 ? 1 : -1;
        } else {
            sign = std::abs(static_cast<int64_t>(bottom)) - std::abs(static_cast<int64_t>(top)) > 0
                       ? 1
                       : -1;
        }
    }

    // 3. A triplet is first made one beam group of its own.
    if (kind == DurationItem::kTripletGroup) {
        for (int i = first; i <= last; ++i) ungroupAt(DurationItem::kBeamGroup, i);
        ItemRange beam = *this;
        beam.makeGroup(DurationItem::kBeamGroup);
    }

    // 4. Positions and stems.
    for (int i = first; i <= last; ++i) {
        NotationItem* x = staff->itemAt(i);
        if (!isMember(x, kind, lane)) continue;
        auto& d = static_cast<DurationItem&>(*x);
        if (kind == DurationItem::kBeamGroup) {
            if (!triplet) ungroupAt(DurationItem::kTripletGroup, i);
            d.setStemFromSign(sign);
        }
        d.setGroupPosition(kind, i == first  ? DurationItem::kGroupFirst
                                 : i == last ? DurationItem::kGroupEnd
                                             : DurationItem::kGroupMiddle);
    }

    // 5. The audit settles the bars the group lies in.
    auditWalk(*this);
    return 1;
}

void ItemRange::ungroupAt(int kind, int i) {
    if (staff == nullptr ||
        (kind != DurationItem::kBeamGroup && kind != DurationItem::kTripletGroup))
        return;
    const NotationItem* at = staff->itemAt(i);
    if (at == nullptr || !at->hasDuration()) return;
    const auto& item = static_cast<const DurationItem&>(*at);
    if (groupPosition(item, kind) == DurationItem::kNotPresent) return;
    const int lane = laneOf(item);

    // Back to the First of the group: the nearest member at or before i that is marked First,
    // not going past a member that is outside any group or closes an earlier one.
    int start = i;
    if (groupPosition(item, kind) != DurationItem::kGroupFirst) {
        for (int j = i - 1; j >= 0; --j) {
            const NotationItem* x = staff->itemAt(j);
            if (!x->hasDuration() || laneOf(static_cast<const DurationItem&>(*x)) != lane) continue;
            const int p = groupPosition(static_cast<const DurationItem&>(*x), kind);
            if (p == DurationItem::kNotPresent || p == DurationItem::kGroupEnd) break;
            start = j;
            if (p == DurationItem::kGroupFirst) break;
        }
    }
    // Forward through the group up to and including its End.
    const int last = staff->lastItemIndex();
    for (int j = start; j <= last; ++j) {
        NotationItem* x = staff->itemAt(j);
        if (!x->hasDuration()) continue;
        auto& d = static_cast<DurationItem&>(*x);
        if (laneOf(d) != lane) continue;
        const int p = groupPosition(d, kind);
        if (p == DurationItem::kNotPresent) break;
        if (j != start && p == DurationItem::kGroupFirst) break;  // the next group begins
        d.setGroupPosition(kind, DurationItem::kNotPresent);
        if (p == DurationItem::kGroupEnd) break;
    }
}

}  // namespace scq
