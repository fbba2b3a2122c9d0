#pragma once

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
// further and fails; an item whose record raised the stream's error flag is destroyed.
ReadItemResult readItem(int revision, SongInputStream& s);

// Writes the type code and the record in the newest layout.
void writeItem(SongInputStream& s, const NotationItem& item);

// An independent copy made by writing the item into memory and reading it back.
std::unique_ptr<NotationItem> cloneBySerialisation(const NotationItem& item);

}  // namespace ItemFactory
}  // namespace scq
