#include "support/SongBuilder.h"

#define ZLIB_CONST
#include <zlib.h>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace scq::test {

// ---------------------------------------------------------------------------------------------
// ByteWriter and RawItem

ByteWriter& ByteWriter::u8(int value) {
    bytes.push_back(static_cast<uint8_t>(static_cast<unsigned>(value) & 0xFFu));
    return *this;
}

ByteWriter& ByteWriter::word(int value) {
    const unsigned v = static_cast<unsigned>(value);
    bytes.push_back(static_cast<uint8_t>(v & 0xFFu));
    bytes.push_back(static_cast<uint8_t>((v >> 8) & 0xFFu));
    return *this;
}

ByteWriter& ByteWriter::str(std::string_view text) {
    raw(text);
    bytes.push_back(0);
    return *this;
}

ByteWriter& ByteWriter::raw(const Bytes& data) {
    bytes.insert(bytes.end(), data.begin(), data.end());
    return *this;
}

ByteWriter& ByteWriter::raw(std::string_view data) {
    for (char c : data) bytes.push_back(static_cast<uint8_t>(c));
    return *this;
}

RawItem& RawItem::u8(int value) {
    ByteWriter w;
    w.u8(value);
    return raw(w.bytes);
}

RawItem& RawItem::word(int value) {
    ByteWriter w;
    w.word(value);
    return raw(w.bytes);
}

RawItem& RawItem::str(std::string_view text) {
    ByteWriter w;
    w.str(text);
    return raw(w.bytes);
}

RawItem& RawItem::raw(const Bytes& data) {
    bytes.insert(bytes.end(), data.begin(), data.end());
    return *this;
}

int Item::typeCode() const {
    return std::holds_alternative<RawItem>(kind) ? -1 : static_cast<int>(kind.index());
}

ControllerSpec& ControllerSpec::point(int i, int offset, int value) {
    ControllerPoint& p = points.at(static_cast<size_t>(i));
    p.active = 1;
    p.offset = offset;
    p.value = value;
    return *this;
}

// ---------------------------------------------------------------------------------------------
// Factories

ClefSpec Clef(int clefType, int octaveShift) {
    ClefSpec c;
    c.clefType = clefType;
    c.octaveShift = octaveShift;
    return c;
}

KeySignatureSpec Key(int size) {
    static constexpr int kSharpOrder[7] = {letter::F, letter::C, letter::G, letter::D,
                                           letter::A, letter::E, letter::B};
    static constexpr int kFlatOrder[7] = {letter::B, letter::E, letter::A, letter::D,
                                          letter::G, letter::C, letter::F};
    KeySignatureSpec k;
    for (int i = 0; i < size && i < 7; ++i) k.sharps |= 1 << kSharpOrder[i];
    for (int i = 0; i < -size && i < 7; ++i) k.flats |= 1 << kFlatOrder[i];
    return k;
}

KeySignatureSpec KeyMasks(int flats, int sharps) {
    KeySignatureSpec k;
    k.flats = flats;
    k.sharps = sharps;
    return k;
}

BarLineSpec Bar(int style, int count) {
    BarLineSpec b;
    b.barStyle = style;
    b.repeatCount = style == bar::LocalRepeatClose ? (count > 1 ? count : 2) : 1;
    return b;
}

EndingSpec Ending(int endings) {
    EndingSpec e;
    e.endings = endings;
    return e;
}

InstrumentSpec Instrument(int patch, int bank, int bankSelect) {
    InstrumentSpec i;
    i.patch = patch;
    i.bank = bank;
    i.bankSelect = bankSelect;
    i.position = -8;
    return i;
}

TimeSignatureSpec Time(int beats, int denominator) {
    TimeSignatureSpec t;
    t.beatsPerBar = beats;
    int code = 0;
    while (code < 15 && (1 << code) < denominator) ++code;
    t.beatValueCode = code;
    return t;
}

TimeSignatureSpec CommonTime() {
    TimeSignatureSpec t = Time(4, 4);
    t.signatureStyle = 1;
    return t;
}

TimeSignatureSpec AllaBreve() {
    TimeSignatureSpec t = Time(2, 2);
    t.signatureStyle = 2;
    return t;
}

