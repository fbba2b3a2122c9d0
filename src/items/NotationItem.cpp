#include "items/NotationItem.h"

#include "stream/SongInputStream.h"

namespace scq {

void NotationItem::operator delete(NotationItem* item, std::destroying_delete_t) {
    const bool held = item->arenaHeld_;
    item->~NotationItem();
    if (!held) ::operator delete(item);
}

void NotationItem::readRecord(int revision, SongInputStream& s) {
    if (revision >= 10) {
        // Bits 2, 5, 6 and 7 of the common byte are ignored.
        const int b = s.ReadU8();
        visibility = static_cast<unsigned>(b) & 3u;
        colour = (static_cast<unsigned>(b) >> 3) & 3u;
    } else {
        visibility = 0;
        colour = 0;
    }
}

void NotationItem::writeRecord(SongInputStream& s) const {
    s.WriteByte(static_cast<int>(visibility + colour * 8u));
}

void NotationItem::copyAttributesFrom(const NotationItem& other) {
    visibility = other.visibility;
    colour = other.colour;
}

void PositionedItem::readRecord(int revision, SongInputStream& s) {
    NotationItem::readRecord(revision, s);
    if (revision >= 11) {
        position = static_cast<int8_t>(static_cast<uint8_t>(s.ReadU8()));
        const unsigned layout = static_cast<unsigned>(s.ReadU8());
        reservesWidth = layout & 1u;
        justification = (layout >> 1) & 3u;
        placement = (layout >> 3) & 3u;
    } else {
        // Old records carry no layout: the layout byte 9 and the position -8.
        position = -8;
        reservesWidth = 1;
        justification = 0;
        placement = 1;
    }
}

void PositionedItem::writeRecord(SongInputStream& s) const {
    NotationItem::writeRecord(s);
    s.WriteByte(static_cast<uint8_t>(position));
    s.WriteByte(static_cast<int>(reservesWidth + justification * 2u + placement * 8u));
}

void PositionedItem::copyAttributesFrom(const NotationItem& other) {
    NotationItem::copyAttributesFrom(other);
}

}  // namespace scq
