#pragma once

#include <cstdint>
#include <memory>
#include <new>

namespace scq {

class SongInputStream;
class EventSequence;
class Staff;
struct PlayState;
class NoteItem;
class RestItem;

// Type codes: the 16-bit word in front of every item record.
enum ItemType : int {
    kClefItem = 0,
    kKeySignatureItem = 1,
    kBarLineItem = 2,
    kEndingItem = 3,
    kInstrumentItem = 4,
    kTimeSignatureItem = 5,
    kTempoItem = 6,
    kDynamicItem = 7,
    kNoteItem = 8,
    kRestItem = 9,
    kChordItem = 10,
    kPedalItem = 11,
    kFlowDirectionItem = 12,
    kControllerItem = 13,
    kTempoVariationItem = 14,
    kDynamicVariationItem = 15,
    kPerformanceStyleItem = 16,
    kTextItem = 17,
    kRestChordItem = 18,
    kItemTypeCount = 19,
};

// Values of `visibility`.
enum Visibility : unsigned { kVisDefault = 0, kVisAlways = 1, kVisOnTopStaff = 2, kVisNever = 3 };

// Abstract base of the nineteen item kinds. The virtual operations keep their fixed slot
// order; the drawing slots (18-20) have no place in a console program and are left out.
class NotationItem {
public:
    NotationItem() = default;
    NotationItem(const NotationItem&) = delete;
    NotationItem& operator=(const NotationItem&) = delete;

    // slot 0: destroy
    virtual ~NotationItem() = default;
    // slot 1
    virtual int typeCode() const = 0;
    // slot 2: writes the record (without type code) in the newest layout.
    virtual void writeRecord(SongInputStream& s) const;
    // slot 3
    virtual void copyAttributesFrom(const NotationItem& other);
    // slot 4
    virtual int defaultVisibility() const { return kVisAlways; }
    // slot 5
    virtual int memberCount() const { return 0; }
    // slot 6
    virtual NoteItem* member(int) { return nullptr; }
    // slot 7
    virtual RestItem* asRest() { return nullptr; }
    // slot 8
    virtual NoteItem* memberAtPosition(int) { return nullptr; }
    // slot 9
    virtual bool isPitched() const { return false; }
    // slot 10
    virtual bool hasDuration() const { return false; }
    // slot 11
    virtual bool hasNotes() const { return false; }
    // slot 12
    virtual bool isRest() const { return false; }
    // slot 13
    virtual bool isPositioned() const { return false; }
    // slot 14: staff steps, negative above the middle line.
    virtual int verticalPosition() const { return 0; }
    // slot 15: the smallest staff position the item covers.
    virtual int topExtent() const { return verticalPosition(); }
    // slot 16: the largest staff position the item covers.
    virtual int bottomExtent() const { return verticalPosition(); }
    // slot 17
    virtual void setVerticalPosition(int) {}
    // slot 21: the audit step, with the audit walk's state, the staff and the item's index.
    virtual void auditStep(PlayState&, Staff&, int) {}
    // slot 22
    virtual void applyToStaffState(PlayState&) {}
    // slot 23
    virtual int durationTicks() const { return 0; }
    // slot 24
    virtual void contributeToPerformance(PlayState&, EventSequence&) {}
    // slot 25
    virtual int nextPlayIndex(PlayState&, Staff&, int index) { return index + 1; }
    // slot 26
    virtual void resolveAccidentals(PlayState&) {}

    // Reads the item's record (after its type code) for a format revision. Each kind first
    // runs the reader of its base, then reads its own part. Errors show in the stream's flag.
    virtual void readRecord(int revision, SongInputStream& s);

    // Whether the item is shown on a staff, `visibility` Default resolved.
    int effectiveVisibility() const {
        return visibility == kVisDefault ? defaultVisibility() : static_cast<int>(visibility);
    }

    // Every item goes through this when its owner deletes it: the item is destroyed, and its
    // storage given back to the heap unless an item arena holds it.
    void operator delete(NotationItem* item, std::destroying_delete_t);
    // Set by the arena that made the item.
    void markArenaHeld() { arenaHeld_ = 1; }
    bool arenaHeld() const { return arenaHeld_ != 0; }

    unsigned visibility : 2 = 0;
    unsigned colour : 2 = 0;

private:
    unsigned arenaHeld_ : 1 = 0;
};

// Abstract base of the marks that carry a vertical position and layout flags
// (kinds 4, 6, 7, 11, 12, 13, 14, 15, 16, 17).
class PositionedItem : public NotationItem {
public:
    void writeRecord(SongInputStream& s) const override;
    void copyAttributesFrom(const NotationItem& other) override;
    bool isPositioned() const override { return true; }
    int verticalPosition() const override { return position; }
    void setVerticalPosition(int p) override { position = static_cast<int8_t>(p); }
    void readRecord(int revision, SongInputStream& s) override;

    int8_t position = 8;
    unsigned reservesWidth : 1 = 1;
    unsigned justification : 2 = 0;
    unsigned placement : 2 = 0;
};

}  // namespace scq