TempoSpec Tempo(int tempo, int tempoBase, std::string text) {
    TempoSpec t;
    t.tempo = tempo;
    t.tempoBase = tempoBase;
    t.tempoText = std::move(text);
    t.position = -10;
    t.reservesWidth = 0;
    return t;
}

DynamicSpec Dynamic(int dynamic) {
    DynamicSpec d;
    d.dynamic = dynamic;
    d.reservesWidth = 0;
    return d;
}

NoteSpec Note(int staffPosition, int baseDuration, int attributes, int accidental) {
    NoteSpec n;
    n.staffPosition = staffPosition;
    n.baseDuration = baseDuration;
    n.attributes = attributes;
    n.accidental = accidental;
    n.tieDirection = staffPosition >= 0 ? 1 : 0;
    return n;
}

RestSpec Rest(int baseDuration, int attributes) {
    RestSpec r;
    r.baseDuration = baseDuration;
    r.attributes = attributes;
    return r;
}

ChordSpec Chord(int baseDuration, std::initializer_list<int> positions, int attributes) {
    ChordSpec c;
    c.baseDuration = baseDuration;
    c.attributes = attributes & ~attr::ChordMem;
    if (positions.size() > 0) {
        int low = *positions.begin();   // largest position: the lowest note
        int high = *positions.begin();  // smallest position: the highest note
        for (int p : positions) {
            if (p > low) low = p;
            if (p < high) high = p;
        }
        c.staffPosition = std::abs(low) > std::abs(high) ? low : high;
    }
    c.tieDirection = c.staffPosition >= 0 ? 1 : 0;
    for (int p : positions) {
        c.members.emplace_back(Note(p, baseDuration, attributes | attr::ChordMem));
    }
    return c;
}

ChordSpec Chord(std::vector<Item> members) {
    ChordSpec c;
    for (const Item& m : members) {
        if (const auto* n = std::get_if<NoteSpec>(&m.kind)) {
            c.baseDuration = n->baseDuration;
            c.staffPosition = n->staffPosition;
            c.tieDirection = n->tieDirection;
            break;
        }
    }
    c.members = std::move(members);
    return c;
}

RestChordSpec RestChord(int baseDuration, ChordSpec chord) {
    RestChordSpec r;
    r.baseDuration = baseDuration;
    chord.attributes |= attr::Attached;
    r.attached.emplace_back(std::move(chord));
    return r;
}

RestChordSpec RestChord(int baseDuration) {
    RestChordSpec r;
    r.baseDuration = baseDuration;
    return r;
}

PedalSpec Pedal(bool down) {
    PedalSpec p;
    p.pedalDown = down ? 1 : 0;
    return p;
}

FlowDirectionSpec Flow(int kind) {
    FlowDirectionSpec f;
    f.flowKind = kind;
    f.position = -8;
    return f;
}

ControllerSpec Controller(int controller) {
    ControllerSpec c;
    c.controller = controller;
    c.position = -8;
    return c;
}

TempoVariationSpec TempoVariation(int kind, int pauseLength) {
    TempoVariationSpec t;
    t.variationKind = kind;
    t.pauseLength = pauseLength;
    t.reservesWidth = 0;
    if (kind == tvar::BreathMark || kind == tvar::Fermata) t.position = -8;
    return t;
}

TempoVariationSpec Fermata(int pauseLength) {
    return TempoVariation(tvar::Fermata, pauseLength);
}

TempoVariationSpec BreathMark(int pauseLength) {
    return TempoVariation(tvar::BreathMark, pauseLength);
}

DynamicVariationSpec DynamicVariation(int kind) {
    DynamicVariationSpec d;
    d.variationKind = kind;
    d.reservesWidth = 0;
    return d;
}

PerformanceStyleSpec PerformanceStyle(int style) {
    PerformanceStyleSpec p;
    p.performanceStyle = style;
    p.reservesWidth = 0;
    return p;
}

TextSpec Text(std::string text, int font) {
    TextSpec t;
    t.text = std::move(text);
    t.textFont = font;
    t.position = -8;
    t.reservesWidth = 0;
    return t;
}

RawItem Raw(const Bytes& bytes) {
    RawItem r;
    r.bytes = bytes;
    return r;
}

