#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "items/InstrumentPatch.h"
#include "items/ItemText.h"
#include "items/NotationItem.h"

namespace scq {

// Tempo bases (name list 25).
enum TempoBase : int {
    kTempoEighth = 0,
    kTempoDottedEighth = 1,
    kTempoQuarter = 2,
    kTempoDottedQuarter = 3,
    kTempoHalf = 4,
    kTempoDottedHalf = 5,
};

// Dynamics (name lists 17 and 18).
enum Dynamic : int {
    kDynamicPPP = 0,
    kDynamicPP = 1,
    kDynamicP = 2,
    kDynamicMP = 3,
    kDynamicMF = 4,
    kDynamicF = 5,
    kDynamicFF = 6,
    kDynamicFFF = 7
};

// Controller kinds (name lists 21 and 22) and sweep styles (name list 23).
enum ControllerKind : int {
    kControllerTempo = 0,
    kControllerVolume = 1,
    kControllerPitchBend = 4,
    kControllerLast = 17,
};
enum SweepStyle : int { kSweepAbsolute = 0, kSweepLinear = 1 };

// Tempo variation kinds (name list 26).
enum TempoVariationKind : int {
    kBreathMark = 0,
    kFermata = 1,
    kAccelerando = 2,
    kAllargando = 3,
    kRallentando = 4,
    kRitardando = 5,
    kRitenuto = 6,
    kRubato = 7,
    kStringendo = 8,
};

// Dynamic variation kinds (name lists 19 and 20).
enum DynamicVariationKind : int {
    kCrescendo = 0,
    kDecrescendo = 1,
    kDiminuendo = 2,
    kRinforzando = 3,
    kSforzando = 4,
};

// Performance styles (name lists 28 and 29); the ones the articulation of notes reads.
enum PerformanceStyle : int {
    kStyleAdLibitum = 0,
    kStyleLegato = 7,
    kStyleStaccato = 18,
    kStyleTenuto = 20,
    kStyleLast = 22,
};

// Changes the instrument sound.
class InstrumentItem : public PositionedItem {
public:
    InstrumentItem() { position = -8; }
    explicit InstrumentItem(const InstrumentPatch& patch) : instrument(patch) { position = -8; }

    int typeCode() const override { return kInstrumentItem; }
    int defaultVisibility() const override { return kVisNever; }
    void writeRecord(SongInputStream& s) const override;
    void readRecord(int revision, SongInputStream& s) override;
    void contributeToPerformance(PlayState& state, EventSequence& sequence) override;

    InstrumentPatch instrument;
};

// Sets the tempo, stored in quarter notes per minute whatever base it is shown in.
class TempoItem : public PositionedItem {
public:
    TempoItem() = default;
    // `value` counted in `base`; no width reserved, position -10, empty text.
    TempoItem(int value, int base);

    int typeCode() const override { return kTempoItem; }
    void writeRecord(SongInputStream& s) const override;
    void readRecord(int revision, SongInputStream& s) override;
    void contributeToPerformance(PlayState& state, EventSequence& sequence) override;

    // Stores `value`, counted in notes of `base`, as quarter notes per minute and makes `base`
    // the base shown. A base outside 0..5 counts as Quarter.
    void setTempo(int value, int base);
    // The tempo counted in notes of `base` (Quarter for a base outside 0..5).
    int tempoIn(int base) const;

    uint8_t tempoBase = kTempoQuarter;
    int32_t tempo = 120;
    ItemText tempoText;  // at most 79 bytes come from a record
};

// Sets the loudness.
class DynamicItem : public PositionedItem {
public:
    DynamicItem() = default;
    // No explicit values (velocity 0, volume -1), no width reserved.
    explicit DynamicItem(int value);

    int typeCode() const override { return kDynamicItem; }
    void writeRecord(SongInputStream& s) const override;
    void readRecord(int revision, SongInputStream& s) override;
    void applyToStaffState(PlayState& state) override;
    void contributeToPerformance(PlayState& state, EventSequence& sequence) override;

    const char* name() const;       // "Pianissimo (ppp)" ...
    const char* shortName() const;  // "ppp" ...

