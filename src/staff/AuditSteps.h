#pragma once

// The per-item parts of the audit that the item kinds run from their audit step (slot 21).

namespace scq {

struct PlayState;
class DurationItem;
class NoteItem;
class NotationItem;
class KeySignatureItem;

// Slur In where a slur is open, and a direction for a slur without an explicit one.
void slurStep(DurationItem& item, const PlayState& state);
// Tie In where a tie from an earlier note arrives at the note's position, and a direction for
// a tie without an explicit one.
void tieStep(NoteItem& note, const PlayState& state);
// The ties out of the members of a rest chord's attached chord (or note) point away from its
// stems, unless the chord has an explicit tie direction.
void attachedChordTieFix(NotationItem& chord);
// The clef in force and the key that the signature replaces.
void keySignatureStep(KeySignatureItem& key, const PlayState& state);

}  // namespace scq