RawItem RawWords(std::initializer_list<int> words) {
    RawItem r;
    for (int w : words) r.word(w);
    return r;
}

LyricLineSpec LyricLine(std::string_view text) {
    LyricLineSpec line;
    line.bytes.assign(text.begin(), text.end());
    line.usedLength = static_cast<int>(text.size());
    return line;
}

LyricsSpec Lyrics(std::initializer_list<std::string_view> lines) {
    LyricsSpec l;
    for (std::string_view text : lines) l.lines.push_back(LyricLine(text));
    return l;
}

StaffSpec MakeStaff(std::string name, std::vector<Item> items) {
    StaffSpec s;
    s.staffName = std::move(name);
    s.items = std::move(items);
    return s;
}

std::array<FontSpec, 12> DefaultFonts(int baseSize) {
    // Product in 64 bits, divided to the nearest integer, halves away from zero.
    auto scaleNearest = [](int64_t a, int64_t b, int64_t c) {
        const int64_t p = a * b;
        const int64_t q = p / c;
        const int64_t r = p % c;
        if (2 * (r < 0 ? -r : r) >= c) return static_cast<int>(p < 0 ? q - 1 : q + 1);
        return static_cast<int>(q);
    };
    std::array<FontSpec, 12> f{};
    f[0].size = scaleNearest(5, baseSize, 8);
    f[0].style = 3;
    f[1].size = baseSize / 2;
    f[1].style = 1;
    f[2].size = scaleNearest(9, baseSize, 20);
    f[3].size = 24;
    f[3].style = 1;
    f[4].size = 12;
    f[5].size = 8;
    for (size_t i = 6; i < 12; ++i) f[i].size = baseSize / 2;
    return f;
}

StaffSelectionBytes StaffSelection(std::initializer_list<int> staffIndexes) {
    StaffSelectionBytes s{};
    for (int i : staffIndexes) {
        if (i >= 0 && i < 256) s[static_cast<size_t>(i / 8)] |= static_cast<uint8_t>(1u << (i % 8));
    }
    return s;
}

// ---------------------------------------------------------------------------------------------
// Item records

