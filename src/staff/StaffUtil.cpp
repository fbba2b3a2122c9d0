#include "staff/StaffUtil.h"

#include <cstdio>
#include <vector>

#include "items/DurationItems.h"
#include "perform/PlayState.h"
#include "song/Staff.h"

namespace scq {

precondition::precondition(const char* kind, const char* source, int line, const char* message) {
    text_ = kind;
    text_ += " failed ";
    text_ += source;
    text_ += ' ';
    text_ += std::to_string(line);
    text_ += ": ";
    text_ += message;
}

void failBadNotation() {
    throw precondition("Precondition", "VIROZA\\STAFFUTL", 290, "Bad Notation");
}

int defaultVelocity(int level) {
    static constexpr int kVelocities[8] = {10, 30, 45, 60, 75, 92, 108, 127};
    return level >= 0 && level < 8 ? kVelocities[level] : 0;
}

int32_t unitTicks(int n, int code) {
    if (code < 0 || code > 6) return 0;
    return static_cast<int32_t>(static_cast<int64_t>(n) * (768 >> code));
}

int32_t beatTicks(int code) {
    if (code < 0) return 0;
    if (code < 2) return 192 << (2 - code);
    if (code - 2 >= 8) return 0;  // shorter than a tick
    return 192 >> (code - 2);
}

bool carriesTieOut(const NotationItem* item) {
    if (item == nullptr) return false;
    const int code = item->typeCode();
    if (code == kNoteItem)
        return static_cast<const NoteItem*>(item)->hasAttribute(DurationItem::kTieOut);
    if (code == kChordItem) {
        auto* chord = const_cast<NotationItem*>(item);
        for (int i = 0; i < chord->memberCount(); ++i) {
            const NoteItem* m = chord->member(i);
            if (m != nullptr && m->hasAttribute(DurationItem::kTieOut)) return true;
        }
    }
    return false;
}

std::string noteName(int n) {
    // Counted from A: A, A#, B, C, C#, D, D#, E, F, F#, G, G#.
    static constexpr char kLetters[12] = {'A', 'A', 'B', 'C', 'C', 'D',
                                          'D', 'E', 'F', 'F', 'G', 'G'};
    static constexpr bool kSharp[12] = {false, true,  false, false, true,  false,
                                        true,  false, false, true,  false, true};
    int semitone = (n % 12 + 12 + 3) % 12;  // (n + 3) mod 12, never negative
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%c%c%d", kLetters[semitone], kSharp[semitone] ? '#' : ' ',
                  n / 12);
    return buffer;
}

const std::string& noteNameList() {
    static const std::string list = [] {
        std::string s;
        for (int n = 0; n < 128; ++n) {
            s += noteName(n);
            s += '\0';
        }
        s += '\0';
        return s;
    }();
    return list;
}

int destroyItem(Staff& staff, int i) {
    if (i <= 0 || i >= staff.lastItemIndex()) return 0;
    staff.deleteItems(i, i);
    return 1;
}

void setExtents(Staff& staff, int upper, int lower) {
    staff.upperBoundary = upper;
    staff.lowerBoundary = lower;
    staff.clampBoundaries();
}

void setLineCount(Staff& staff, int n) {
    staff.lineCount = static_cast<uint8_t>(n >= 0 && n <= 32 ? n : 5);
    setExtents(staff, staff.upperBoundary, staff.lowerBoundary);
}

int32_t ticksBetween(const Staff& staff, int first, int last) {
    int64_t sum = 0;
    if (first < 0) first = 0;
    if (last > staff.itemCount()) last = staff.itemCount();
    for (int i = first; i < last; ++i) sum += staff.itemAt(i)->durationTicks();
    return static_cast<int32_t>(sum);
}

namespace {

// The first index after `from` and the last before it, kept inside the list (or out of it
// altogether) without overflow.
int nextAfter(const Staff& staff, int from) {
    if (from < 0) return 0;
    return from >= staff.lastItemIndex() ? staff.itemCount() : from + 1;
}
int previousBefore(const Staff& staff, int from) {
    if (from <= 0) return -1;
    return from > staff.itemCount() ? staff.lastItemIndex() : from - 1;
}

}  // namespace

