#pragma once

#include <cstdint>
#include <memory>

#include "items/NotationItem.h"

namespace scq {

class SongInputStream;

// Result of reading one item: a success flag and the new item (or none).
struct ReadItemResult {
    bool ok = false;
    std::unique_ptr<NotationItem> item;
};

namespace ItemFactory {

// A new item of the kind with this type code, with the kind's defaults for a record about to
// be read; none for a code outside 0..18.
std::unique_ptr<NotationItem> create(int typeCode);

// Reads the 16-bit type code and the record for that kind. An unknown code reads nothing
// further and fails; an item whose record raised the stream's error flag is destroyed. An item
// past the limit of the thread's ItemBudget reads nothing further, raises the error flag and
// fails.
ReadItemResult readItem(int revision, SongInputStream& s);

// Counts the items that readItem makes on this thread while the budget lives, chord members and
// attached chords included, and refuses any beyond the limit (0: no limit), so that a load can
// bound the memory a file makes it take. A budget made while another lives replaces it until
// it goes.
class ItemBudget {
public:
    explicit ItemBudget(uint64_t limit);
    ~ItemBudget();
    ItemBudget(const ItemBudget&) = delete;
    ItemBudget& operator=(const ItemBudget&) = delete;

    uint64_t limit() const { return limit_; }
    // Items made so far; never more than the limit.
    uint64_t itemsMade() const { return made_; }
    // Whether an item was refused.
    bool exhausted() const { return exhausted_; }

    // Counts one more item of the active budget, if any; false when the limit refuses it.
    static bool admitOne();

private:
    uint64_t limit_;
    uint64_t made_ = 0;
    bool exhausted_ = false;
    ItemBudget* outer_;
};

// Writes the type code and the record in the newest layout.
void writeItem(SongInputStream& s, const NotationItem& item);

// An independent copy made by writing the item into memory and reading it back.
std::unique_ptr<NotationItem> cloneBySerialisation(const NotationItem& item);

}  // namespace ItemFactory
}  // namespace scq
