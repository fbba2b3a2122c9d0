#pragma once

#include <cstdint>

namespace scq {

class Staff;
class NotationItem;
class BarLineItem;
class EndingItem;
class TimeSignatureItem;
class TempoItem;
class DynamicItem;
class TempoVariationItem;
class DynamicVariationItem;
class FlowDirectionItem;
class NoteItem;
class RestItem;
class RestChordItem;
class DurationItem;

// A position in a staff's item list. The index always lies within the list (0 for an empty
// list) and `item()` is the item there.
class StaffCursor {
public:
    explicit StaffCursor(Staff& staff);
    virtual ~StaffCursor() = default;
    StaffCursor(const StaffCursor&) = default;
    StaffCursor& operator=(const StaffCursor&) = default;

    Staff& staff() const { return *staff_; }
    int index() const { return index_; }
    NotationItem* item() const { return item_; }
    int lastIndex() const;

    // Back to index 0.
    void reset() { seek(0); }
    // To index i; past the last index goes to the last index, a negative i to 0.
    void seek(int i);
    // seek(index + d).
    void step(int d);
    // For d > 0: whether the cursor is before the last index; for d <= 0: after index 0.
    bool canStep(int d) const;
    // Steps by d until the item has this type code, moving at least one item when it can.
    // Returns whether it stopped on such an item; a d of 0 does not move.
    bool findType(int typeCode, int d);
    // As findType, stopping at the first item with a duration.
    bool findDuration(int d);

    // The current item as one kind, or none when it is of another kind.
    BarLineItem* barLine() const;
    EndingItem* ending() const;
    TimeSignatureItem* timeSignature() const;
    TempoItem* tempo() const;
    DynamicItem* dynamic() const;
    TempoVariationItem* tempoVariation() const;
    DynamicVariationItem* dynamicVariation() const;
    FlowDirectionItem* flowDirection() const;
    NoteItem* noteOrChord() const;  // a note or a chord
    RestItem* rest() const;         // a rest (type 9 only)
    RestChordItem* restChord() const;
    DurationItem* duration() const;  // any item with a duration

protected:
    // Called by seek after the index moved from `from` to `to`.
    virtual void moved(int from, int to) {
        (void)from;
        (void)to;
    }

private:
    Staff* staff_;
    int index_ = 0;
    NotationItem* item_ = nullptr;
};

// A cursor that counts what it has passed: the items before its index contribute their
// `durationTicks`, the bar lines among them whose `incompleteBar` is 0, and the duration items
// among them that take a lyric syllable.
class CountingCursor : public StaffCursor {
public:
    explicit CountingCursor(Staff& staff) : StaffCursor(staff) {}

    int64_t ticks() const { return ticks_; }
    int bars() const { return bars_; }
    int lyricItems() const { return lyricItems_; }

protected:
    void moved(int from, int to) override;

private:
    void count(const NotationItem* item, int sign);

    int64_t ticks_ = 0;
    int bars_ = 0;
    int lyricItems_ = 0;
};

}  // namespace scq
