#pragma once

#include <cstdint>
#include <string_view>

#include "items/ItemText.h"
#include "items/NotationItem.h"

namespace scq {

// A free text placed on the staff in one of the song's fonts (name list 34).
class TextItem : public PositionedItem {
public:
    static constexpr const char* kPlaceholder = kTextPlaceholder;
    static constexpr size_t kMaxTextLength = 79;  // what a record can carry

    // Font 0, no width reserved, position -8; without a text it shows the placeholder.
    explicit TextItem(const char* initialText = nullptr);

    int typeCode() const override { return kTextItem; }
    void writeRecord(SongInputStream& s) const override;
    void readRecord(int revision, SongInputStream& s) override;

    int font() const { return textFont; }
    void setFont(int index) { textFont = static_cast<uint8_t>(index); }
    // Keeps the text up to its first 0 byte and at most kMaxTextLength bytes, so that it
    // survives being written and read back.
    void setText(std::string_view newText);

    uint8_t textFont = 0;  // any index is kept
    ItemText text;         // the placeholder is shared, not copied
};

// A sustain-pedal mark (name list 38).
class PedalItem : public PositionedItem {
public:
    PedalItem() = default;
    // Position 8 and width reserved, as any new positioned mark.
    explicit PedalItem(bool down) : pedalDown(down ? 1 : 0) {}

    int typeCode() const override { return kPedalItem; }
    void writeRecord(SongInputStream& s) const override;
    void readRecord(int revision, SongInputStream& s) override;
    void contributeToPerformance(PlayState& state, EventSequence& sequence) override;

    void setPedalDown(bool down) { pedalDown = down ? 1 : 0; }
    bool isDown() const { return pedalDown != 0; }
    const char* name() const;  // "Pedal Down" or "Pedal Released"

    uint8_t pedalDown = 0;  // non-zero: pressed; a byte read is kept as it stands
};

}  // namespace scq