namespace {

// Model attribute bit for each file bit of W3, and the first revision that stores it.
struct FileBit {
    int attribute;
    int fromRevision;
};
constexpr int kAll = INT_MIN;  // stored by every revision, negative ones included
constexpr FileBit kFileBits[16] = {{12, 5},   {2, kAll}, {1, kAll}, {4, kAll}, {3, kAll}, {0, kAll},
                                   {5, kAll}, {6, 4},    {7, 4},    {8, 4},    {9, 5},    {10, 5},
                                   {11, 5},   {13, 7},   {14, 10},  {15, 10}};

template <class D>
void WriteCommon(ByteWriter& out, const ItemFields<D>& item, int rev) {
    if (rev >= 10) out.u8((item.visibility & 3) | (item.colour & 3) << 3);
}

template <class D>
void WritePositioned(ByteWriter& out, const PositionedFields<D>& item, int rev) {
    WriteCommon(out, item, rev);
    if (rev >= 11) {
        out.u8(item.position);
        out.u8((item.reservesWidth & 1) | (item.justification & 3) << 1 |
               (item.placement & 3) << 3);
    }
}

// The packed word of revisions 10 and older: position in bits 8-15, the rest as given.
template <class D>
int PackedWord(const PositionedFields<D>& item, int low) {
    return (item.position & 0xFF) << 8 | (low & 0xFF);
}

template <class D>
void WriteDuration(ByteWriter& out, const DurationFields<D>& item, int rev) {
    WriteCommon(out, item, rev);
    int w1 = item.baseDuration & 0xF;
    if (rev > 8) w1 |= (item.accidentalSpacing & 0xF) << 4 | (item.noteSpacing & 0xF) << 8;

    int w2 =
        (item.beamPosition & 3) | (item.tripletPosition & 3) << 2 | (item.stemDirection & 3) << 4;
    if (rev >= 4) {
        w2 |= (item.slurDirection & 1) << 6;
        if (rev >= 13) w2 |= (item.lyricSetting & 3) << 7;
    } else {
        const bool out7 = (item.attributes & attr::SlurOut) != 0;
        const bool in8 = (item.attributes & attr::SlurIn) != 0;
        const int slurCode = out7 ? (in8 ? 2 : 1) : (in8 ? 3 : 0);
        w2 |= slurCode << 6;
    }

    int w3 = 0;
    for (int bit = 0; bit < 16; ++bit) {
        const FileBit& fb = kFileBits[bit];
        if (rev >= fb.fromRevision && (item.attributes & (1 << fb.attribute)) != 0) {
            w3 |= 1 << bit;
        }
    }
    out.word(item.rawW1.value_or(w1));
    out.word(item.rawW2.value_or(w2));
    out.word(item.rawW3.value_or(w3));
}

template <class D>
void WriteNoteRecord(ByteWriter& out, const NoteFields<D>& note, int rev) {
    WriteDuration(out, note, rev);
    int n = note.staffPosition & 0xFF;
    if (rev > 4) {
        n |= (note.accidental & 7) << 8 | (note.tieDirection & 1) << 11;
        if (rev > 15) {
            n |= (note.muted & 1) << 12 | (note.noLedgerLines & 1) << 13 |
                 (note.hiddenStem & 1) << 14;
        }
    } else {
        // Two bits: sharp, flat and natural as they stand; 3 means none. Double sharps and
        // double flats have no old form and are written as none.
        const int a = note.accidental >= 0 && note.accidental <= 2 ? note.accidental : 3;
        n |= a << 8 | (note.tieDirection & 1) << 10;
    }
    out.word(note.rawN.value_or(n));
    if (rev < 16) out.word(note.ignoredWord);
}

template <class D>
void WriteRestRecord(ByteWriter& out, const DurationFields<D>& rest, int verticalOffset, int rev) {
    WriteDuration(out, rest, rev);
    if (rev > 8) out.word(verticalOffset);
}

void WriteRecord(ByteWriter& out, const ClefSpec& c, int rev) {
    WriteCommon(out, c, rev);
    out.word(c.clefType);
    if (rev > 3) out.word(c.octaveShift);
}

void WriteRecord(ByteWriter& out, const KeySignatureSpec& k, int rev) {
    WriteCommon(out, k, rev);
    out.word(k.flats).word(k.sharps).word(k.clefHint);
    if (rev > 2) out.word(k.cancelledFlats).word(k.cancelledSharps);
}

void WriteRecord(ByteWriter& out, const BarLineSpec& b, int rev) {
    WriteCommon(out, b, rev);
    int w = (b.barStyle & 0x3F) | (b.repeatCount & 0xFF) << 8;
    if (rev > 11) w |= (b.systemBreak & 1) << 7;
    out.word(b.rawWord.value_or(w));
}

void WriteRecord(ByteWriter& out, const EndingSpec& e, int rev) {
    WriteCommon(out, e, rev);
    out.word(e.endings);
}

void WriteRecord(ByteWriter& out, const InstrumentSpec& i, int rev) {
    WritePositioned(out, i, rev);
    out.word(i.bankSelect).word(i.bank).word(i.patch);
}

void WriteRecord(ByteWriter& out, const TimeSignatureSpec& t, int rev) {
    WriteCommon(out, t, rev);
    out.word(t.beatsPerBar).word(t.beatValueCode);
    if (rev >= 3) out.word(t.signatureStyle);
}

void WriteRecord(ByteWriter& out, const TempoSpec& t, int rev) {
    WritePositioned(out, t, rev);
    if (rev >= 11) {
        out.word(t.tempo).u8(t.tempoBase).str(t.tempoText);
        return;
    }
    out.word(t.position).word(t.tempo);
    if (rev >= 3) out.word(t.tempoBase & 0xFF);
    if (rev >= 4) {
        int f = 0;
        if (t.visibility != vis::Never) {
            f |= 1 << 4;
            for (size_t i = 0; i < kTempoWords.size(); ++i) {
                if (t.tempoText == kTempoWords[i]) {
                    f |= static_cast<int>(i) | 1 << 5;
                    break;
                }
            }
        }
        f |= (t.reservesWidth & 1) << 6;
        out.word(t.wordF.value_or(f));
    }
}

void WriteRecord(ByteWriter& out, const DynamicSpec& d, int rev) {
    WritePositioned(out, d, rev);
    const int byteD = (d.dynamic & 0xF) | (d.velocityGiven & 1) << 5 | (d.volumeGiven & 1) << 6;
    if (rev >= 11) {
        out.u8(byteD).word(d.velocity).word(d.volume);
    } else if (rev >= 4) {
        int low = byteD | (d.reservesWidth & 1) << 4;
        if (rev < 10 && d.visibility == vis::Never) low |= 1 << 7;
        out.word(PackedWord(d, low)).word(d.velocity).word(d.volume);
    } else {
        out.word(d.position).word(d.dynamic & 0xF);
    }
}

void WriteRecord(ByteWriter& out, const NoteSpec& n, int rev) {
    WriteNoteRecord(out, n, rev);
}

void WriteRecord(ByteWriter& out, const RestSpec& r, int rev) {
    WriteRestRecord(out, r, r.verticalOffset, rev);
}

void WriteRecord(ByteWriter& out, const ChordSpec& c, int rev) {
    WriteNoteRecord(out, c, rev);
    if (rev < 16) out.word(c.ignoredWord2);
    out.word(c.memberCount.value_or(static_cast<int>(c.members.size())));
    for (const Item& m : c.members) WriteItem(out, m, rev);
}

void WriteRecord(ByteWriter& out, const PedalSpec& p, int rev) {
    WritePositioned(out, p, rev);
    if (rev >= 11) {
        out.u8(p.pedalDown);
    } else {
        out.word(p.position).word((p.pedalDown != 0 ? 1 : 0) | (p.reservesWidth & 1) << 1);
    }
}

void WriteRecord(ByteWriter& out, const FlowDirectionSpec& f, int rev) {
    WritePositioned(out, f, rev);
    out.word(f.flowKind);
}

void WriteRecord(ByteWriter& out, const ControllerSpec& c, int rev) {
    WritePositioned(out, c, rev);
    out.word(c.controller).word(c.sweepStyle).word(c.timeUnit).word(c.sweepStep);
    for (const ControllerPoint& p : c.points) out.word(p.active).word(p.offset).word(p.value);
}

void WriteRecord(ByteWriter& out, const TempoVariationSpec& t, int rev) {
    WritePositioned(out, t, rev);
    if (rev >= 11) {
        out.u8(t.variationKind).u8(t.pauseLength);
    } else {
        out.word(PackedWord(t, (t.reservesWidth & 1) << 7 | (t.variationKind & 0x7F)));
        out.word(t.pauseLength & 0xFF);
    }
}

void WriteRecord(ByteWriter& out, const DynamicVariationSpec& d, int rev) {
    WritePositioned(out, d, rev);
    if (rev >= 11) {
        out.u8(d.variationKind);
    } else {
        out.word(PackedWord(d, (d.reservesWidth & 1) << 7 | (d.variationKind & 0x7F)));
    }
}

void WriteRecord(ByteWriter& out, const PerformanceStyleSpec& p, int rev) {
    WritePositioned(out, p, rev);
    if (rev >= 11) {
        out.u8(p.performanceStyle);
    } else {
        out.word(PackedWord(p, (p.reservesWidth & 1) << 7 | (p.performanceStyle & 0x7F)));
    }
}

void WriteRecord(ByteWriter& out, const TextSpec& t, int rev) {
    WritePositioned(out, t, rev);
    if (rev >= 11) {
        out.u8(t.textFont);
    } else {
        out.word(PackedWord(t, (t.reservesWidth & 1) << 4 | (t.textFont & 0xF)));
    }
    out.str(t.text);
}

void WriteRecord(ByteWriter& out, const RestChordSpec& r, int rev) {
    WriteRestRecord(out, r, r.verticalOffset, rev);
    out.word(r.attachedWord.value_or(r.attached.empty() ? 0 : 1));
    for (const Item& a : r.attached) WriteItem(out, a, rev);
}

void WriteRecord(ByteWriter& out, const RawItem& r, int /*rev*/) {
    out.raw(r.bytes);
}

std::string FormatMargins(const std::array<float, 4>& m) {
    char buf[256];
    std::snprintf(buf, sizeof buf, "%2.8f %2.8f %2.8f %2.8f", static_cast<double>(m[0]),
                  static_cast<double>(m[1]), static_cast<double>(m[2]), static_cast<double>(m[3]));
    return buf;
}

}  // namespace