    unsigned dynamic : 4 = kDynamicPPP;
    unsigned velocityGiven : 1 = 0;
    unsigned volumeGiven : 1 = 0;
    int8_t velocity = 0;  // -1: unset
    int8_t volume = -1;   // negative: unset, sends nothing
};

// One point of a controller mark.
struct ControllerPoint {
    int32_t active = 0;  // non-zero: the point is used
    int32_t offset = 0;  // time after the previous point, in time units
    int32_t value = 100;
    bool operator==(const ControllerPoint&) const = default;
};

// Sends up to four values, optionally swept, to the tempo or a MIDI controller.
class ControllerItem : public PositionedItem {
public:
    static constexpr int kPointCount = 4;

    // Tempo, Absolute, quarter-note time unit, no sweep step, position -8, all points inactive.
    ControllerItem() { position = -8; }

    int typeCode() const override { return kControllerItem; }
    int defaultVisibility() const override { return kVisNever; }
    void writeRecord(SongInputStream& s) const override;
    void readRecord(int revision, SongInputStream& s) override;
    void contributeToPerformance(PlayState& state, EventSequence& sequence) override;

    // Point i (0..3) becomes active with these values; another index changes nothing.
    void setPoint(int i, int32_t offset, int32_t value);
    // Point i returns to inactive, offset 0, value 100.
    void clearPoint(int i);
    // The text shown for the mark: "{mpc:" short name "}".
    std::string label() const;

    const char* shortName() const;  // "tempo", "vol" ...

    int32_t controller = kControllerTempo;  // 0..17
    int32_t sweepStyle = kSweepAbsolute;    // 0..1
    int32_t timeUnit = 2;                   // 0..7: 768 >> timeUnit ticks per unit
    int32_t sweepStep = 0;
    std::array<ControllerPoint, kPointCount> points{};
};

// A breath mark, fermata or gradual tempo change.
class TempoVariationItem : public PositionedItem {
public:
    TempoVariationItem() = default;
    // No width reserved; a breath mark or fermata sits at position -8.
    TempoVariationItem(int kind, int pause);

    int typeCode() const override { return kTempoVariationItem; }
    void writeRecord(SongInputStream& s) const override;
    void readRecord(int revision, SongInputStream& s) override;
    void contributeToPerformance(PlayState& state, EventSequence& sequence) override;

    const char* name() const;   // "Breath Mark" ...
    const char* glyph() const;  // music-font character of a breath mark or fermata

    int8_t variationKind = kBreathMark;  // 0..8
    uint8_t pauseLength = 0;
    // Run time, filled in by the audit; 0 after reading.
    uint16_t startTempo = 0;
    uint16_t endTempo = 0;
    int32_t rampTicks = 0;
};

// A gradual or sudden change of loudness.
class DynamicVariationItem : public PositionedItem {
public:
    DynamicVariationItem() = default;
    // No width reserved, run-time values as after reading.
    explicit DynamicVariationItem(int kind);

    int typeCode() const override { return kDynamicVariationItem; }
    void writeRecord(SongInputStream& s) const override;
    void readRecord(int revision, SongInputStream& s) override;
    void applyToStaffState(PlayState& state) override;
    void contributeToPerformance(PlayState& state, EventSequence& sequence) override;

    const char* name() const;       // "Crescendo" ...
    const char* shortName() const;  // "cresc." ...

    uint8_t variationKind = kCrescendo;  // any value is kept
    // Run time, filled in by the audit; a negative start volume or a zero length: no ramp.
    uint8_t targetVelocity = 0;
    int8_t startVolume = -1;
    int8_t endVolume = -1;
    int32_t rampTicks = 0;
};

// A playing style such as Legato or Staccato.
class PerformanceStyleItem : public PositionedItem {
public:
    PerformanceStyleItem() = default;
    // No width reserved.
    explicit PerformanceStyleItem(int style);

    int typeCode() const override { return kPerformanceStyleItem; }
    void writeRecord(SongInputStream& s) const override;
    void readRecord(int revision, SongInputStream& s) override;
    void applyToStaffState(PlayState& state) override;

    const char* name() const;       // "Ad Libitum" ...
    const char* shortName() const;  // "ad lib." ...

    int8_t performanceStyle = kStyleAdLibitum;  // 0..22
};

}  // namespace scq
