#pragma once

#include <cstdint>

#include "items/NotationItem.h"

namespace scq {

// Clef codes (name list 4) and octave shifts (name list 31).
enum ClefType : int { kTrebleClef = 0, kBassClef = 1, kAltoClef = 2, kTenorClef = 3 };
enum OctaveShift : int { kOctaveNone = 0, kOctaveUp = 1, kOctaveDown = 2 };

// Accidental codes that a key signature gives a letter (the codes of a note's accidental).
enum KeyAccidental : int { kKeySharp = 0, kKeyFlat = 1, kKeyNatural = 2 };

// Time signature styles (name list 24).
enum SignatureStyle : int { kStandardSignature = 0, kCommonTime = 1, kAllaBreve = 2 };

// Fixes the pitch of the staff's middle line.
class ClefItem : public NotationItem {
public:
    ClefItem() = default;
    explicit ClefItem(int type) : clefType(static_cast<uint8_t>(type)) {}

    int typeCode() const override { return kClefItem; }
    int topExtent() const override { return -6; }
    int bottomExtent() const override { return 6; }
    void writeRecord(SongInputStream& s) const override;
    void readRecord(int revision, SongInputStream& s) override;
    void applyToStaffState(PlayState& state) override;

    uint8_t clefType = kTrebleClef;
    int8_t octaveShift = kOctaveNone;
};

// Which letters are sharpened or flattened. Bit n of a mask stands for letter n
// (0 A, 1 B, 2 C, 3 D, 4 E, 5 F, 6 G).
class KeySignatureItem : public NotationItem {
public:
    KeySignatureItem() = default;
    KeySignatureItem(uint16_t sharpMask, uint16_t flatMask) : flats(flatMask), sharps(sharpMask) {}

    int typeCode() const override { return kKeySignatureItem; }
    int topExtent() const override { return -6; }
    int bottomExtent() const override { return 6; }
    void writeRecord(SongInputStream& s) const override;
    void readRecord(int revision, SongInputStream& s) override;
    void auditStep(PlayState& state, Staff& staff, int index) override;
    void applyToStaffState(PlayState& state) override;
    void contributeToPerformance(PlayState& state, EventSequence& sequence) override;

    // The size of a key given by its masks: the count of leading sharps (F C G D A E B) that
    // are set when it is at least the count of leading flats (B E A D G C F), otherwise minus
    // that count of flats.
    static int keySizeOf(uint16_t sharpMask, uint16_t flatMask);

    int keySize() const { return keySizeOf(sharps, flats); }
    // kKeySharp, kKeyFlat or kKeyNatural; a letter outside 0..15 is natural.
    int accidentalOf(int letter) const;
    // A letter outside 0..15 changes nothing.
    void setSharp(int letter);
    void setFlat(int letter);
    void setNatural(int letter);
    // The letters on which this signature shows naturals for the key it cancels.
    uint16_t naturalsShown() const;

    uint16_t flats = 0;
    uint16_t sharps = 0;
    uint8_t clefHint = 0;
    uint16_t cancelledFlats = 0;
    uint16_t cancelledSharps = 0;
};

// The length of a bar.
class TimeSignatureItem : public NotationItem {
public:
    TimeSignatureItem() = default;
    // Out-of-range numbers are replaced as in a record (beats 4, code 2), then the style is
    // applied through setStyle.
    TimeSignatureItem(int beats, int code, int style);

    int typeCode() const override { return kTimeSignatureItem; }
    int topExtent() const override { return -4; }
    int bottomExtent() const override { return 4; }
    void writeRecord(SongInputStream& s) const override;
    void readRecord(int revision, SongInputStream& s) override;
    void applyToStaffState(PlayState& state) override;
    void contributeToPerformance(PlayState& state, EventSequence& sequence) override;

    // beatsPerBar whole notes divided by 2^beatValueCode, in ticks; 0 for a code above 6.
    int barTicks() const;
    // Common Time also sets 4/4, Alla Breve 2/2; any other style leaves the numbers.
    void setStyle(int style);

    uint8_t beatsPerBar = 4;
    unsigned beatValueCode : 4 = 2;
    unsigned signatureStyle : 4 = kStandardSignature;
};

}  // namespace scq
