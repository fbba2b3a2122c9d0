#pragma once

#include <cstdint>

namespace scq {

class Staff;
class StaffCursor;

// A run of item indexes first .. last of one staff; empty when last < first.
struct ItemRange {
    Staff* staff = nullptr;
    int first = 0;
    int last = -1;

    // The smaller of a and b first, the larger last; when the smaller is negative the range is
    // empty (first = the larger, last = the smaller). Then last is clipped to the staff's last
    // index (-1 without a staff).
    static ItemRange make(Staff* staff, int a, int b);
    // The whole item list.
    static ItemRange makeWhole(Staff* staff);
    // make(c1's staff, c1's index, c2's index).
    static ItemRange fromCursors(const StaffCursor& c1, const StaffCursor& c2);

    bool isValid() const { return staff != nullptr && last >= first; }
    int count() const { return isValid() ? last - first + 1 : 0; }
    void clear() { last = -1; }

    // Becomes the bar that holds index i: its opening bar line up to the item before the next
    // bar line.
    void barAround(int i);
    // Widens the range to whole bars, never onto either bar line of the staff.
    void widenToBars();
    // Sum of `durationTicks` of the items first .. last - 1 (the item at last is not counted).
    int32_t ticks() const;
    // Destroys the items of the range, audits the bars around it and clears the range.
    // Returns 1 when items went, 0 for an empty or staff-less range.
    int deleteRange();

    // Smallest topExtent and largest bottomExtent over the range's items (all items, or only
    // those with a duration). An empty range gives the starting values.
    struct Extents {
        int top = 2147483647;
        int bottom = -2147483647;
    };
    Extents extents() const;
    Extents durationExtents() const;

    // Makes the range one beam (kind 0) or triplet (kind 1) group. Returns 1 when the group was
    // made, 0 when the range cannot form one (then nothing changes).
    int makeGroup(int kind);
    // Removes the group of this kind that the duration item at i belongs to.
    void ungroupAt(int kind, int i);
};

}  // namespace scq
