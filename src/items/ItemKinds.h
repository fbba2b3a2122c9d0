#pragma once

// The item kinds by type code, for loops that call an item's operations millions of times.

#include <type_traits>

#include "items/BarsAndFlow.h"
#include "items/DurationItems.h"
#include "items/NotationItem.h"
#include "items/PerformanceMarks.h"
#include "items/Signatures.h"
#include "items/TextAndPedal.h"

namespace scq {

// Whether items of a type code have a duration (item.hasDuration()): notes, rests, chords and
// rest chords. A walk that has the type code is spared the virtual call.
constexpr bool KindHasDuration(int code) {
    return code == kNoteItem || code == kRestItem || code == kChordItem || code == kRestChordItem;
}

// The class of an item passed on by VisitItemKind.
template <class T>
using KindOf = std::remove_cvref_t<T>;

// Calls f(item) with the item as the class its type code `code` (item.typeCode()) belongs to.
// Each code belongs to exactly one class: the two kinds derived from another kind (ChordItem
// from NoteItem, RestChordItem from RestItem) have codes of their own. So, in f, a call made
// as `x.K::operation(...)` with `using K = KindOf<decltype(x)>` is the call that the virtual
// one would make, made directly: a loop that asks the type code once per item spares the
// other virtual calls. Every item has one of the nineteen codes; any other passes the item
// on as a NotationItem.
template <class F>
decltype(auto) VisitItemKind(NotationItem& item, int code, F&& f) {
    switch (code) {
        case kClefItem:
            return f(static_cast<ClefItem&>(item));
        case kKeySignatureItem:
            return f(static_cast<KeySignatureItem&>(item));
        case kBarLineItem:
            return f(static_cast<BarLineItem&>(item));
        case kEndingItem:
            return f(static_cast<EndingItem&>(item));
        case kInstrumentItem:
            return f(static_cast<InstrumentItem&>(item));
        case kTimeSignatureItem:
            return f(static_cast<TimeSignatureItem&>(item));
        case kTempoItem:
            return f(static_cast<TempoItem&>(item));
        case kDynamicItem:
            return f(static_cast<DynamicItem&>(item));
        case kNoteItem:
            return f(static_cast<NoteItem&>(item));
        case kRestItem:
            return f(static_cast<RestItem&>(item));
        case kChordItem:
            return f(static_cast<ChordItem&>(item));
        case kPedalItem:
            return f(static_cast<PedalItem&>(item));
        case kFlowDirectionItem:
            return f(static_cast<FlowDirectionItem&>(item));
        case kControllerItem:
            return f(static_cast<ControllerItem&>(item));
        case kTempoVariationItem:
            return f(static_cast<TempoVariationItem&>(item));
        case kDynamicVariationItem:
            return f(static_cast<DynamicVariationItem&>(item));
        case kPerformanceStyleItem:
            return f(static_cast<PerformanceStyleItem&>(item));
        case kTextItem:
            return f(static_cast<TextItem&>(item));
        case kRestChordItem:
            return f(static_cast<RestChordItem&>(item));
        default:
            return f(item);
    }
}

}  // namespace scq
