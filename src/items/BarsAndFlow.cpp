#include "items/BarsAndFlow.h"


#include "stream/SongInputStream.h"

namespace scq {

// ---- BarLineItem -------------------------------------------------------------------------

BarLineItem::BarLineItem(int style, int count)
    : barStyle(static_cast<unsigned>(style) & 63u), repeatCount(static_cast<uint8_t>(count)) {}

void BarLineItem::setStyle(int style, int count) {
    barStyle = static_cast<unsigned>(style) & 63u;
    if (barStyle == kBarLocalRepeatClose) {
        repeatCount = count > 1 ? static_cast<uint8_t>(count > 255 ? 255 : count) : 2;
    } else {
        repeatCount = 1;
    }
}

bool BarLineItem::isClosing() const {
    return barStyle == kBarSectionClose || barStyle == kBarLocalRepeatClose ||
           barStyle == kBarMasterRepeatClose;
}

bool BarLineItem::isOpening() const {
    return barStyle == kBarSectionOpen || barStyle == kBarLocalRepeatOpen ||
           barStyle == kBarMasterRepeatOpen;
}

int BarLineItem::matchingOpener() const {
    return isClosing() ? static_cast<int>(barStyle) - 1 : -1;
}

void BarLineItem::restyleFromEndingBar(int code) {
    visibility = kVisDefault;
    switch (code) {
        case kEndingMasterRepeatClose:
            setStyle(kBarMasterRepeatClose, 1);
            break;
        case kEndingSingle:
            setStyle(kBarSingle, 1);
            break;
        case kEndingDouble:
            setStyle(kBarDouble, 1);
            break;
        case kEndingOpenHidden:
            setStyle(kBarSingle, 1);
            visibility = kVisNever;
            break;
        default:
            setStyle(kBarSectionClose, 1);
            break;
    }
}

std::unique_ptr<BarLineItem> BarLineItem::makeFromEndingBar(int code) {
    auto bar = std::make_unique<BarLineItem>(kBarSectionClose, 1);
    bar->restyleFromEndingBar(code);
    return bar;
}

void BarLineItem::readRecord(int revision, SongInputStream& s) {
    NotationItem::readRecord(revision, s);
    const unsigned word = s.ReadUInt16();
    barStyle = word & 63u;
    // Bit 6 carries nothing; the system break exists from revision 12 on.
    systemBreak = revision > 11 ? (word >> 7) & 1u : 0u;
    repeatCount = static_cast<uint8_t>(word >> 8);
}

void BarLineItem::writeRecord(SongInputStream& s) const {
    NotationItem::writeRecord(s);
    s.WriteInt16(static_cast<int>(barStyle + systemBreak * 128u + repeatCount * 256u));
}

// ---- EndingItem --------------------------------------------------------------------------

std::string EndingItem::endingLabel() const {
    std::string label = " ";
    for (unsigned bit = 0; bit < 8; ++bit) {
        if (!((endings >> bit) & 1u)) continue;
        if (bit == 7) {
            label += "D.";
        } else {
            label += static_cast<char>('1' + bit);
            label += '.';
        }
    }
    return label;
}

void EndingItem::readRecord(int revision, SongInputStream& s) {
    NotationItem::readRecord(revision, s);
    endings = s.ReadUInt16();
}

void EndingItem::writeRecord(SongInputStream& s) const {
    NotationItem::writeRecord(s);
    s.WriteInt16(static_cast<int>(endings & 0xFFFFu));
}

// ---- FlowDirectionItem -------------------------------------------------------------------

namespace {
int validFlowKind(int kind) {
    return kind < kFlowCoda || kind > kFlowDsAlFine ? kFlowCoda : kind;
}
}  // namespace

FlowDirectionItem::FlowDirectionItem(int kind) : flowKind(validFlowKind(kind)) {
    position = -8;
}

int FlowDirectionItem::oldPositionForKind(int kind) {
    switch (kind) {
        case kFlowCoda:
            return -7;
        case kFlowFine:
            return 8;
        case kFlowDaCapo:
        case kFlowDcAlCoda:
        case kFlowDcAlFine:
            return -10;
        default:
            return -8;
    }
}

void FlowDirectionItem::readRecord(int revision, SongInputStream& s) {
    PositionedItem::readRecord(revision, s);
    flowKind = validFlowKind(s.ReadInt16());
    // Old records have no layout of their own; the kind decides where the mark sits.
    if (revision <= 10) position = static_cast<int8_t>(oldPositionForKind(flowKind));
}

void FlowDirectionItem::writeRecord(SongInputStream& s) const {
    PositionedItem::writeRecord(s);
    s.WriteInt16(flowKind);
}

}  // namespace scq
