#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "items/NotationItem.h"

namespace scq {

// Values of `barStyle` (name list 5).
enum BarStyle : unsigned {
    kBarSingle = 0,
    kBarDouble = 1,
    kBarSectionOpen = 2,
    kBarSectionClose = 3,
    kBarLocalRepeatOpen = 4,
    kBarLocalRepeatClose = 5,
    kBarMasterRepeatOpen = 6,
    kBarMasterRepeatClose = 7,
};

// Values of a staff's `endingBar` (name list 6).
enum EndingBar : int {
    kEndingSectionClose = 0,
    kEndingMasterRepeatClose = 1,
    kEndingSingle = 2,
    kEndingDouble = 3,
    kEndingOpenHidden = 4,
};

// Values of `flowKind` (name list 7).
enum FlowKind : int {
    kFlowCoda = 0,
    kFlowSegno = 1,
    kFlowFine = 2,
    kFlowToCoda = 3,
    kFlowDaCapo = 4,
    kFlowDcAlCoda = 5,
    kFlowDcAlFine = 6,
    kFlowDalSegno = 7,
    kFlowDsAlCoda = 8,
    kFlowDsAlFine = 9,
};

// A bar line: closes a bar and may open or close a repeated section.
class BarLineItem : public NotationItem {
public:
    // For the factory, before a record is read: Single, played once.
    BarLineItem() = default;
    // Made new: both values taken unchanged, the flags clear.
    BarLineItem(int style, int count);

    // The closing bar line for a staff's `endingBar` code.
    static std::unique_ptr<BarLineItem> makeFromEndingBar(int code);
    // Restyles this bar line as makeFromEndingBar would make it (visibility reset first).
    void restyleFromEndingBar(int code);

    // Sets the style and the repeat count: a Local Repeat Close is played `count` times when
    // that is above 1, else twice; every other style once.
    void setStyle(int style, int count);
    bool isClosing() const;
    bool isOpening() const;
    // The opening style that matches a closing one (3 -> 2, 5 -> 4, 7 -> 6), or -1.
    int matchingOpener() const;
    void setSystemBreak(int flag) { systemBreak = static_cast<unsigned>(flag) & 1u; }
    void setIncompleteBar(int flag) { incompleteBar = static_cast<unsigned>(flag) & 1u; }

    int typeCode() const override { return kBarLineItem; }
    void writeRecord(SongInputStream& s) const override;
    int topExtent() const override { return -4; }
    int bottomExtent() const override { return 4; }
    void applyToStaffState(PlayState& state) override;
    int nextPlayIndex(PlayState& state, Staff& staff, int index) override;
    void readRecord(int revision, SongInputStream& s) override;

    unsigned barStyle : 6 = 0;
    unsigned systemBreak : 1 = 0;
    unsigned incompleteBar : 1 = 0;  // set by the audit; never stored
    uint8_t repeatCount = 1;
};

// The numbered endings of a repeat.
class EndingItem : public NotationItem {
public:
    EndingItem() = default;
    explicit EndingItem(uint32_t endingBits) : endings(endingBits) {}

    // " 1.2.D." style label: a space, then "n." for each set bit 0..6 and "D." for bit 7.
    std::string endingLabel() const;

    int typeCode() const override { return kEndingItem; }
    void writeRecord(SongInputStream& s) const override;
    int defaultVisibility() const override { return kVisOnTopStaff; }
    int verticalPosition() const override { return -10; }
    int topExtent() const override { return 0; }
    int bottomExtent() const override { return 0; }
    void applyToStaffState(PlayState& state) override;
    int nextPlayIndex(PlayState& state, Staff& staff, int index) override;
    void readRecord(int revision, SongInputStream& s) override;

    // Bit n (0..6): taken on pass n + 1; bit 7: the default ending.
    uint32_t endings = 0;
};

// A jump or a jump target: Coda, Segno, Fine, D.C. and D.S. with their combinations.
class FlowDirectionItem : public PositionedItem {
public:
    FlowDirectionItem() : FlowDirectionItem(kFlowCoda) {}
    // Made new: the kind (outside 0..9 gives Coda) at position -8.
    explicit FlowDirectionItem(int kind);

    int kind() const { return flowKind; }
    // The position an old record (revision 10 and older) gives a kind.
    static int oldPositionForKind(int kind);

    int typeCode() const override { return kFlowDirectionItem; }
    void writeRecord(SongInputStream& s) const override;
    int defaultVisibility() const override { return kVisOnTopStaff; }
    void applyToStaffState(PlayState& state) override;
    int nextPlayIndex(PlayState& state, Staff& staff, int index) override;
    void readRecord(int revision, SongInputStream& s) override;

    int32_t flowKind = kFlowCoda;
};

}  // namespace scq
