#include "items/DurationItems.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "items/ItemFactory.h"
#include "stream/SongInputStream.h"

namespace scq {

namespace {

// The most member room a chord's claimed member count reserves before its members are read.
constexpr int kMemberRoomHint = 8;

// The attribute flags word of a record lists the attributes in its own bit order. Each file
// bit names an attribute and the first revision that carries it; bits are applied in file
// order through setAttribute, so the exclusions hold while reading.
struct FileAttributeBit {
    int attribute;
    int firstRevision;
};
constexpr FileAttributeBit kFileAttributeBits[16] = {
    {DurationItem::kDoubleDotted, 5},
    {DurationItem::kStaccato, 0},
    {DurationItem::kDotted, 0},
    {DurationItem::kTieIn, 0},
    {DurationItem::kTieOut, 0},
    {DurationItem::kAccented, 0},
    {DurationItem::kChordMember, 0},
    {DurationItem::kAttached, 4},
    {DurationItem::kSlurOut, 4},
    {DurationItem::kSlurIn, 4},
    {DurationItem::kTenuto, 5},
    {DurationItem::kAttribute10, 5},
    {DurationItem::kAttribute11, 5},
    {DurationItem::kGrace, 7},
    {DurationItem::kExplicitTieDirection, 10},
    {DurationItem::kExplicitSlurDirection, 10},
};

// The bit that setting attribute n clears, or -1.
int excludedBy(int n) {
    switch (n) {
        case DurationItem::kDotted:
            return DurationItem::kDoubleDotted;
        case DurationItem::kDoubleDotted:
            return DurationItem::kDotted;
        case DurationItem::kStaccato:
            return DurationItem::kTenuto;
        case DurationItem::kTenuto:
            return DurationItem::kStaccato;
        case DurationItem::kAttribute10:
            return DurationItem::kAttribute11;
        case DurationItem::kAttribute11:
            return DurationItem::kAttribute10;
        default:
            return -1;
    }
}

// Takes the item over as a note when it is one (a chord is one too); none otherwise, and the
// item is left where it was.
std::unique_ptr<NoteItem> takeNote(std::unique_ptr<NotationItem>& item) {
    auto* note = dynamic_cast<NoteItem*>(item.get());
    if (!note) return nullptr;
    item.release();
    return std::unique_ptr<NoteItem>(note);
}

// Member order: lowest note (largest staff position) first; on equal positions the smaller
// stem sign first. As a rank from 0 to 511, the smaller first.
constexpr unsigned kMemberRanks = 512;
unsigned memberRank(const NoteItem& n) {
    return static_cast<unsigned>(127 - n.staffPosition) * 2u + (n.stemSign() > 0 ? 1u : 0u);
}

// Puts notes into member order, keeping the order they came in among equal ranks: the order
// that inserting them one by one gives. A large chord takes one counting pass over its ranks.
// The result holds exactly the notes, with no room to spare.
void sortIntoMemberOrder(std::vector<std::unique_ptr<NoteItem>>& notes) {
    if (notes.size() < 64) {
        std::stable_sort(notes.begin(), notes.end(), [](const auto& a, const auto& b) {
            return memberRank(*a) < memberRank(*b);
        });
        if (notes.capacity() > notes.size()) notes.shrink_to_fit();
        return;
    }
    std::vector<uint16_t> rank(notes.size());
    std::vector<uint32_t> next(kMemberRanks + 1, 0);  // where each rank's notes go
    for (size_t i = 0; i < notes.size(); ++i) {
        rank[i] = static_cast<uint16_t>(memberRank(*notes[i]));
        ++next[rank[i] + 1u];
    }
    for (size_t r = 1; r <= kMemberRanks; ++r) next[r] += next[r - 1];
    std::vector<std::unique_ptr<NoteItem>> sorted(notes.size());
    for (size_t i = 0; i < notes.size(); ++i) sorted[next[rank[i]]++] = std::move(notes[i]);
    notes = std::move(sorted);
}

}  // namespace

// ---- DurationItem ----

DurationItem::DurationItem(int baseDuration, int attributes)
    : attributes(static_cast<uint16_t>(attributes)),
      baseDuration(static_cast<unsigned>(baseDuration) & 15u) {}

void DurationItem::setAttribute(int n) {
    if (n < 0 || n >= 16) return;
    attributes = static_cast<uint16_t>(attributes | (1u << n));
    const int excluded = excludedBy(n);
    if (excluded >= 0) clearAttribute(excluded);
}

void DurationItem::clearAttribute(int n) {
    if (n < 0 || n >= 16) return;
    attributes = static_cast<uint16_t>(attributes & ~(1u << n));
}

void DurationItem::setGroupPosition(int group, int position) {
    if (group == kBeamGroup) {
        setBeamPosition(position);
    } else if (group == kTripletGroup) {
        setTripletPosition(position);
    }
}

void DurationItem::setStemFromSign(int sign) {
    setStemDirection(sign == 0 ? kStemDefault : (sign > 0 ? kStemUp : kStemDown));
}

int DurationItem::durationTicks() const {
    int t = 768 >> baseDuration;
    if (hasAttribute(kDotted)) t = t + t / 2;
    if (hasAttribute(kDoubleDotted)) t = t + t / 2 + t / 4;
    if (hasAttribute(kGrace)) return 0;
    if (tripletPosition != 0) return t * 2 / 3;
    return t;
}

bool DurationItem::takesLyric() const {
    switch (lyricSetting) {
        case kLyricDefault:
            return takesLyricByDefault();
        case kLyricAlways:
            return true;
        default:
            return false;
    }
}

int DurationItem::stemSign() const {
    if (stemDirection == kStemUp) return 1;
    if (stemDirection == kStemDefault && verticalPosition() > 0) return 1;
    return -1;
}

int DurationItem::slurDirectionSetting() const {
    if (!hasAttribute(kExplicitSlurDirection)) return kDirectionDefault;
    return slurDirection == 0 ? kDirectionUpward : kDirectionDownward;
}

void DurationItem::setSlurDirectionSetting(int setting) {
    if (setting == kDirectionDefault) {
        clearAttribute(kExplicitSlurDirection);
    } else {
        setAttribute(kExplicitSlurDirection);
        slurDirection = setting == kDirectionDownward ? 1u : 0u;
    }
}

void DurationItem::copyAttributesFrom(const NotationItem& other) {
    NotationItem::copyAttributesFrom(other);
    if (!other.hasDuration()) return;
    const auto* d = dynamic_cast<const DurationItem*>(&other);
    if (!d) return;
    attributes = d->attributes;
    accidentalSpacing = d->accidentalSpacing;
    noteSpacing = d->noteSpacing;
    baseDuration = d->baseDuration;
    beamPosition = d->beamPosition;
    tripletPosition = d->tripletPosition;
    stemDirection = d->stemDirection;
    slurDirection = d->slurDirection;
}

void DurationItem::readRecord(int revision, SongInputStream& s) {
    NotationItem::readRecord(revision, s);
    const unsigned w1 = s.ReadUInt16();
    const unsigned w2 = s.ReadUInt16();
    const unsigned w3 = s.ReadUInt16();

    baseDuration = w1 & 15u;
    accidentalSpacing = revision > 8 ? (w1 >> 4) & 15u : 0u;
    noteSpacing = revision > 8 ? (w1 >> 8) & 15u : 0u;

    beamPosition = w2 & 3u;
    tripletPosition = (w2 >> 2) & 3u;
    stemDirection = (w2 >> 4) & 3u;
    slurDirection = revision >= 4 ? (w2 >> 6) & 1u : 0u;
    lyricSetting = revision >= 13 ? (w2 >> 7) & 3u : 0u;

    attributes = 0;
    if (revision < 4) {
        // Old slur code: 1 out, 2 out and in, 3 in.
        const unsigned slurCode = (w2 >> 6) & 3u;
        if (slurCode == 1 || slurCode == 2) setAttribute(kSlurOut);
        if (slurCode == 2 || slurCode == 3) setAttribute(kSlurIn);
    }
    for (int bit = 0; bit < 16; ++bit) {
        if (((w3 >> bit) & 1u) == 0) continue;
        if (revision < kFileAttributeBits[bit].firstRevision) continue;
        setAttribute(kFileAttributeBits[bit].attribute);
    }
}

void DurationItem::writeRecord(SongInputStream& s) const {
    NotationItem::writeRecord(s);
    s.WriteInt16(static_cast<int>(baseDuration + accidentalSpacing * 16u + noteSpacing * 256u));
    s.WriteInt16(static_cast<int>(beamPosition + tripletPosition * 4u + stemDirection * 16u +
                                  slurDirection * 64u + lyricSetting * 128u));
    unsigned w3 = 0;
    for (int bit = 0; bit < 16; ++bit) {
        if (hasAttribute(kFileAttributeBits[bit].attribute)) w3 |= 1u << bit;
    }
    s.WriteInt16(static_cast<int>(w3));
}

// ---- NoteItem ----

NoteItem::NoteItem() : NoteItem(0, kQuarter, 0, static_cast<int>(kNoAccidental)) {}

NoteItem::NoteItem(int staffPosition, int baseDuration, int attributes, int accidental)
    : DurationItem(baseDuration, attributes),
      staffPosition(static_cast<int8_t>(staffPosition)),
      accidental(static_cast<unsigned>(accidental) & 7u),
      tieDirection(static_cast<int8_t>(staffPosition) >= 0 ? 1u : 0u) {}

int NoteItem::flagCount() const {
    switch (baseDuration) {
        case kEighth:
            return 1;
        case kSixteenth:
            return 2;
        case kThirtysecond:
            return 3;
        case kSixtyfourth:
            return 4;
        default:
            return 0;
    }
}

bool NoteItem::drawsOwnFlag() const {
    return !hasAttribute(kChordMember) && beamPosition == kNotPresent && baseDuration != kWhole;
}

bool NoteItem::takesLyricByDefault() const {
    return !hasAttribute(kSlurIn) && !hasAttribute(kTieIn) && !hasAttribute(kGrace);
}

int NoteItem::tieDirectionSetting() const {
    if (!hasAttribute(kExplicitTieDirection)) return kDirectionDefault;
    return tieDirection == 0 ? kDirectionUpward : kDirectionDownward;
}

void NoteItem::setTieDirectionSetting(int setting) {
    if (setting == kDirectionDefault) {
        clearAttribute(kExplicitTieDirection);
    } else {
        setAttribute(kExplicitTieDirection);
        tieDirection = setting == kDirectionDownward ? 1u : 0u;
    }
}

void NoteItem::copyAttributesFrom(const NotationItem& other) {
    DurationItem::copyAttributesFrom(other);
    if (!other.isPitched()) return;
    const auto* n = dynamic_cast<const NoteItem*>(&other);
    if (!n) return;
    tieDirection = n->tieDirection;
    muted = n->muted;
    noLedgerLines = n->noLedgerLines;
    hiddenStem = n->hiddenStem;
}

void NoteItem::readRecord(int revision, SongInputStream& s) {
    DurationItem::readRecord(revision, s);
    const unsigned n = s.ReadUInt16();
    staffPosition = static_cast<int8_t>(static_cast<uint8_t>(n & 0xFFu));
    if (revision > 4) {
        accidental = (n >> 8) & 7u;  // 6 and 7 are kept as read
        tieDirection = (n >> 11) & 1u;
    } else {
        const unsigned old = (n >> 8) & 3u;
        accidental = old == 3 ? kNoAccidental : old;
        tieDirection = (n >> 10) & 1u;
    }
    if (revision > 15) {
        muted = (n >> 12) & 1u;
        noLedgerLines = (n >> 13) & 1u;
        hiddenStem = (n >> 14) & 1u;
    } else {
        muted = 0;
        noLedgerLines = 0;
        hiddenStem = 0;
        s.ReadUInt16();  // a word that older revisions carry and nothing uses
    }
    secondSide = 0;
}

void NoteItem::writeRecord(SongInputStream& s) const {
    DurationItem::writeRecord(s);
    const unsigned n = static_cast<uint8_t>(staffPosition) | accidental << 8 | tieDirection << 11 |
                       muted << 12 | noLedgerLines << 13 | hiddenStem << 14;
    s.WriteInt16(static_cast<int>(n));
}

// ---- RestItem ----

int RestItem::verticalPosition() const {
    return verticalOffset - (baseDuration == kWhole ? 1 : 0);
}

int RestItem::topExtent() const {
    const int p = verticalPosition();
    switch (baseDuration) {
        case kWhole:
        case kHalf:
            return p - 2;
        case kQuarter:
            return p - 4;
        case kEighth:
        case kSixteenth:
            return p - 3;
        case kThirtysecond:
        case kSixtyfourth:
            return p - 5;
        default:
            return p - 1;
    }
}

int RestItem::bottomExtent() const {
    const int p = verticalPosition();
    switch (baseDuration) {
        case kWhole:
        case kHalf:
            return p + 1;
        case kQuarter:
            return p + 4;
        case kEighth:
            return p + 3;
        case kSixteenth:
        case kThirtysecond:
            return p + 5;
        case kSixtyfourth:
            return p + 7;
        default:
            return p + 1;
    }
}

int RestItem::durationTicks() const {
    return isMeasured ? measuredLength : DurationItem::durationTicks();
}

void RestItem::setMeasuredLength(int count, int unit) {
    const int64_t unitTicks = (unit >= 0 && unit < 16) ? (768 >> unit) : 0;
    // Far beyond any bar a time signature can describe; kept modulo 2^32 like any tick value.
    measuredLength = static_cast<int32_t>(static_cast<int64_t>(count) * unitTicks);
    isMeasured = 1;
}

bool RestItem::isLoneWholeRest() const {
    return baseDuration == kWhole && !hasAttribute(kDotted) && !hasAttribute(kDoubleDotted) &&
           tripletPosition == kNotPresent;
}

void RestItem::copyAttributesFrom(const NotationItem& other) {
    DurationItem::copyAttributesFrom(other);
    if (!other.isRest()) return;
    const auto* r = dynamic_cast<const RestItem*>(&other);
    if (!r) return;
    verticalOffset = r->verticalOffset;
    measuredLength = r->measuredLength;
    isMeasured = r->isMeasured;
}

void RestItem::readRecord(int revision, SongInputStream& s) {
    DurationItem::readRecord(revision, s);
    if (revision > 8) {
        // The low 12 bits, as a signed number; the upper 4 bits are ignored.
        const int v = static_cast<int>(s.ReadUInt16() & 0xFFFu);
        verticalOffset = v >= 0x800 ? v - 0x1000 : v;
    } else {
        verticalOffset = 0;
    }
}

void RestItem::writeRecord(SongInputStream& s) const {
    DurationItem::writeRecord(s);
    s.WriteInt16(verticalOffset);
}

// ---- ChordItem ----

ChordItem::ChordItem(std::vector<std::unique_ptr<NoteItem>> newMembers)
    : NoteItem(0, kQuarter, 0, static_cast<int>(kNoAccidental)) {
    for (auto& note : newMembers) insertMember(std::move(note));
}

void ChordItem::insertMember(std::unique_ptr<NoteItem> note) {
    if (!note) return;
    // After every member of the same rank or a smaller one.
    const unsigned rank = memberRank(*note);
    auto at = std::find_if(members.begin(), members.end(),
                           [rank](const auto& m) { return memberRank(*m) > rank; });
    members.insert(at, std::move(note));
}

NoteItem* ChordItem::member(int i) {
    if (i < 0 || i >= memberCount()) return nullptr;
    return members[static_cast<size_t>(i)].get();
}

NoteItem* ChordItem::memberAtPosition(int p) {
    for (auto& m : members) {
        if (NoteItem* found = m->memberAtPosition(p)) return found;
    }
    return nullptr;
}

NoteItem* ChordItem::firstMember() {
    return members.empty() ? nullptr : members.front().get();
}

NoteItem* ChordItem::lastMember() {
    return members.empty() ? nullptr : members.back().get();
}

int ChordItem::topExtent() const {
    return members.empty() ? 0 : members.back()->topExtent();
}

int ChordItem::bottomExtent() const {
    return members.empty() ? 0 : members.front()->bottomExtent();
}

int ChordItem::verticalPosition() const {
    const int top = topExtent();
    const int bottom = bottomExtent();
    const int sum = top + bottom;
    int middle = sum / 2;
    if (sum % 2 != 0) {
        // Halfway between two steps: take the one toward the bottom extent.
        middle = bottom > top ? (sum + 1) / 2 : (sum - 1) / 2;
    }
    if (std::abs(bottom) < std::abs(top)) middle -= 1;
    return middle;
}

bool ChordItem::hasSplitStems() const {
    return members.size() >= 2 && members.front()->stemDirection != members.back()->stemDirection;
}

NoteItem* ChordItem::representative(int& sign) const {
    NoteItem* first = members.front().get();
    NoteItem* last = members.back().get();
    if (stemDirection == kStemUp) {
        sign = 1;
        return last;
    }
    if (stemDirection == kStemDefault) {
        NoteItem* farther =
            std::abs(int{first->staffPosition}) > std::abs(int{last->staffPosition}) ? first : last;
        sign = farther->staffPosition < 0 ? -1 : 1;
        return farther;
    }
    // Down, and the unnamed value 3, which stems count as not upward.
    sign = -1;
    return first;
}

void ChordItem::refreshMembers() {
    if (members.empty()) return;

    // What the chord takes from its members depends only on their positions, stems, dots and
    // note values, which the pass below does not change, so it is settled first, and every
    // member is then refreshed in one pass: a chord can hold tens of thousands of them.
    const int tieSetting = tieDirectionSetting();
    const int slurSetting = slurDirectionSetting();
    int sign = 1;
    const NoteItem* rep = representative(sign);
    staffPosition = rep->staffPosition;
    baseDuration = rep->baseDuration;
    const uint16_t dots = static_cast<uint16_t>((1u << kDotted) | (1u << kDoubleDotted));
    attributes = static_cast<uint16_t>((attributes & ~dots) | (rep->attributes & dots));
    clearAttribute(kTieOut);
    clearAttribute(kTieIn);
    const bool sameStems = members.front()->stemDirection == members.back()->stemDirection;

    // Marks that only the members on the stem's side carry, cleared from all first.
    uint16_t marks = 0;
    for (int a : {kStaccato, kTenuto, kAccented, kSlurOut, kSlurIn}) marks |= uint16_t(1u << a);
    // What those members take, in the order the chord's marks are given to them: staccato
    // before tenuto, which it excludes.
    uint16_t given = 0;
    for (int a : {kAccented, kSlurOut, kSlurIn}) {
        if (hasAttribute(a)) given |= uint16_t(1u << a);
    }
    if (hasAttribute(kStaccato)) {
        given |= uint16_t(1u << kStaccato);
    } else if (hasAttribute(kTenuto)) {
        given |= uint16_t(1u << kTenuto);
    }
    const bool explicitTies = hasAttribute(kExplicitTieDirection);
    bool tieOut = false;
    bool tieIn = false;
    for (auto& m : members) {
        m->visibility = visibility;
        m->colour = colour;
        m->setAttribute(kChordMember);
        m->noteSpacing = noteSpacing;
        m->setTieDirectionSetting(tieSetting);
        m->setSlurDirectionSetting(slurSetting);
        m->muted = muted;
        m->noLedgerLines = noLedgerLines;
        m->attributes = static_cast<uint16_t>(m->attributes & ~marks);
        m->setBeamPosition(kNotPresent);
        m->setTripletPosition(kNotPresent);
        m->secondSide = 0;

        if (sameStems) m->setStemFromSign(sign);
        const int memberSign = m->stemSign();
        if (memberSign == sign) {
            m->setBeamPosition(static_cast<int>(beamPosition));
            m->setTripletPosition(static_cast<int>(tripletPosition));
            m->attributes = static_cast<uint16_t>(m->attributes | given);
        }
        if (m->hasAttribute(kTieOut)) {
            tieOut = true;
            if (!m->hasAttribute(kTieIn) && !explicitTies) {
                m->tieDirection = memberSign > 0 ? 1u : 0u;
            }
        }
        if (m->hasAttribute(kTieIn)) tieIn = true;
    }
    if (tieOut) setAttribute(kTieOut);
    if (tieIn) setAttribute(kTieIn);

    layOutHeads(sign);
}

void ChordItem::layOutHeads(int sign) {
    // Heads are placed from the end of the chord away from the stem's tip: the lowest note
    // for an upward stem, the highest for a downward one. A head one step from a neighbour
    // on the normal side goes to the other side of the stem.
    headLayout = 1;  // every member's secondSide is 0 here
    const size_t n = members.size();
    for (size_t k = 1; k < n; ++k) {
        NoteItem& cur = sign > 0 ? *members[k] : *members[n - 1 - k];
        const NoteItem& prev = sign > 0 ? *members[k - 1] : *members[n - k];
        if (std::abs(cur.staffPosition - prev.staffPosition) == 1) {
            headLayout = 2;
            if (!prev.secondSide) cur.secondSide = 1;
        }
    }
}

void ChordItem::readRecord(int revision, SongInputStream& s) {
    members.clear();
    headLayout = 1;
    NoteItem::readRecord(revision, s);
    if (revision < 16) s.ReadUInt16();  // a second word that older chords carry
    const int count = s.ReadInt16();
    if (s.HasError()) return;

    // Members are collected as they are read and put into member order at the end: a stable
    // sort gives the order that inserting them one by one gives, without its quadratic cost.
    // The claimed count reserves room for a few members at most, so that the usual chord takes
    // one block of exactly its size and a lying count costs next to nothing.
    std::vector<std::unique_ptr<NoteItem>> read;
    read.reserve(static_cast<size_t>(std::clamp(count, 0, kMemberRoomHint)));
    bool complete = true;
    for (int i = 0; i < count; ++i) {
        ReadItemResult r = ItemFactory::readItem(revision, s);
        if (!r.ok) {
            complete = false;
            break;
        }
        // Only notes can be members; anything else is dropped and reading goes on.
        if (r.item->typeCode() != kNoteItem) continue;
        if (auto note = takeNote(r.item)) read.push_back(std::move(note));
    }
    // No room is kept beyond the members (and no block at all for a chord without any).
    sortIntoMemberOrder(read);
    members = std::move(read);
    if (complete) refreshMembers();
}

void ChordItem::writeRecord(SongInputStream& s) const {
    NoteItem::writeRecord(s);
    // The count is a signed 16-bit word; members beyond it are not written.
    const size_t count = std::min<size_t>(members.size(), 32767);
    s.WriteInt16(static_cast<int>(count));
    for (size_t i = 0; i < count; ++i) ItemFactory::writeItem(s, *members[i]);
}

// ---- RestChordItem ----

int RestChordItem::memberCount() const {
    return attachedChord ? attachedChord->memberCount() : 0;
}

NoteItem* RestChordItem::member(int i) {
    return attachedChord ? attachedChord->member(i) : nullptr;
}

NoteItem* RestChordItem::memberAtPosition(int p) {
    return attachedChord ? attachedChord->memberAtPosition(p) : nullptr;
}

void RestChordItem::refreshMembers() {
    if (attachedChord) attachedChord->refreshMembers();
}

bool RestChordItem::hasSplitStems() const {
    return attachedChord && attachedChord->hasSplitStems();
}

bool RestChordItem::takesLyricByDefault() const {
    return attachedChord && attachedChord->takesLyric();
}

bool RestChordItem::isLoneWholeRest() const {
    return !attachedChord && RestItem::isLoneWholeRest();
}

void RestChordItem::readRecord(int revision, SongInputStream& s) {
    attachedChord.reset();
    RestItem::readRecord(revision, s);
    const int hasChord = s.ReadInt16();
    if (hasChord == 0 || s.HasError()) return;
    ReadItemResult r = ItemFactory::readItem(revision, s);
    if (!r.ok) return;
    // A chord in practice; a note is accepted too; anything else is dropped.
    const int code = r.item->typeCode();
    if (code == kNoteItem || code == kChordItem) attachedChord = takeNote(r.item);
}

void RestChordItem::writeRecord(SongInputStream& s) const {
    RestItem::writeRecord(s);
    s.WriteInt16(attachedChord ? 1 : 0);
    if (attachedChord) ItemFactory::writeItem(s, *attachedChord);
}

}  // namespace scq
