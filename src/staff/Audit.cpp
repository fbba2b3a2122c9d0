#include "staff/Audit.h"

#include <cstdint>

#include "items/BarsAndFlow.h"
#include "items/DurationItems.h"
#include "items/ItemKinds.h"
#include "items/PerformanceMarks.h"
#include "items/Signatures.h"
#include "perform/PlayState.h"
#include "song/Song.h"
#include "song/Staff.h"
#include "staff/AuditCursor.h"
#include "staff/AuditSteps.h"
#include "staff/Groups.h"
#include "staff/ItemRange.h"
#include "staff/StaffCursor.h"
#include "staff/StaffUtil.h"

namespace scq {

namespace {

bool isBarLine(const NotationItem* item) {
    return item != nullptr && item->typeCode() == kBarLineItem;
}

// Sum of `durationTicks` of the items from..to - 1, as they stand now.
int64_t ticksOver(const Staff& staff, int from, int to) {
    int64_t sum = 0;
    for (int i = from < 0 ? 0 : from; i < to; ++i) {
        if (const NotationItem* item = staff.itemAt(i)) sum += item->durationTicks();
    }
    return sum;
}

// A bar line is incomplete when no item with a duration follows it before the next bar line.
void auditBarLine(AuditCursor& c, BarLineItem& bar) {
    const Staff& staff = c.staff();
    bool filled = false;
    for (int i = c.index() + 1; i <= staff.lastItemIndex(); ++i) {
        const int code = staff.codeAt(i);
        if (KindHasDuration(code)) {
            filled = true;
            break;
        }
        if (code == kBarLineItem) break;
    }
    bar.setIncompleteBar(filled ? 0 : 1);

    // The bar that this line closes: a rest that ends it is measured when it is the bar's only
    // duration item and a whole rest, and unmeasured otherwise.
    if (c.lastRest > c.lastBar && c.lastRest >= c.lastDuration) {
        auto& rest = static_cast<RestItem&>(*staff.itemAt(c.lastRest));
        rest.clearMeasured();
        if (c.previousDuration <= c.lastBar && rest.isLoneWholeRest()) {
            int beats = 4;
            int code = 2;
            const NotationItem* meter = staff.itemAt(c.meterAtLastRest);
            if (meter != nullptr && meter->typeCode() == kTimeSignatureItem) {
                const auto& ts = static_cast<const TimeSignatureItem&>(*meter);
                beats = static_cast<int>(ts.beatsPerBar);
                code = static_cast<int>(ts.beatValueCode);
            }
            rest.setMeasuredLength(beats, code);
        }
    }
}

// A gradual tempo change between two tempo marks ramps from the first tempo to the second.
void auditTempo(AuditCursor& c, TempoItem& tempo) {
    if (c.lastTempo >= c.lastTempoRamp) return;
    const Staff& staff = c.staff();
    const NotationItem* p = staff.itemAt(c.lastTempo);
    NotationItem* v = staff.itemAt(c.lastTempoRamp);
    if (p == nullptr || p->typeCode() != kTempoItem) return;
    if (v == nullptr || v->typeCode() != kTempoVariationItem) return;
    auto& ramp = static_cast<TempoVariationItem&>(*v);
    if (ramp.variationKind < 2) return;
    const int32_t a = static_cast<const TempoItem&>(*p).tempo;
    const int32_t b = tempo.tempo;
    const int64_t span = ticksOver(staff, c.lastTempoRamp, c.index());
    if (span != 0 && a != b) {
        ramp.startTempo = static_cast<uint16_t>(a);
        ramp.endTempo = static_cast<uint16_t>(b);
        ramp.rampTicks = static_cast<int32_t>(span);
    }
}

// A dynamic without explicit values gets the default velocity of its level and no volume; a
// crescendo or decrescendo before it ramps towards it.
void auditDynamic(AuditCursor& c, DynamicItem& dynamic) {
    if (dynamic.velocityGiven == 0) {
        const int level = static_cast<int>(dynamic.dynamic);
        dynamic.velocity = static_cast<int8_t>(defaultVelocity(level >= 8 ? level - 16 : level));
    }
    if (dynamic.volumeGiven == 0) dynamic.volume = -1;

    if (c.lastDynamic >= c.lastDynamicVariation) return;
    const Staff& staff = c.staff();
    const NotationItem* p = staff.itemAt(c.lastDynamic);
    NotationItem* v = staff.itemAt(c.lastDynamicVariation);
    if (p == nullptr || p->typeCode() != kDynamicItem) return;
    if (v == nullptr || v->typeCode() != kDynamicVariationItem) return;
    auto& ramp = static_cast<DynamicVariationItem&>(*v);
    if (ramp.variationKind > 2) return;
    int64_t span = ticksOver(staff, c.lastDynamicVariation, c.index());
    if (span == 0) return;

    const int velocity = static_cast<int8_t>(dynamic.velocity);
    int start = static_cast<int8_t>(static_cast<const DynamicItem&>(*p).volume);
    const int end = static_cast<int8_t>(dynamic.volume);
    const bool volumeRamp = start >= 0 && end >= 0 && end != start;
    if (!volumeRamp) {
        start = -1;
        if (velocity == 0) span = 0;
    }
    ramp.targetVelocity = static_cast<uint8_t>(velocity);
    ramp.startVolume = static_cast<int8_t>(start);
    ramp.endVolume = static_cast<int8_t>(end);
    ramp.rampTicks = static_cast<int32_t>(span);
}

// A duration item right after a rest of the same bar: that rest is not alone in its bar.
void auditRestsInBar(AuditCursor& c) {
    if (c.lastRest == c.lastDuration && c.lastBar < c.lastRest) {
        static_cast<RestItem&>(*c.staff().itemAt(c.lastRest)).clearMeasured();
    }
}

// Group marks that do not form a valid group, or that continue a group that is not open,
// are removed.
void auditGroups(AuditCursor& c, DurationItem& d) {
    if (d.beamPosition == 0 && d.tripletPosition == 0) return;
    const int lane = laneOf(d);
    for (int kind = DurationItem::kBeamGroup; kind <= DurationItem::kTripletGroup; ++kind) {
        const int p = groupPosition(d, kind);
        if (p == DurationItem::kGroupFirst) {
            if (c.groupOpen[lane][kind] || !isGroupValid(c.staff(), c.index(), kind))
                d.setGroupPosition(kind, DurationItem::kNotPresent);
        } else if (p == DurationItem::kGroupMiddle || p == DurationItem::kGroupEnd) {
            if (!c.groupOpen[lane][kind]) d.setGroupPosition(kind, DurationItem::kNotPresent);
        }
    }
}

// Audits the item under the cursor; the cursor describes everything before it.
void auditItem(AuditCursor& c) {
    NotationItem* item = c.item();
    if (item == nullptr) return;
    switch (c.itemCode()) {
        case kBarLineItem:
            auditBarLine(c, static_cast<BarLineItem&>(*item));
            break;
        case kTempoItem:
            auditTempo(c, static_cast<TempoItem&>(*item));
            break;
        case kDynamicItem:
            auditDynamic(c, static_cast<DynamicItem&>(*item));
            break;
        case kTempoVariationItem:
            static_cast<TempoVariationItem&>(*item).rampTicks = 0;
            break;
        case kDynamicVariationItem:
            static_cast<DynamicVariationItem&>(*item).rampTicks = 0;
            break;
        default:
            if (c.itemTimed()) {
                auditRestsInBar(c);
                auditGroups(c, static_cast<DurationItem&>(*item));
            }
            break;
    }
    VisitItemKind(*item, c.itemCode(), [&c](auto& x) {
        using K [[maybe_unused]] = KindOf<decltype(x)>;
        x.K::auditStep(c.state, c.staff(), c.index());
    });
}

}  // namespace

void auditWalk(const ItemRange& range) {
    if (range.staff == nullptr) return;
    Staff& staff = *range.staff;
    if (staff.itemCount() == 0) return;

    StaffCursor bounds(staff);
    bounds.seek(range.first <= 0 ? 0 : range.first - 1);
    if (!isBarLine(bounds.item())) bounds.findType(kBarLineItem, -1);
    const int s = bounds.index();
    bounds.seek(range.last);
    if (!isBarLine(bounds.item())) bounds.findType(kBarLineItem, +1);
    const int e = bounds.index();

    AuditCursor c(staff);
    c.seek(s);
    while (!c.onLastItem() && c.index() <= e) {
        c.stepForward();
        auditItem(c);
    }
}

void auditStaff(Staff& staff, int first, int last) {
    if (first < 0) first = 0;
    if (last < 0) last = staff.lastItemIndex();
    ItemRange range = ItemRange::make(&staff, first, last);
    range.widenToBars();
    auditWalk(range);
    if (first == 0 && last >= staff.lastItemIndex()) staff.needsAudit = 0;
}

void auditAround(Staff& staff, int first, int last) {
    if (first < 0) first = 0;
    if (last < 0) last = first;
    StaffCursor c(staff);
    c.seek(first);
    c.findType(kBarLineItem, -1);
    c.findType(kBarLineItem, -1);
    const int start = c.index();
    c.seek(last);
    c.findType(kBarLineItem, +1);
    c.findType(kBarLineItem, +1);
    auditWalk(ItemRange::make(&staff, start, c.index()));
}

void auditSong(Song& song, int allStaffs) {
    for (int i = 0; i < song.staffCount(); ++i) {
        Staff* staff = song.staffAt(i);
        if (staff != nullptr && (allStaffs != 0 || staff->needsAudit != 0)) {
            auditStaff(*staff, -1, -1);
        }
    }
}

// ---- Audit steps of the item kinds ----------------------------------------------------------

void slurStep(DurationItem& x, const PlayState& state) {
    x.clearAttribute(DurationItem::kSlurIn);
    if (state.slurState != 0) {
        x.setAttribute(DurationItem::kSlurIn);
        if (!x.hasAttribute(DurationItem::kExplicitSlurDirection))
            x.slurDirection = state.slurState == 3 ? 1 : 0;
    } else if (x.hasAttribute(DurationItem::kSlurOut) &&
               !x.hasAttribute(DurationItem::kExplicitSlurDirection)) {
        bool down = x.stemSign() > 0;
        if (x.hasSplitStems()) down = !down;
        x.slurDirection = down ? 1 : 0;
    }
}

void tieStep(NoteItem& n, const PlayState& state) {
    n.clearAttribute(DurationItem::kTieIn);
    const int q = n.staffPosition;
    bool a = state.tieSetA.contains(q);
    bool b = state.tieSetB.contains(q);
    int direction = -1;
    if (a || b) {
        n.setAttribute(DurationItem::kTieIn);
        if (a && b) {
            if (n.stemSign() > 0) {
                b = false;
            } else {
                a = false;
            }
        }
        direction = a ? 0 : 1;
    } else if (n.hasAttribute(DurationItem::kTieOut) &&
               !n.hasAttribute(DurationItem::kChordMember)) {
        direction = n.stemSign() > 0 ? 1 : 0;
    }
    if (direction >= 0 && !n.hasAttribute(DurationItem::kExplicitTieDirection))
        n.tieDirection = direction;
}

void attachedChordTieFix(NotationItem& chord) {
    if (!chord.isPitched()) return;
    auto& k = static_cast<NoteItem&>(chord);
    if (k.hasAttribute(DurationItem::kExplicitTieDirection)) return;
    const unsigned direction = k.stemSign() < 0 ? 1 : 0;
    for (int i = 0; i < k.memberCount(); ++i) {
        NoteItem* m = k.member(i);
        if (m != nullptr && m->hasAttribute(DurationItem::kTieOut) &&
            !m->hasAttribute(DurationItem::kTieIn))
            m->tieDirection = direction;
    }
}

void keySignatureStep(KeySignatureItem& key, const PlayState& state) {
    key.clefHint = static_cast<uint8_t>(state.clef);
    key.cancelledFlats = state.keyFlats;
    key.cancelledSharps = state.keySharps;
}

}  // namespace scq
