#include "items/TextAndPedal.h"

#include "items/NameList.h"
#include "stream/SongInputStream.h"

namespace scq {

// ---- TextItem ----

TextItem::TextItem(const char* initialText) {
    reservesWidth = 0;
    position = -8;
    if (initialText) {
        setText(initialText);
    } else {
        text.setPlaceholder();
    }
}

void TextItem::setText(std::string_view newText) {
    const size_t end = newText.find('\0');
    if (end != std::string_view::npos) newText = newText.substr(0, end);
    text = newText.substr(0, kMaxTextLength);
}

void TextItem::readRecord(int revision, SongInputStream& s) {
    PositionedItem::readRecord(revision, s);
    if (revision >= 11) {
        textFont = static_cast<uint8_t>(s.ReadU8());
    } else {
        // Word P: bits 8-15 the position, bit 4 reserves width, bits 0-3 the font.
        const unsigned p = s.ReadUInt16();
        position = static_cast<int8_t>(static_cast<uint8_t>(p >> 8));
        reservesWidth = (p >> 4) & 1u;
        textFont = static_cast<uint8_t>(p & 0xFu);
    }
    char buffer[kMaxTextLength + 1];
    const size_t length = s.ReadString(buffer, sizeof buffer);
    if (length != 0) {
        text.assign(std::string_view(buffer, length));
        return;
    }
    // An empty text becomes a hidden placeholder.
    reservesWidth = 1;
    visibility = kVisNever;
    textFont = 0;
    position = -8;
    text.setPlaceholder();
}

void TextItem::writeRecord(SongInputStream& s) const {
    PositionedItem::writeRecord(s);
    s.WriteByte(textFont);
    s.WriteString(text.c_str());
}

// ---- PedalItem ----

void PedalItem::readRecord(int revision, SongInputStream& s) {
    PositionedItem::readRecord(revision, s);
    if (revision >= 11) {
        pedalDown = static_cast<uint8_t>(s.ReadU8());
        return;
    }
    position = static_cast<int8_t>(static_cast<uint8_t>(s.ReadUInt16() & 0xFFu));
    // Word W: bit 0 pressed, bit 1 reserves width (always reserved before revision 10).
    const unsigned w = s.ReadUInt16();
    pedalDown = static_cast<uint8_t>(w & 1u);
    reservesWidth = revision >= 10 ? (w >> 1) & 1u : 1u;
}

void PedalItem::writeRecord(SongInputStream& s) const {
    PositionedItem::writeRecord(s);
    s.WriteByte(pedalDown);
}

const char* PedalItem::name() const {
    return NameList::name(kNamesPedal, isDown() ? 0 : 1);
}

}  // namespace scq
