#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "items/NotationItem.h"

namespace scq {

// Abstract base of the four kinds that occupy time on a staff: notes, rests, chords and rest
// chords. Holds the duration model: base duration, dots, sixteen attribute flags, beam and
// triplet group positions, stem and slur direction, lyric setting and two spacing values.
class DurationItem : public NotationItem {
public:
    // Bits of `attributes`.
    static constexpr int kAccented = 0;
    static constexpr int kDotted = 1;
    static constexpr int kStaccato = 2;
    static constexpr int kTieOut = 3;
    static constexpr int kTieIn = 4;
    static constexpr int kChordMember = 5;
    static constexpr int kAttached = 6;  // set on the chord that a rest chord carries
    static constexpr int kSlurOut = 7;
    static constexpr int kSlurIn = 8;
    static constexpr int kTenuto = 9;
    static constexpr int kAttribute10 = 10;  // excludes 11
    static constexpr int kAttribute11 = 11;  // excludes 10
    static constexpr int kDoubleDotted = 12;
    static constexpr int kGrace = 13;
    static constexpr int kExplicitTieDirection = 14;
    static constexpr int kExplicitSlurDirection = 15;

    // Values of `baseDuration`; 7..15 are kept as read.
    static constexpr unsigned kWhole = 0;
    static constexpr unsigned kHalf = 1;
    static constexpr unsigned kQuarter = 2;
    static constexpr unsigned kEighth = 3;
    static constexpr unsigned kSixteenth = 4;
    static constexpr unsigned kThirtysecond = 5;
    static constexpr unsigned kSixtyfourth = 6;

    // Values of `beamPosition` and `tripletPosition`.
    static constexpr unsigned kNotPresent = 0;
    static constexpr unsigned kGroupFirst = 1;
    static constexpr unsigned kGroupMiddle = 2;
    static constexpr unsigned kGroupEnd = 3;

    // Group kinds of setGroupPosition.
    static constexpr int kBeamGroup = 0;
    static constexpr int kTripletGroup = 1;

    // Values of `stemDirection`.
    static constexpr unsigned kStemDefault = 0;
    static constexpr unsigned kStemUp = 1;
    static constexpr unsigned kStemDown = 2;

    // Values of `lyricSetting`.
    static constexpr unsigned kLyricDefault = 0;
    static constexpr unsigned kLyricAlways = 1;
    static constexpr unsigned kLyricNever = 2;

    // Values of the tie and slur direction settings.
    static constexpr int kDirectionDefault = 0;
    static constexpr int kDirectionUpward = 1;
    static constexpr int kDirectionDownward = 2;

    bool hasDuration() const override { return true; }
    int durationTicks() const override;
    void copyAttributesFrom(const NotationItem& other) override;
    void readRecord(int revision, SongInputStream& s) override;
    void writeRecord(SongInputStream& s) const override;

    // slot 27
    virtual void setBaseDuration(int n) { baseDuration = static_cast<unsigned>(n) & 15u; }
    // slot 28: sets bit n, then clears the bit that it excludes.
    virtual void setAttribute(int n);
    // slot 29: clears bit n alone.
    virtual void clearAttribute(int n);
    // slot 30: group 0 beam, 1 triplet; other groups are ignored.
    virtual void setGroupPosition(int group, int position);
    // slot 31
    virtual void setBeamPosition(int p) { beamPosition = static_cast<unsigned>(p) & 3u; }
    // slot 32
    virtual void setTripletPosition(int p) { tripletPosition = static_cast<unsigned>(p) & 3u; }
    // slot 33
    virtual void setStemDirection(int d) { stemDirection = static_cast<unsigned>(d) & 3u; }
    // slot 34: 0 Default, above 0 Up, below 0 Down.
    virtual void setStemFromSign(int sign);
    // slot 35: recomputes what a chord takes from its members; nothing for a plain item.
    virtual void refreshMembers() {}
    // slot 36: a chord whose lowest and highest members have different stem directions.
    virtual bool hasSplitStems() const { return false; }
    // slot 43
    virtual bool takesLyricByDefault() const { return false; }

