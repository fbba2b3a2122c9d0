#pragma once

#include "perform/PlayState.h"
#include "song/Staff.h"

namespace scq {

// The cursor of an audit walk: a position in a staff together with the running staff state
// (walk mode 1), the states saved for endings and codas, the open beam and triplet groups of
// both lanes and the indexes of the most recent items of each sort before the current one.
// Copies are independent of the cursor they were copied from.
class AuditCursor {
public:
    explicit AuditCursor(Staff& staff);

    // Index 0, every last-seen index 0, a fresh state, no group open.
    void reset();
    // Leaves the current item (its group marks, the ending and coda saves, its state change and
    // the last-seen indexes) and moves to the next index. Does nothing on the last item.
    void stepForward();
    // To index i (clipped to the list), replaying the staff from its start when i lies behind.
    void seek(int i);
    bool onLastItem() const { return index_ >= staff_->lastItemIndex(); }

    Staff& staff() const { return *staff_; }
    int index() const { return index_; }
    NotationItem* item() const { return item_; }
    // The current item's type code (-1 without an item) and whether it has a duration, asked
    // once per item: each walk step needs them twice.
    int itemCode() const { return code_; }
    bool itemTimed() const { return timed_; }

    PlayState state;
    PlayState endingSave;
    PlayState codaSave;
    // groupOpen[lane][kind]: lane 0 normal notes, 1 grace notes; kind 0 beam, 1 triplet.
    bool groupOpen[2][2] = {{false, false}, {false, false}};

    int lastBar = 0;
    int lastClef = 0;
    int lastKeySignature = 0;
    int lastTimeSignature = 0;
    int lastDynamic = 0;
    int lastDynamicVariation = 0;
    int lastTempo = 0;
    int lastTempoRamp = 0;
    int lastRest = 0;
    int lastDuration = 0;
    int previousDuration = 0;
    // `lastTimeSignature` as it stood when the walk reached the rest at `lastRest`: the time
    // signature in force at that rest, remembered so that it never has to be searched for.
    int meterAtLastRest = 0;

private:
    Staff* staff_;
    int index_ = 0;
    NotationItem* item_ = nullptr;
    int code_ = -1;
    bool timed_ = false;

    void moveTo(int index);
};

}  // namespace scq