void WriteItem(ByteWriter& out, const Item& item, int revision) {
    if (!std::holds_alternative<RawItem>(item.kind)) out.word(item.typeCode());
    std::visit([&](const auto& kind) { WriteRecord(out, kind, revision); }, item.kind);
}

// ---------------------------------------------------------------------------------------------
// Header, song information, staffs

void WriteHeader(ByteWriter& out, const HeaderSpec& h, int revision) {
    out.str(h.magic).word(h.leadingWord).str(h.productString);
    out.word(h.productVersion).word(h.secondHeaderWord).word(h.unusedWord);
    out.str(h.unusedText1).str(h.unusedText2);
    for (int w : h.unusedWords) out.word(w);
    out.word(h.formatRevision.value_or(revision));
}

void WriteSongInformation(ByteWriter& out, const SongInfoSpec& s, int rev) {
    out.str(s.title).str(s.author).str(s.copyright1).str(s.copyright2).str(s.comments);
    out.str(s.optionString).str(s.discardedString);
    if (rev >= 4) out.word(s.barNumberStyle).word(s.firstBarNumber);
    if (rev < 6) return;
    out.str(s.marginsText ? *s.marginsText : FormatMargins(s.pageMargins));
    out.u8(s.pageOptionByte1).word(s.pageOptionWord1);
    if (rev >= 8) {
        for (uint8_t b : s.staffSelection) out.u8(b);
        out.u8(s.layeringByte);
    }
    if (rev >= 7) {
        out.word(s.fontBaseSize);
        const size_t entries = rev < 15 ? 10 : 12;
        for (size_t i = 0; i < entries; ++i) {
            const FontSpec& f = s.fonts[i];
            out.str(f.name).u8(f.style).word(f.size).u8(f.charset);
        }
    } else {
        out.word(s.oldBaseSizeWord);
    }
    out.u8(s.songOption4Byte).u8(s.pageOptionByte2).word(s.pageOptionWord2);
}

