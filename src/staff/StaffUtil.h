#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

namespace scq {

class NotationItem;
class Staff;
struct PlayState;

// Raised when a staff utility is called against its precondition. The message is assembled as
// "<kind> failed <source> <line>: <message>".
class precondition : public std::exception {
public:
    precondition(const char* kind, const char* source, int line, const char* message);
    const char* what() const noexcept override { return text_.c_str(); }

private:
    std::string text_;
};

// Throws the precondition failure of the staff utilities ("... 290: Bad Notation").
[[noreturn]] void failBadNotation();

// ---- Numeric helpers ------------------------------------------------------------------------

// Note velocity of a dynamic level 0 (ppp) .. 7 (fff); 0 for any other level.
int defaultVelocity(int level);
// n units of 768 >> code ticks (codes 0..6); 0 for any other code. Wraps to 32 bits.
int32_t unitTicks(int n, int code);
// Ticks of one beat of beat value code `code` (2 = quarter, 192 ticks); 0 when the beat is
// shorter than a tick or the code is negative.
int32_t beatTicks(int code);
// A note: its Tie Out; a chord: whether any member ties out; anything else (or none): false.
bool carriesTieOut(const NotationItem* item);
// The name of MIDI note n: letter, '#' or ' ', octave n / 12 ("C 5" for 60, "C#5" for 61).
std::string noteName(int n);
// The names of MIDI notes 0..127, each ended by a zero byte, the whole list by a second zero.
const std::string& noteNameList();

// ---- Staff-level operations -----------------------------------------------------------------

// Takes the item at i out and destroys it, without an audit. Refuses either bar line and any
// index outside the list (returns 0); returns 1 when an item went.
int destroyItem(Staff& staff, int i);
// Stores the vertical room of the staff, clamped by its line count: `upperBoundary` within
// -100 .. -lineCount, `lowerBoundary` within lineCount .. 100.
void setExtents(Staff& staff, int upper, int lower);
// Stores `lineCount` (a count outside 0..32 becomes 5, as on loading) and re-clamps the room.
void setLineCount(Staff& staff, int n);

// Sum of `durationTicks` of the items first .. last - 1 (indexes outside the list count 0).
int32_t ticksBetween(const Staff& staff, int first, int last);
// Index of the next item after `from` (previous item before `from`) with this type code, or
// -1 when there is none.
int findNextOfType(const Staff& staff, int from, int typeCode);
int findPreviousOfType(const Staff& staff, int from, int typeCode);
// Index of the next (previous) item with a duration, or -1.
int findNextDuration(const Staff& staff, int from);
int findPreviousDuration(const Staff& staff, int from);
// Index of the n-th bar line of the staff (0: the opening bar line), or -1.
int findBarLine(const Staff& staff, int n);
// The first index at which the running sum of `durationTicks` of the items before it reaches
// `time`; the last index when the staff is shorter.
int indexAtTime(const Staff& staff, int32_t time);
// The staff state in force at index i: applyToStaffState replayed over the items 0 .. i - 1,
// walk mode 1.
PlayState stateAt(const Staff& staff, int i);
// The clef code (0 treble .. 3 tenor) in force at index i.
int clefAt(const Staff& staff, int i);
// The key in force at index i.
struct KeyInForce {
    uint16_t flats = 0;
    uint16_t sharps = 0;
};
KeyInForce keyAt(const Staff& staff, int i);
// The time signature in force at index i.
struct MeterInForce {
    int beatsPerBar = 4;
    int beatValueCode = 2;
};
MeterInForce timeSignatureAt(const Staff& staff, int i);

// The piece that continues a duration item split at a bar: a note gives a quarter note at the
// same position (the given note gets Tie Out, and so does the piece when the note had it), a
// rest a whole rest, a chord a chord of its members' continuations (a single note for one
// member). Any other item is a precondition failure.
std::unique_ptr<NotationItem> makeContinuation(NotationItem& item);

}  // namespace scq
