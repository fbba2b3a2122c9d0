#include "items/BarsAndFlow.h"
#include "perform/FlowTable.h"
#include "perform/PerformRules.h"
#include "perform/PlayState.h"
#include "song/Staff.h"

// How bar lines, endings and flow directions steer a walk through a staff. The targets of the
// searches (back to a repeat's open, forward past an ending, to the Segno or the Coda) come
// from the staff's flow table, worked out once when the walk began.
namespace scq {

namespace {

// A value stored into a signed bit-field of `bits` bits: two's complement wrap.
int wrapSigned(int value, int bits) {
    const unsigned mask = (1u << bits) - 1u;
    const unsigned low = static_cast<unsigned>(value) & mask;
    const unsigned sign = 1u << (bits - 1);
    return low >= sign ? static_cast<int>(low) - static_cast<int>(mask) - 1 : static_cast<int>(low);
}

// Runs f on the walk's flow table when it describes this staff, else on one made now (a walk
// that is not a performance has none).
template <class F>
int withFlowTable(const PlayState& state, const Staff& staff, F&& f) {
    if (state.flowTable && state.flowTable->describes(staff)) return f(*state.flowTable);
    FlowTable local;
    local.build(staff);
    return f(local);
}

// A table's answer, or the next index where the table has none (an index that does not
// hold the item asking).
int orNext(int answer, int index) {
    return answer >= 0 ? answer : index + 1;
}

}  // namespace

FlowMark flowMarkOf(const NotationItem& item, int code) {
    // Each type code belongs to one item class.
    switch (code) {
        case kBarLineItem:
            return {FlowMark::BarLine,
                    static_cast<int>(static_cast<const BarLineItem&>(item).barStyle)};
        case kEndingItem:
            return {FlowMark::Ending, 0};
        case kFlowDirectionItem:
            return {FlowMark::FlowDirection, static_cast<const FlowDirectionItem&>(item).flowKind};
        default:
            return {};
    }
}

// ---- bar lines ----

void BarLineItem::applyToStaffState(PlayState& state) {
    perform::resetBarAccidentals(state);
    switch (barStyle) {
        case kBarSectionOpen:
        case kBarSectionClose:
            state.masterPass = 1;
            break;
        case kBarLocalRepeatOpen:
            state.localPass = 1;
            break;
        case kBarLocalRepeatClose:
            state.localPass = wrapSigned(state.localPass + 1, 16);
            break;
        case kBarMasterRepeatOpen:
            state.masterPass = 1;
            state.passLimit = 2;
            break;
        case kBarMasterRepeatClose:
            state.masterPass = wrapSigned(state.masterPass + 1, 8);
            break;
        default:
            break;
    }
}

int BarLineItem::nextPlayIndex(PlayState& state, Staff& staff, int index) {
    if (barStyle == kBarLocalRepeatClose) {
        if (state.walkMode != 0) return index + 1;
        if (repeatCount <= state.localPass) {
            state.localPass = 0;
            return index + 1;
        }
    } else if (barStyle == kBarMasterRepeatClose) {
        if (state.replaying) return index + 1;
        if (static_cast<int>(state.passLimit) <= state.masterPass) return index + 1;
    } else {
        return index + 1;
    }
    return withFlowTable(
        state, staff, [index](const FlowTable& t) { return orNext(t.repeatTarget(index), index); });
}

// ---- endings ----

void EndingItem::applyToStaffState(PlayState& state) {
    state.passLimit = 8;
}

int EndingItem::nextPlayIndex(PlayState& state, Staff& staff, int index) {
    const int pass = state.masterPass;
    if (pass == 0) return index + 1;
    if (!state.replaying) {
        if (pass >= 1 && pass <= 32 && ((endings >> (pass - 1)) & 1u) != 0) return index + 1;
    } else if ((endings >> 7) & 1u) {
        return index + 1;
    }
    return withFlowTable(
        state, staff, [index](const FlowTable& t) { return orNext(t.endingSkip(index), index); });
}

// ---- flow directions ----

void FlowDirectionItem::applyToStaffState(PlayState& state) {
    if (flowKind >= kFlowDaCapo && flowKind <= kFlowDsAlFine) {
        state.replaying = 1;
        state.jumpTaken = 1;
        perform::resetBarAccidentals(state);
    } else if (flowKind == kFlowToCoda && state.jumpTaken) {
        state.replaying = 0;
        perform::resetBarAccidentals(state);
    }
}

int FlowDirectionItem::nextPlayIndex(PlayState& state, Staff& staff, int index) {
    switch (flowKind) {
        case kFlowFine:
            return state.jumpTaken ? staff.lastItemIndex() : index + 1;
        case kFlowToCoda:
            if (!state.jumpTaken || !state.replaying) return index + 1;
            return withFlowTable(state, staff, [index](const FlowTable& t) {
                return orNext(t.codaTarget(), index);
            });
        case kFlowDaCapo:
        case kFlowDcAlCoda:
        case kFlowDcAlFine:
            return state.jumpTaken ? index + 1 : 0;
        case kFlowDalSegno:
        case kFlowDsAlCoda:
        case kFlowDsAlFine:
            if (state.jumpTaken) return index + 1;
            return withFlowTable(state, staff, [index](const FlowTable& t) {
                return orNext(t.firstSegno(), index);
            });
        default:
            return index + 1;
    }
}

}  // namespace scq
