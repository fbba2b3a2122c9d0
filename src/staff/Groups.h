#pragma once

// Beam and triplet groups: which items take part, in which lane, and whether a run of items
// forms a valid group. Shared by the audit, the grouping of item ranges and the stem rule.

namespace scq {

class NotationItem;
class DurationItem;
class Staff;

// Group kinds are DurationItem::kBeamGroup (0) and kTripletGroup (1); positions
// DurationItem::kNotPresent, kGroupFirst, kGroupMiddle and kGroupEnd.

// Lane 1 holds the grace notes, lane 0 everything else.
int laneOf(const DurationItem& item);
// Position of the item in a group of this kind (`beamPosition` or `tripletPosition`).
int groupPosition(const DurationItem& item, int kind);
// Whether the item takes part in a group of this kind: it has a duration and, for a beam, is
// neither a rest nor a rest chord.
bool takesPart(const NotationItem* item, int kind);
// Whether the item may stand inside a group of this kind in this lane: no clef, signature,
// bar line, ending or flow direction; in the lane, a beam holds only rests and flagged notes
// or chords; a grace-note group is broken by an item of the other lane.
bool mayContinueGroup(const NotationItem* item, int kind, int lane);
// Whether the group of this kind that the item at `index` starts is valid: it runs, through
// items that may continue it, over members of the same triplet-ness (and, for a beam, the
// same stem direction) in Middle positions up to an End, and a triplet group lasts a multiple
// of 12 ticks. Looks no further than that End or the first item that breaks the group.
bool isGroupValid(const Staff& staff, int index, int kind);
// Stem sign implied by an explicit `stemDirection`: +1 Up, -1 Down, 0 Default.
int impliedStemSign(const DurationItem& item);

}  // namespace scq