int findNextOfType(const Staff& staff, int from, int typeCode) {
    for (int i = nextAfter(staff, from); i <= staff.lastItemIndex(); ++i) {
        if (staff.itemAt(i)->typeCode() == typeCode) return i;
    }
    return -1;
}

int findPreviousOfType(const Staff& staff, int from, int typeCode) {
    for (int i = previousBefore(staff, from); i >= 0; --i) {
        if (staff.itemAt(i)->typeCode() == typeCode) return i;
    }
    return -1;
}

int findNextDuration(const Staff& staff, int from) {
    for (int i = nextAfter(staff, from); i <= staff.lastItemIndex(); ++i) {
        if (staff.itemAt(i)->hasDuration()) return i;
    }
    return -1;
}

int findPreviousDuration(const Staff& staff, int from) {
    for (int i = previousBefore(staff, from); i >= 0; --i) {
        if (staff.itemAt(i)->hasDuration()) return i;
    }
    return -1;
}

int findBarLine(const Staff& staff, int n) {
    if (n < 0) return -1;
    for (int i = 0; i <= staff.lastItemIndex(); ++i) {
        if (staff.itemAt(i)->typeCode() == kBarLineItem && n-- == 0) return i;
    }
    return -1;
}

int indexAtTime(const Staff& staff, int32_t time) {
    int64_t sum = 0;
    for (int i = 0; i <= staff.lastItemIndex(); ++i) {
        if (sum >= time) return i;
        sum += staff.itemAt(i)->durationTicks();
    }
    return staff.lastItemIndex();
}

PlayState stateAt(const Staff& staff, int i) {
    PlayState state;
    state.reset();
    state.walkMode = 1;
    if (i > staff.itemCount()) i = staff.itemCount();
    for (int k = 0; k < i; ++k) staff.itemAt(k)->applyToStaffState(state);
    return state;
}

int clefAt(const Staff& staff, int i) {
    return static_cast<int>(stateAt(staff, i).clef);
}

KeyInForce keyAt(const Staff& staff, int i) {
    const PlayState s = stateAt(staff, i);
    return KeyInForce{s.keyFlats, s.keySharps};
}

MeterInForce timeSignatureAt(const Staff& staff, int i) {
    const PlayState s = stateAt(staff, i);
    return MeterInForce{static_cast<int>(s.beatsPerBar), static_cast<int>(s.beatValueCode)};
}

namespace {

// The continuation of one note; the note itself gets Tie Out.
std::unique_ptr<NoteItem> continueNote(NoteItem& note) {
    auto piece = std::make_unique<NoteItem>(note.staffPosition, DurationItem::kQuarter, 0,
                                            static_cast<int>(note.accidental));
    piece->stemDirection = note.stemDirection;
    if (note.hasAttribute(DurationItem::kTieOut)) piece->setAttribute(DurationItem::kTieOut);
    note.setAttribute(DurationItem::kTieOut);
    return piece;
}

}  // namespace

std::unique_ptr<NotationItem> makeContinuation(NotationItem& item) {
    switch (item.typeCode()) {
        case kNoteItem:
            return continueNote(static_cast<NoteItem&>(item));
        case kRestItem:
        case kRestChordItem: {
            auto piece = std::make_unique<RestItem>(DurationItem::kWhole, 0);
            piece->stemDirection = static_cast<RestItem&>(item).stemDirection;
            return piece;
        }
        case kChordItem: {
            auto& chord = static_cast<ChordItem&>(item);
            std::vector<std::unique_ptr<NoteItem>> pieces;
            for (int i = 0; i < chord.memberCount(); ++i) {
                if (NoteItem* m = chord.member(i)) pieces.push_back(continueNote(*m));
            }
            chord.setAttribute(DurationItem::kTieOut);
            if (pieces.empty()) return continueNote(chord);
            if (pieces.size() == 1) return std::move(pieces.front());
            auto result = std::make_unique<ChordItem>(std::move(pieces));
            result->refreshMembers();
            return result;
        }
        default:
            failBadNotation();
    }
}

}  // namespace scq
