#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace scq {

class NotationItem;
class Staff;

// What the repeat and jump rules need to know of one item of a staff.
struct FlowMark {
    enum Sort : uint8_t { Other, BarLine, Ending, FlowDirection };
    Sort sort = Other;
    int value = 0;  // a bar line's style, a flow direction's kind
};

// The mark of an item (defined with the flow rules of the item kinds); `code` is its type code.
FlowMark flowMarkOf(const NotationItem& item, int code);

// The targets of a staff's repeats, endings and jumps. They depend only on the staff's items
// and an item's own index, so they are worked out once, in one pass each way over the staff,
// and then answer every visit in constant time:
// - a repeat close (bar style 5 or 7) at index a: where the search back for its open lands
//   (the index after the open, 1 when the search reaches the start, or a + 1: no repeat);
// - an ending at index a: where the forward skip of an ending that is not taken resumes;
// - the first Segno, and the target of a To Coda.
class FlowTable {
public:
    // Works the targets out for a staff's items.
    void build(const Staff& staff);
    // The same for marks given directly; `owner` is the staff they stand for, if any.
    void build(const std::vector<FlowMark>& marks, const Staff* owner = nullptr);

    // Whether the table was made for this staff as it is now.
    bool describes(const Staff& staff) const;

    // Answer of the search back from the repeat close at `index` (a bar line of style 5
    // searches for style 4, one of style 7 for style 6); -1 where the staff holds no close.
    int repeatTarget(int index) const { return answerAt(index); }
    // Answer of the forward skip from the ending at `index`; -1 where the staff holds none.
    int endingSkip(int index) const { return answerAt(index); }
    // Index of the first Segno; -1 if the staff has none.
    int firstSegno() const { return segno_; }
    // Index of the first Coda, else one past the first D.C. or D.S.; -1 if neither exists.
    int codaTarget() const { return coda_; }
    int itemCount() const { return static_cast<int>(answer_.size()); }

private:
    int answerAt(int index) const {
        return index >= 0 && index < itemCount() ? answer_[static_cast<size_t>(index)] : -1;
    }

    const Staff* staff_ = nullptr;
    std::vector<int32_t> answer_;
    int segno_ = -1;
    int coda_ = -1;
};

}  // namespace scq