void WriteStaff(ByteWriter& out, const StaffSpec& s, int rev) {
    out.str(s.staffName).str(s.groupName);
    if (rev >= 9) out.u8(s.endingBar);
    out.word(s.muted).word(s.channel).word(s.device);
    out.word(s.bankSelect).word(s.bank).word(s.patch);
    out.word(s.staffStyle).word(s.upperBoundary).word(s.lowerBoundary);
    if (rev >= 16) out.u8(s.lineCount);
    if (rev >= 8) out.word(s.layerWithNext);
    out.word(s.transposition).word(s.volume).word(s.stereoPan);
    if (rev >= 10) out.u8(s.staffOptionByte);
    if (rev >= 4) {
        out.word(s.lyricsFlag.value_or(s.lyrics ? 1 : 0));
        if (s.lyrics) {
            const LyricsSpec& l = *s.lyrics;
            out.word(l.lineCount.value_or(static_cast<int>(l.lines.size())));
            if (rev >= 8) out.word(l.optionsWord).word(l.lyricWord);
            for (const LyricLineSpec& line : l.lines) {
                const int size = line.declaredSize.value_or(static_cast<int>(line.bytes.size()));
                out.word(size);
                if (size != 0) out.word(line.usedLength).raw(line.bytes);
            }
        }
    }
    out.word(s.discardedWords[0]).word(s.discardedWords[1]);
    out.word(s.storedItemCount.value_or(static_cast<int>(s.items.size()) + 2));
    if (rev <= 8) WriteItem(out, s.storedOpeningBar ? *s.storedOpeningBar : Item(Bar()), rev);
    for (const Item& item : s.items) WriteItem(out, item, rev);
    if (rev <= 8) {
        WriteItem(out, s.storedClosingBar ? *s.storedClosingBar : Item(Bar(bar::SectionClose)),
                  rev);
    }
    out.raw(s.trailingBytes);
}

Bytes BuildHeader(const HeaderSpec& header, int revision) {
    ByteWriter w;
    WriteHeader(w, header, revision);
    return std::move(w.bytes);
}

Bytes BuildStaff(const StaffSpec& staff, int revision) {
    ByteWriter w;
    WriteStaff(w, staff, revision);
    return std::move(w.bytes);
}

