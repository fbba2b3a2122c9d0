#include "items/Signatures.h"

#include "stream/SongInputStream.h"

namespace scq {

namespace {

// Letters in the order their signs are added to a key.
constexpr int kSharpOrder[7] = {5, 2, 6, 3, 0, 4, 1};  // F C G D A E B
constexpr int kFlatOrder[7] = {1, 4, 0, 3, 6, 2, 5};   // B E A D G C F

int leadingCount(uint16_t mask, const int (&order)[7]) {
    int n = 0;
    while (n < 7 && ((mask >> order[n]) & 1u) != 0) ++n;
    return n;
}

bool validLetter(int letter) {
    return letter >= 0 && letter < 16;
}

uint16_t bitOf(int letter) {
    return static_cast<uint16_t>(1u << letter);
}

// A clef code outside 0..3 reads as Treble.
uint8_t clefCodeFrom(int word) {
    return word >= 0 && word <= 3 ? static_cast<uint8_t>(word) : 0;
}

}  // namespace

// ---- ClefItem ----

void ClefItem::readRecord(int revision, SongInputStream& s) {
    NotationItem::readRecord(revision, s);
    clefType = clefCodeFrom(s.ReadInt16());
    octaveShift = revision > 3 ? static_cast<int8_t>(static_cast<uint8_t>(s.ReadUInt16() & 0xFF))
                               : static_cast<int8_t>(kOctaveNone);
}

void ClefItem::writeRecord(SongInputStream& s) const {
    NotationItem::writeRecord(s);
    s.WriteInt16(clefType);
    s.WriteInt16(octaveShift);
}

// ---- KeySignatureItem ----

void KeySignatureItem::readRecord(int revision, SongInputStream& s) {
    NotationItem::readRecord(revision, s);
    flats = static_cast<uint16_t>(s.ReadUInt16());
    sharps = static_cast<uint16_t>(s.ReadUInt16());
    clefHint = clefCodeFrom(s.ReadInt16());
    if (revision > 2) {
        cancelledFlats = static_cast<uint16_t>(s.ReadUInt16());
        cancelledSharps = static_cast<uint16_t>(s.ReadUInt16());
    } else {
        cancelledFlats = 0;
        cancelledSharps = 0;
    }
}

void KeySignatureItem::writeRecord(SongInputStream& s) const {
    NotationItem::writeRecord(s);
    s.WriteInt16(flats);
    s.WriteInt16(sharps);
    s.WriteInt16(clefHint);
    s.WriteInt16(cancelledFlats);
    s.WriteInt16(cancelledSharps);
}

int KeySignatureItem::keySizeOf(uint16_t sharpMask, uint16_t flatMask) {
    const int s = leadingCount(sharpMask, kSharpOrder);
    const int f = leadingCount(flatMask, kFlatOrder);
    return s >= f ? s : -f;
}

int KeySignatureItem::accidentalOf(int letter) const {
    if (!validLetter(letter)) return kKeyNatural;
    if (sharps & bitOf(letter)) return kKeySharp;
    if (flats & bitOf(letter)) return kKeyFlat;
    return kKeyNatural;
}

void KeySignatureItem::setSharp(int letter) {
    if (!validLetter(letter)) return;
    sharps = static_cast<uint16_t>(sharps | bitOf(letter));
    flats = static_cast<uint16_t>(flats & ~bitOf(letter));
}

void KeySignatureItem::setFlat(int letter) {
    if (!validLetter(letter)) return;
    flats = static_cast<uint16_t>(flats | bitOf(letter));
    sharps = static_cast<uint16_t>(sharps & ~bitOf(letter));
}

void KeySignatureItem::setNatural(int letter) {
    if (!validLetter(letter)) return;
    sharps = static_cast<uint16_t>(sharps & ~bitOf(letter));
    flats = static_cast<uint16_t>(flats & ~bitOf(letter));
}

uint16_t KeySignatureItem::naturalsShown() const {
    // A signature that mixes flats and sharps shows no naturals.
    if (flats != 0 && sharps != 0) return 0;
    uint16_t shown = 0;
    if (cancelledSharps != 0 && cancelledFlats == 0) {
        shown = static_cast<uint16_t>(cancelledSharps & ~sharps);
    }
    if (cancelledFlats != 0 && cancelledSharps == 0) {
        shown = static_cast<uint16_t>(shown | (cancelledFlats & ~flats));
    }
    return shown;
}

// ---- TimeSignatureItem ----

namespace {
uint8_t beatsFrom(unsigned word) {
    return word < 100 ? static_cast<uint8_t>(word) : 4;
}
unsigned beatCodeFrom(unsigned word) {
    return word < 6 ? word : 2u;
}
}  // namespace

TimeSignatureItem::TimeSignatureItem(int beats, int code, int style)
    : beatsPerBar(beatsFrom(static_cast<unsigned>(beats))),
      beatValueCode(beatCodeFrom(static_cast<unsigned>(code))) {
    setStyle(style);
}

void TimeSignatureItem::readRecord(int revision, SongInputStream& s) {
    NotationItem::readRecord(revision, s);
    beatsPerBar = beatsFrom(s.ReadUInt16());
    beatValueCode = beatCodeFrom(s.ReadUInt16());
    // The stored style is kept as it stands: Common Time over 3/4 stays 3/4.
    signatureStyle = revision >= 3 ? (s.ReadUInt16() & 0xFu) : 0u;
}

void TimeSignatureItem::writeRecord(SongInputStream& s) const {
    NotationItem::writeRecord(s);
    s.WriteInt16(beatsPerBar);
    s.WriteInt16(static_cast<int>(beatValueCode));
    s.WriteInt16(static_cast<int>(signatureStyle));
}

int TimeSignatureItem::barTicks() const {
    if (beatValueCode > 6) return 0;
    return beatsPerBar * (768 >> beatValueCode);
}

void TimeSignatureItem::setStyle(int style) {
    signatureStyle = static_cast<unsigned>(style) & 0xFu;
    if (signatureStyle == kCommonTime) {
        beatsPerBar = 4;
        beatValueCode = 2;
    } else if (signatureStyle == kAllaBreve) {
        beatsPerBar = 2;
        beatValueCode = 1;
    }
}

}  // namespace scq
