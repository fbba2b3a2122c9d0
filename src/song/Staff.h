#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "items/InstrumentPatch.h"
#include "items/ItemArena.h"
#include "items/NotationItem.h"

namespace scq {

// One line of lyrics, kept as the bytes the file holds.
struct LyricLine {
    std::vector<uint8_t> bytes;
    int32_t usedLength = 1;
};

// A staff's lyrics.
struct LyricsBlock {
    static constexpr int kMaxLines = 9;
    std::vector<std::unique_ptr<LyricLine>> lines;  // at most 9
    unsigned lyricPlacement : 1 = 0;
    unsigned lyricAlignment : 1 = 0;
    int32_t lyricWord = 0;
};

// A staff: its properties, its lyrics and its ordered item list, which always begins and ends
// with a bar line.
class Staff {
public:
    static constexpr int kMaxItems = 12000;
    static constexpr int kFullAt = 11900;

    // A new staff: default properties, the opening bar line (Single) and the closing bar line
    // (Section Close).
    Staff();
    // A staff whose item list is left empty, for the loader to fill.
    struct Unfilled {};
    explicit Staff(Unfilled);
    ~Staff();
    Staff(const Staff&) = delete;
    Staff& operator=(const Staff&) = delete;

    // Item list.
    int itemCount() const { return static_cast<int>(items_.size()); }
    int lastItemIndex() const { return itemCount() - 1; }
    // The item at the index, or none outside the list.
    NotationItem* itemAt(int index) const {
        return static_cast<size_t>(static_cast<unsigned>(index)) < items_.size()
                   ? items_[static_cast<size_t>(index)].get()
                   : nullptr;
    }
    NotationItem* lastItem() const { return items_.empty() ? nullptr : items_.back().get(); }
    // The type code of the item at `index`, -1 outside the list. The codes are kept beside the
    // list, so that a walk over millions of items tells their kinds without asking each one.
    int codeAt(int index) const {
        return static_cast<size_t>(static_cast<unsigned>(index)) < codes_.size()
                   ? codes_[static_cast<size_t>(index)]
                   : -1;
    }
    bool isFull() const { return itemCount() >= kFullAt; }
    int roomLeft() const { return kMaxItems - itemCount(); }
    // Inserts without further work; index == itemCount() appends.
    void insertItemAt(std::unique_ptr<NotationItem> item, int index);
    // Appends; used while the loader builds the list.
    void appendItem(std::unique_ptr<NotationItem> item) {  // a load appends millions
        if (!item) return;
        const auto code = static_cast<int8_t>(item->typeCode());
        if (items_.size() == items_.capacity() || codes_.size() == codes_.capacity()) {
            makeRoomForOne();  // past this point nothing allocates
        }
        items_.push_back(std::move(item));
        codes_.push_back(code);
    }
    // Loader support: room for `room` items as a growth hint (capped, so that a count claimed
    // by a file never decides how much memory is taken), and emptying the list, last item
    // first, before the list is built anew (the item arena's blocks go with the items).
    void reserveItems(int room);
    void clearItems();
    // Inserts, applies the automatic stem rule to a duration item with a default stem, then
    // audits the bars around the index. An index outside 0..itemCount() is clamped into it.
    void insertItem(std::unique_ptr<NotationItem> item, int index);
    // Takes an item out (never either bar line) and audits the bars around it. An item the
    // staff's arena holds comes out as a copy on the heap, so that it may outlive the staff.
    std::unique_ptr<NotationItem> removeItem(int index);
    // Destroys the items first..last, last clipped so that the closing bar line stays.
    void deleteItems(int first, int last);
    // Stores `endingBar` and restyles the closing bar line from it.
    void setEndingBar(int value);
    // Keeps the vertical room within its limits: `upperBoundary` from -100 to -lineCount,
    // `lowerBoundary` from lineCount to 100.
    void clampBoundaries();
    // Whether the staff reports itself modified; in this program never.
    bool isModified() const { return false; }

    // Properties.
    char staffName[25] = "Staff";
    char groupName[11] = "Standard";
    uint8_t endingBar = 0;
    int32_t muted = 0;
    int32_t channel = 0;
    int32_t device = 0;
    InstrumentPatch instrument;
    int32_t staffStyle = 0;
    int32_t upperBoundary = -12;
    int32_t lowerBoundary = 12;
    uint8_t lineCount = 5;
    int32_t layerWithNext = 0;
    int32_t transposition = 0;
    int32_t volume = 127;
    int32_t stereoPan = 64;
    uint8_t staffOptionByte = 0;
    int32_t needsAudit = 0;
    std::unique_ptr<LyricsBlock> lyrics;

    // Where the loader makes the staff's items; it outlives them (declared before the list).
    ItemArena& itemArena() { return arena_; }

private:
    // Room for one more item in both lists, so that adding it cannot fail half way.
    void makeRoomForOne();

    ItemArena arena_;
    std::vector<std::unique_ptr<NotationItem>> items_;
    std::vector<int8_t> codes_;  // the type code of each item of items_
};

}  // namespace scq
