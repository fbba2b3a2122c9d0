#include "items/PerformanceMarks.h"

#include "items/NameList.h"
#include "stream/SongInputStream.h"

namespace scq {

namespace {

constexpr size_t kTextBufferSize = 80;

int8_t lowByte(unsigned word) {
    return static_cast<int8_t>(static_cast<uint8_t>(word & 0xFFu));
}
int8_t highByte(unsigned word) {
    return static_cast<int8_t>(static_cast<uint8_t>((word >> 8) & 0xFFu));
}

// The packed word of old records of tempo variations, dynamic variations and performance
// styles: bits 8-15 the position, bit 7 whether width is reserved, bits 0-6 the value.
unsigned readPackedMark(PositionedItem& item, SongInputStream& s) {
    const unsigned p = s.ReadUInt16();
    item.position = highByte(p);
    item.reservesWidth = (p >> 7) & 1u;
    return p & 0x7Fu;
}

ItemText readText(SongInputStream& s) {
    char buffer[kTextBufferSize] = {};
    s.ReadString(buffer, sizeof buffer);
    return ItemText(buffer);
}

}  // namespace

// ---- InstrumentItem ----

void InstrumentItem::readRecord(int revision, SongInputStream& s) {
    PositionedItem::readRecord(revision, s);
    instrument.bankSelect = s.ReadInt16();
    instrument.bank = s.ReadInt16();
    instrument.patch = s.ReadInt16();
}

void InstrumentItem::writeRecord(SongInputStream& s) const {
    PositionedItem::writeRecord(s);
    s.WriteInt16(instrument.bankSelect);
    s.WriteInt16(instrument.bank);
    s.WriteInt16(instrument.patch);
}

// ---- TempoItem ----

TempoItem::TempoItem(int value, int base) {
    reservesWidth = 0;
    position = -10;
    setTempo(value, base);
}

void TempoItem::setTempo(int value, int base) {
    const int64_t v = value;
    int64_t quarters = v;
    switch (base) {
        case kTempoEighth:
            quarters = v / 2;
            break;
        case kTempoDottedEighth:
            quarters = v * 3 / 4;
            break;
        case kTempoDottedQuarter:
            quarters = v * 3 / 2;
            break;
        case kTempoHalf:
            quarters = v * 2;
            break;
        case kTempoDottedHalf:
            quarters = v * 3;
            break;
        default:
            break;
    }
    tempo = static_cast<int32_t>(quarters);
    tempoBase = static_cast<uint8_t>(base);
}

int TempoItem::tempoIn(int base) const {
    const int64_t t = tempo;
    int64_t counted = t;
    switch (base) {
        case kTempoEighth:
            counted = t * 2;
            break;
        case kTempoDottedEighth:
            counted = t * 4 / 3;
            break;
        case kTempoDottedQuarter:
            counted = t * 2 / 3;
            break;
        case kTempoHalf:
            counted = t / 2;
            break;
        case kTempoDottedHalf:
            counted = t / 3;
            break;
        default:
            break;
    }
    return static_cast<int>(static_cast<int32_t>(counted));
}

void TempoItem::readRecord(int revision, SongInputStream& s) {
    PositionedItem::readRecord(revision, s);
    if (revision >= 11) {
        tempo = s.ReadInt16();
        tempoBase = static_cast<uint8_t>(s.ReadU8());
        tempoText = readText(s);
        return;
    }
    position = lowByte(s.ReadUInt16());
    tempo = s.ReadInt16();
    tempoText.clear();
    if (revision <= 2) {
        tempoBase = kTempoQuarter;
        return;
    }
    tempoBase = static_cast<uint8_t>(s.ReadUInt16() & 0xFFu);
    if (revision == 3) return;
    // Word F: bits 0-3 the tempo word, bit 4 shows the value, bit 5 shows the word, bit 6
    // reserves width. A mark that shows neither is hidden.
    const unsigned f = s.ReadUInt16();
    const bool showsValue = (f & 0x10u) != 0;
    const bool showsWord = (f & 0x20u) != 0;
    reservesWidth = (f >> 6) & 1u;
    if (!showsValue && !showsWord) visibility = kVisNever;
    if (showsWord) tempoText = oldTempoWord(static_cast<int>(f & 0xFu));
}

void TempoItem::writeRecord(SongInputStream& s) const {
    PositionedItem::writeRecord(s);
    s.WriteInt16(tempo);
    s.WriteByte(tempoBase);
    s.WriteString(tempoText.c_str());
}

// ---- DynamicItem ----

DynamicItem::DynamicItem(int value) : dynamic(static_cast<unsigned>(value) & 0xFu) {
    reservesWidth = 0;
}

void DynamicItem::readRecord(int revision, SongInputStream& s) {
    PositionedItem::readRecord(revision, s);
    if (revision <= 3) {
        position = lowByte(s.ReadUInt16());
        dynamic = s.ReadUInt16() & 0xFu;
        velocityGiven = 0;
        volumeGiven = 0;
        velocity = -1;
        volume = -1;
    } else {
        unsigned d = 0;
        if (revision >= 11) {
            d = static_cast<unsigned>(s.ReadU8());
        } else {
            // Word P: bits 8-15 the position, bit 4 reserves width, low byte D; before the
            // common byte existed bit 7 hid the mark.
            const unsigned p = s.ReadUInt16();
            position = highByte(p);
            reservesWidth = (p >> 4) & 1u;
            d = p & 0xFFu;
            if (revision < 10 && (p & 0x80u) != 0) visibility = kVisNever;
        }
        dynamic = d & 0xFu;
        velocityGiven = (d >> 5) & 1u;
        volumeGiven = (d >> 6) & 1u;
        velocity = lowByte(s.ReadUInt16());
        volume = lowByte(s.ReadUInt16());
    }
    if (dynamic >= 8) dynamic = kDynamicPPP;
}

void DynamicItem::writeRecord(SongInputStream& s) const {
    PositionedItem::writeRecord(s);
    s.WriteByte(static_cast<int>(dynamic + velocityGiven * 32u + volumeGiven * 64u));
    s.WriteInt16(velocity);
    s.WriteInt16(volume);
}

const char* DynamicItem::name() const {
    return NameList::name(kNamesDynamics, static_cast<int>(dynamic));
}
const char* DynamicItem::shortName() const {
    return NameList::name(kNamesDynamicsShort, static_cast<int>(dynamic));
}

// ---- ControllerItem ----

void ControllerItem::readRecord(int revision, SongInputStream& s) {
    PositionedItem::readRecord(revision, s);
    controller = s.ReadInt16();
    sweepStyle = s.ReadInt16();
    timeUnit = s.ReadInt16();
    sweepStep = s.ReadInt16();
    for (ControllerPoint& point : points) {
        point.active = s.ReadInt16();
        point.offset = s.ReadInt16();
        point.value = s.ReadInt16();
    }
    if (controller < 0 || controller > kControllerLast) controller = kControllerTempo;
    if (sweepStyle < 0 || sweepStyle > kSweepLinear) sweepStyle = kSweepAbsolute;
    if (timeUnit < 0 || timeUnit > 7) timeUnit = 0;
}

void ControllerItem::writeRecord(SongInputStream& s) const {
    PositionedItem::writeRecord(s);
    s.WriteInt16(controller);
    s.WriteInt16(sweepStyle);
    s.WriteInt16(timeUnit);
    s.WriteInt16(sweepStep);
    for (const ControllerPoint& point : points) {
        s.WriteInt16(point.active);
        s.WriteInt16(point.offset);
        s.WriteInt16(point.value);
    }
}

void ControllerItem::setPoint(int i, int32_t offset, int32_t value) {
    if (i < 0 || i >= kPointCount) return;
    points[static_cast<size_t>(i)] = ControllerPoint{1, offset, value};
}

void ControllerItem::clearPoint(int i) {
    if (i < 0 || i >= kPointCount) return;
    points[static_cast<size_t>(i)] = ControllerPoint{};
}

const char* ControllerItem::shortName() const {
    return NameList::name(kNamesControllersShort, controller);
}

std::string ControllerItem::label() const {
    return std::string("{mpc:") + shortName() + "}";
}

// ---- TempoVariationItem ----

TempoVariationItem::TempoVariationItem(int kind, int pause)
    : variationKind(static_cast<int8_t>(kind)), pauseLength(static_cast<uint8_t>(pause)) {
    reservesWidth = 0;
    if (kind == kBreathMark || kind == kFermata) position = -8;
}

void TempoVariationItem::readRecord(int revision, SongInputStream& s) {
    PositionedItem::readRecord(revision, s);
    if (revision >= 11) {
        variationKind = lowByte(static_cast<unsigned>(s.ReadU8()));
        pauseLength = static_cast<uint8_t>(s.ReadU8());
    } else {
        variationKind = static_cast<int8_t>(readPackedMark(*this, s));
        pauseLength = static_cast<uint8_t>(s.ReadUInt16() & 0xFFu);
    }
    // Older files did not store the layout of a fermata that takes no room: it is centred at
    // the next note or bar.
    if (revision <= 11 && variationKind == kFermata && reservesWidth == 0) {
        placement = 3;
        justification = 1;
    }
    if (variationKind < 0 || variationKind > kStringendo) variationKind = kBreathMark;
    startTempo = 0;
    endTempo = 0;
    rampTicks = 0;
}

void TempoVariationItem::writeRecord(SongInputStream& s) const {
    PositionedItem::writeRecord(s);
    s.WriteByte(static_cast<uint8_t>(variationKind));
    s.WriteByte(pauseLength);
}

const char* TempoVariationItem::name() const {
    return NameList::name(kNamesTempoVariations, variationKind);
}
const char* TempoVariationItem::glyph() const {
    return NameList::name(kNamesTempoVariationGlyphs, variationKind);
}

// ---- DynamicVariationItem ----

DynamicVariationItem::DynamicVariationItem(int kind) : variationKind(static_cast<uint8_t>(kind)) {
    reservesWidth = 0;
}

void DynamicVariationItem::readRecord(int revision, SongInputStream& s) {
    PositionedItem::readRecord(revision, s);
    if (revision >= 11) {
        variationKind = static_cast<uint8_t>(s.ReadU8());
    } else {
        variationKind = static_cast<uint8_t>(readPackedMark(*this, s));
    }
    targetVelocity = 0;
    startVolume = -1;
    endVolume = -1;
    rampTicks = 0;
}

void DynamicVariationItem::writeRecord(SongInputStream& s) const {
    PositionedItem::writeRecord(s);
    s.WriteByte(variationKind);
}

const char* DynamicVariationItem::name() const {
    return NameList::name(kNamesDynamicVariations, variationKind);
}
const char* DynamicVariationItem::shortName() const {
    return NameList::name(kNamesDynamicVariationsShort, variationKind);
}

// ---- PerformanceStyleItem ----

PerformanceStyleItem::PerformanceStyleItem(int style)
    : performanceStyle(static_cast<int8_t>(style)) {
    reservesWidth = 0;
}

void PerformanceStyleItem::readRecord(int revision, SongInputStream& s) {
    PositionedItem::readRecord(revision, s);
    if (revision >= 11) {
        performanceStyle = lowByte(static_cast<unsigned>(s.ReadU8()));
    } else {
        performanceStyle = static_cast<int8_t>(readPackedMark(*this, s));
    }
    if (performanceStyle < 0 || performanceStyle > kStyleLast) performanceStyle = kStyleAdLibitum;
}

void PerformanceStyleItem::writeRecord(SongInputStream& s) const {
    PositionedItem::writeRecord(s);
    s.WriteByte(static_cast<uint8_t>(performanceStyle));
}

const char* PerformanceStyleItem::name() const {
    return NameList::name(kNamesPerformanceStyles, performanceStyle);
}
const char* PerformanceStyleItem::shortName() const {
    return NameList::name(kNamesPerformanceStylesShort, performanceStyle);
}

}  // namespace scq