    bool hasAttribute(int n) const { return n >= 0 && n < 16 && ((attributes >> n) & 1u) != 0; }
    // Whether a lyric syllable is assigned to the item.
    bool takesLyric() const;
    // +1 when the stem points up (Up, or Default and the item below the middle line), else -1.
    int stemSign() const;

    // 0 Default, 1 Upward, 2 Downward, from attribute 15 and `slurDirection`.
    int slurDirectionSetting() const;
    void setSlurDirectionSetting(int setting);

    uint16_t attributes = 0;
    unsigned accidentalSpacing : 4 = 0;
    unsigned noteSpacing : 4 = 0;
    unsigned baseDuration : 4 = 0;
    unsigned beamPosition : 2 = 0;
    unsigned tripletPosition : 2 = 0;
    unsigned stemDirection : 2 = 0;
    unsigned slurDirection : 1 = 0;
    unsigned lyricSetting : 2 = 0;

protected:
    DurationItem() = default;
    DurationItem(int baseDuration, int attributes);
};

// A single note (type 8).
class NoteItem : public DurationItem {
public:
    // Values of `accidental`.
    static constexpr unsigned kSharp = 0;
    static constexpr unsigned kFlat = 1;
    static constexpr unsigned kNatural = 2;
    static constexpr unsigned kDoubleSharp = 3;
    static constexpr unsigned kDoubleFlat = 4;
    static constexpr unsigned kNoAccidental = 5;

    // A quarter note on the middle line, as the factory makes it before reading.
    NoteItem();
    // A note made new: `tieDirection` 1 (downward) at positions 0 and below the middle line,
    // 0 above it; the other note flags 0.
    NoteItem(int staffPosition, int baseDuration, int attributes, int accidental);

    int typeCode() const override { return kNoteItem; }
    void writeRecord(SongInputStream& s) const override;
    void readRecord(int revision, SongInputStream& s) override;
    void copyAttributesFrom(const NotationItem& other) override;
    int memberCount() const override { return 1; }
    NoteItem* member(int) override { return this; }
    NoteItem* memberAtPosition(int p) override { return staffPosition == p ? this : nullptr; }
    bool isPitched() const override { return true; }
    bool hasNotes() const override { return true; }
    int verticalPosition() const override { return staffPosition; }
    void setVerticalPosition(int p) override { staffPosition = static_cast<int8_t>(p); }
    bool takesLyricByDefault() const override;

    void auditStep(PlayState& state, Staff& staff, int index) override;
    void applyToStaffState(PlayState& state) override;
    void contributeToPerformance(PlayState& state, EventSequence& sequence) override;

    // slot 44: the lowest note; a note is its own.
    virtual NoteItem* firstMember() { return this; }
    // slot 45: the highest note; a note is its own.
    virtual NoteItem* lastMember() { return this; }
    // slot 46: Eighth 1, Sixteenth 2, Thirtysecond 3, Sixtyfourth 4, otherwise 0.
    virtual int flagCount() const;
    // slot 47: not a chord member, not in a beam, not a whole note.
    virtual bool drawsOwnFlag() const;

    // 0 Default, 1 Upward, 2 Downward, from attribute 14 and `tieDirection`.
    int tieDirectionSetting() const;
    void setTieDirectionSetting(int setting);

    int8_t staffPosition = 0;
    unsigned accidental : 3 = kNoAccidental;
    unsigned tieDirection : 1 = 0;
    unsigned muted : 1 = 0;
    unsigned noLedgerLines : 1 = 0;
    unsigned hiddenStem : 1 = 0;
    unsigned secondSide : 1 = 0;  // layout only, worked out by the chord refresh
};

// A rest (type 9).
class RestItem : public DurationItem {
public:
    RestItem() : RestItem(kQuarter, 0) {}
    RestItem(int baseDuration, int attributes) : DurationItem(baseDuration, attributes) {}