Bytes BuildItem(int revision, const Item& item) {
    ByteWriter w;
    WriteItem(w, item, revision);
    return std::move(w.bytes);
}

Bytes BuildSong(const SongSpec& song) {
    ByteWriter w;
    WriteHeader(w, song.header, song.revision);
    WriteSongInformation(w, song.info, song.revision);
    w.word(song.staffCount.value_or(static_cast<int>(song.staffs.size())));
    for (const StaffSpec& s : song.staffs) WriteStaff(w, s, song.revision);
    w.raw(song.trailingBytes);
    return song.compressed ? Compress(w.bytes) : std::move(w.bytes);
}

Bytes BuildItemRun(int revision, const std::vector<Item>& items, std::optional<int> count) {
    ByteWriter w;
    w.word(revision).word(count.value_or(static_cast<int>(items.size())));
    for (const Item& item : items) WriteItem(w, item, revision);
    return std::move(w.bytes);
}

// ---------------------------------------------------------------------------------------------
// Compressed container

namespace {
constexpr char kMagic[6] = {'[', 'S', 'C', 'Z', ']', '\0'};
}

Bytes Compress(const Bytes& plain) {
    Bytes out(kMagic, kMagic + sizeof kMagic);
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (deflateInit(&zs, 9) != Z_OK) return {};
    zs.next_in = plain.data();
    zs.avail_in = static_cast<uInt>(plain.size());
    uint8_t buf[8192];
    int rc = Z_OK;
    do {
        zs.next_out = buf;
        zs.avail_out = sizeof buf;
        rc = deflate(&zs, Z_FINISH);
        out.insert(out.end(), buf, buf + (sizeof buf - zs.avail_out));
    } while (rc == Z_OK);
    deflateEnd(&zs);
    if (rc != Z_STREAM_END) return {};
    return out;
}

std::optional<Bytes> Decompress(const Bytes& container) {
    if (container.size() < sizeof kMagic || std::memcmp(container.data(), kMagic, sizeof kMagic)) {
        return std::nullopt;
    }
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (inflateInit(&zs) != Z_OK) return std::nullopt;
    zs.next_in = container.data() + sizeof kMagic;
    zs.avail_in = static_cast<uInt>(container.size() - sizeof kMagic);
    Bytes out;
    uint8_t buf[8192];
    int rc = Z_OK;
    while (rc == Z_OK) {
        zs.next_out = buf;
        zs.avail_out = sizeof buf;
        rc = inflate(&zs, Z_NO_FLUSH);
        out.insert(out.end(), buf, buf + (sizeof buf - zs.avail_out));
    }
    inflateEnd(&zs);
    if (rc != Z_STREAM_END) return std::nullopt;
    return out;
}

Bytes ToTextTransfer(const Bytes& bytes) {
    Bytes out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (uint8_t b : bytes) {
        if (b == '\n') out.push_back('\r');
        out.push_back(b);
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Files

namespace {

bool WriteAll(int fd, const Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool WriteFile(const std::string& path, const Bytes& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    const bool ok = WriteAll(fd, bytes);
    return ::close(fd) == 0 && ok;
}

Bytes ReadFile(const std::string& path) {
    Bytes out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    uint8_t buf[8192];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}

TempFile::TempFile(const Bytes& bytes, const char* prefix) {
    const char* dir = std::getenv("TMPDIR");
    std::string templ = std::string(dir && *dir ? dir : "/tmp") + "/" + prefix + "XXXXXX";
    std::vector<char> name(templ.begin(), templ.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return;
    path_ = name.data();
    const bool ok = WriteAll(fd, bytes);
    if (::close(fd) != 0 || !ok) remove();
}

TempFile::~TempFile() {
    remove();
}

TempFile::TempFile(TempFile&& other) noexcept : path_(std::move(other.path_)) {
    other.path_.clear();
}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
    if (this != &other) {
        remove();
        path_ = std::move(other.path_);
        other.path_.clear();
    }
    return *this;
}

bool TempFile::write(const Bytes& bytes) const {
    return ok() && WriteFile(path_, bytes);
}

void TempFile::remove() {
    if (!path_.empty()) {
        ::unlink(path_.c_str());
        path_.clear();
    }
}

}  // namespace scq::test
