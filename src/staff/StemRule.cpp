#include "staff/StemRule.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "items/DurationItems.h"
#include "song/Staff.h"
#include "staff/Groups.h"

namespace scq {

namespace {

// Whether an item takes part in a beam group of the given lane.
bool inBeamLane(const NotationItem* x, int lane) {
    return takesPart(x, DurationItem::kBeamGroup) &&
           laneOf(static_cast<const DurationItem&>(*x)) == lane;
}

// The indexes of the members of the beam group that the item at `index` belongs to: back to
// its First and forward to its End, in the item's lane, stopping at anything that cannot stand
// inside a beam.
std::vector<int> beamGroupAround(const Staff& staff, int index) {
    const auto& item = static_cast<const DurationItem&>(*staff.itemAt(index));
    const int lane = laneOf(item);
    int start = index;
    if (item.beamPosition != DurationItem::kGroupFirst) {
        for (int j = index - 1; j >= 0; --j) {
            const NotationItem* x = staff.itemAt(j);
            if (!mayContinueGroup(x, DurationItem::kBeamGroup, lane)) break;
            if (!inBeamLane(x, lane)) continue;
            const int p = static_cast<const DurationItem&>(*x).beamPosition;
            if (p == DurationItem::kNotPresent || p == DurationItem::kGroupEnd) break;
            start = j;
            if (p == DurationItem::kGroupFirst) break;
        }
    }
    std::vector<int> members;
    for (int j = start; j <= staff.lastItemIndex(); ++j) {
        const NotationItem* x = staff.itemAt(j);
        if (!mayContinueGroup(x, DurationItem::kBeamGroup, lane)) break;
        if (!inBeamLane(x, lane)) continue;
        const int p = static_cast<const DurationItem&>(*x).beamPosition;
        if (p == DurationItem::kNotPresent && j != index) break;
        if (p == DurationItem::kGroupFirst && j != start) break;
        members.push_back(j);
        if (p == DurationItem::kGroupEnd) break;
    }
    return members;
}

}  // namespace

// A duration item with a default stem standing alone already follows the automatic rule (its
// stem sign comes from its own position). Inside a beam group all stems must agree: the group
// takes the first explicit stem among its members, or else the sign that the extents of its
// members give (stems up when the lowest note lies farther from the middle line than the
// highest one), and every member's stem is set from it.
void applyAutomaticStem(Staff& staff, int index) {
    NotationItem* at = staff.itemAt(index);
    if (at == nullptr || !at->hasDuration()) return;
    auto& item = static_cast<DurationItem&>(*at);
    if (item.stemDirection != 0 || item.beamPosition == DurationItem::kNotPresent) return;
    if (!takesPart(at, DurationItem::kBeamGroup)) return;

    const std::vector<int> members = beamGroupAround(staff, index);
    if (members.size() < 2) return;

    int sign = 0;
    int top = 2147483647;
    int bottom = -2147483647;
    for (int j : members) {
        const auto& m = static_cast<const DurationItem&>(*staff.itemAt(j));
        if (sign == 0) sign = impliedStemSign(m);
        top = std::min(top, m.topExtent());
        bottom = std::max(bottom, m.bottomExtent());
    }
    if (sign == 0) {
        if (top == bottom) {
            sign = top > 0 ? 1 : -1;
        } else {
            sign =
                std::abs(static_cast<long long>(bottom)) - std::abs(static_cast<long long>(top)) > 0
                    ? 1
                    : -1;
        }
    }
    for (int j : members) static_cast<DurationItem&>(*staff.itemAt(j)).setStemFromSign(sign);
}

}  // namespace scq