    int typeCode() const override { return kRestItem; }
    void writeRecord(SongInputStream& s) const override;
    void readRecord(int revision, SongInputStream& s) override;
    void copyAttributesFrom(const NotationItem& other) override;
    RestItem* asRest() override { return this; }
    bool isRest() const override { return true; }
    int verticalPosition() const override;
    int topExtent() const override;
    int bottomExtent() const override;
    // The measured length while it is set, else the length of the duration.
    int durationTicks() const override;

    void auditStep(PlayState& state, Staff& staff, int index) override;
    void applyToStaffState(PlayState& state) override;

    // `isMeasured` 1 and `measuredLength` = count x (768 >> unit), unit coded as
    // `baseDuration`. The full product is kept.
    void setMeasuredLength(int count, int unit);
    void clearMeasured() { isMeasured = 0; }
    // A whole rest without dots, not in a triplet and (for a rest chord) without a chord.
    virtual bool isLoneWholeRest() const;

    // The two bit fields share one word, so that a rest takes 24 bytes.
    int verticalOffset : 12 = 0;
    unsigned isMeasured : 1 = 0;
    int32_t measuredLength = 768;  // not stored in the file
};

// A note that owns several member notes sounding together (type 10). The chord's own staff
// position, base duration, dots and ties are those of its representative member.
class ChordItem : public NoteItem {
public:
    // A quarter on the middle line, no attributes, no accidental; the members are inserted
    // in member order.
    explicit ChordItem(std::vector<std::unique_ptr<NoteItem>> newMembers = {});

    int typeCode() const override { return kChordItem; }
    void writeRecord(SongInputStream& s) const override;
    void readRecord(int revision, SongInputStream& s) override;
    int memberCount() const override { return static_cast<int>(members.size()); }
    NoteItem* member(int i) override;
    NoteItem* memberAtPosition(int p) override;
    int verticalPosition() const override;
    int topExtent() const override;
    int bottomExtent() const override;
    void refreshMembers() override;
    bool hasSplitStems() const override;
    NoteItem* firstMember() override;
    NoteItem* lastMember() override;

    void auditStep(PlayState& state, Staff& staff, int index) override;
    void applyToStaffState(PlayState& state) override;
    void contributeToPerformance(PlayState& state, EventSequence& sequence) override;

    // Inserts before the first member whose staff position is smaller, or equal with a greater
    // stem sign; otherwise at the end. Members stay lowest note first.
    void insertMember(std::unique_ptr<NoteItem> note);

    std::vector<std::unique_ptr<NoteItem>> members;
    unsigned headLayout : 4 = 1;  // 1, or 2 when two neighbouring heads are one step apart

private:
    // The member that gives the chord its position and duration, and the chord's stem sign.
    NoteItem* representative(int& sign) const;
    void layOutHeads(int sign);
};

// A rest that carries a chord for a second voice (type 18).
class RestChordItem : public RestItem {
public:
    RestChordItem() = default;
    RestChordItem(int baseDuration, int attributes) : RestItem(baseDuration, attributes) {}

    int typeCode() const override { return kRestChordItem; }
    void writeRecord(SongInputStream& s) const override;
    void readRecord(int revision, SongInputStream& s) override;
    int memberCount() const override;
    NoteItem* member(int i) override;
    NoteItem* memberAtPosition(int p) override;
    bool hasNotes() const override { return attachedChord != nullptr; }
    void refreshMembers() override;
    bool hasSplitStems() const override;
    bool takesLyricByDefault() const override;
    bool isLoneWholeRest() const override;

    void auditStep(PlayState& state, Staff& staff, int index) override;
    void applyToStaffState(PlayState& state) override;
    void contributeToPerformance(PlayState& state, EventSequence& sequence) override;

    // A chord in files the editor writes; a lone note is accepted as well.
    std::unique_ptr<NoteItem> attachedChord;
};

}  // namespace scq
