#pragma once

namespace scq {

class Song;
class Staff;
struct ItemRange;

// Audits every staff of the song (allStaffs non-zero), or only those marked `needsAudit`.
void auditSong(Song& song, int allStaffs);

// Audits the whole bars that hold the items first..last; -1 means the staff's first or last
// index, so (-1, -1) audits the whole staff and clears `needsAudit`.
void auditStaff(Staff& staff, int first, int last);

// Audits from two bars before `first` to two bars after `last` (-1: last = first).
void auditAround(Staff& staff, int first, int last);

// The audit walk over a range (f, l): replays the staff up to the bar line at or before f - 1
// and audits every item from there up to the item after the bar line at or after l.
void auditWalk(const ItemRange& range);

}  // namespace scq
