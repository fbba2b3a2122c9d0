#include "perform/FlowTable.h"

#include <algorithm>

#include "items/NotationItem.h"
#include "song/Staff.h"

namespace scq {

namespace {

// Bar line styles and flow kinds that the rules look at.
enum : int {
    kDouble = 1,
    kSectionOpen = 2,
    kSectionClose = 3,
    kLocalOpen = 4,
    kLocalClose = 5,
    kMasterOpen = 6,
    kMasterClose = 7,
};
enum : int { kCoda = 0, kSegno = 1, kDaCapo = 4, kDalSegnoAlFine = 9 };

}  // namespace

void FlowTable::build(const Staff& staff) {
    std::vector<FlowMark> marks(static_cast<size_t>(std::max(staff.itemCount(), 0)));
    for (int i = 0; i < staff.itemCount(); ++i) {
        if (const NotationItem* item = staff.itemAt(i))
            marks[static_cast<size_t>(i)] = flowMarkOf(*item, staff.codeAt(i));
    }
    build(marks, &staff);
}

void FlowTable::build(const std::vector<FlowMark>& marks, const Staff* owner) {
    staff_ = owner;
    const int count = static_cast<int>(marks.size());
    answer_.assign(marks.size(), -1);
    segno_ = -1;
    coda_ = -1;
    int firstJump = -1;

    // Forward: the search back of each repeat close meets the bar lines before it, latest
    // first (index 0 is never looked at). Knowing the latest bar line of each style before
    // the close is enough to say where that search stops.
    int last[8] = {};  // latest index above 0 of a bar line of style 0..7; 0 for none
    for (int i = 0; i < count; ++i) {
        const FlowMark& m = marks[static_cast<size_t>(i)];
        if (m.sort == FlowMark::FlowDirection) {
            if (m.value == kSegno && segno_ < 0) segno_ = i;
            if (m.value == kCoda && coda_ < 0) coda_ = i;
            if (m.value >= kDaCapo && m.value <= kDalSegnoAlFine && firstJump < 0) firstJump = i;
            continue;
        }
        if (m.sort != FlowMark::BarLine) continue;
        if (m.value == kLocalClose) {
            // Stops at a local open or an earlier local close; a master open stops it
            // (no repeat) unless a master close lies between it and this close.
            const int open = std::max(last[kLocalOpen], last[kLocalClose]);
            const int master = last[kMasterOpen];
            if (master > open && master > last[kMasterClose]) {
                answer_[static_cast<size_t>(i)] = i + 1;
            } else {
                answer_[static_cast<size_t>(i)] = open > 0 ? open + 1 : 1;
            }
        } else if (m.value == kMasterClose) {
            // Stops at a master open or a section bar; a local open stops it (no repeat)
            // unless a local close lies between it and this close.
            const int open = std::max({last[kMasterOpen], last[kSectionOpen], last[kSectionClose]});
            const int local = last[kLocalOpen];
            if (local > open && local > last[kLocalClose]) {
                answer_[static_cast<size_t>(i)] = i + 1;
            } else {
                answer_[static_cast<size_t>(i)] = open > 0 ? open + 1 : 1;
            }
        }
        if (i > 0 && m.value >= 0 && m.value < 8) last[m.value] = i;
    }
    if (coda_ < 0 && firstJump >= 0) coda_ = firstJump + 1;

    // Backward: where the forward scan from an index first stops.
    int resume = -1;  // answer of a scan starting just after the index being looked at
    for (int i = count - 1; i >= 0; --i) {
        const FlowMark& m = marks[static_cast<size_t>(i)];
        if (m.sort == FlowMark::Ending) {
            answer_[static_cast<size_t>(i)] = resume >= 0 ? resume : i + 1;
            resume = i;  // a later ending is tested in turn
        } else if (m.sort == FlowMark::BarLine) {
            if (m.value == kDouble || m.value == kSectionOpen || m.value == kMasterOpen) {
                resume = i;
            } else if (m.value == kSectionClose || m.value == kMasterClose) {
                resume = i + 1;  // the close is passed over, so it does not repeat
            }
        }
    }
}

bool FlowTable::describes(const Staff& staff) const {
    return staff_ == &staff && itemCount() == staff.itemCount();
}

}  // namespace scq
