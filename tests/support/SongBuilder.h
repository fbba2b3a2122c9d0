#pragma once

// Builds the bytes of song files, item runs and compressed containers for tests.
//
// This encoder is independent of the library's item classes: it has its own plain description
// structs and writes every record itself, in the layout of any format revision 0..16 (a
// negative revision writes the oldest layout). Every description starts out with the values
// the editor writes for a new song, staff or item, so a test only states what matters to it:
//
//     SongSpec song;
//     song.staffs = {MakeStaff("Flute", {Clef(clef::Treble), Time(3, 4), Note(0, dur::Quarter),
//                                        Rest(dur::Half), Bar()})};
//     Bytes file = BuildSong(song);
//
// Item descriptions carry the model's stored fields in the model's numbering (attribute bits,
// accidental codes, ...); the encoder maps them onto the requested revision's words and bits.
// Where an old layout cannot express a field, the layout's nearest form is written. Raw
// overrides and `RawItem` write arbitrary bytes for hostile-input tests.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace scq::test {

using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------------------------------------
// Named values (model numbering).

namespace dur {  // baseDuration
inline constexpr int Whole = 0, Half = 1, Quarter = 2, Eighth = 3, Sixteenth = 4, ThirtySecond = 5,
                     SixtyFourth = 6;
}
namespace attr {  // bits of `attributes`
inline constexpr int Accented = 1 << 0, Dotted = 1 << 1, Staccato = 1 << 2, TieOut = 1 << 3,
                     TieIn = 1 << 4, ChordMem = 1 << 5, Attached = 1 << 6, SlurOut = 1 << 7,
                     SlurIn = 1 << 8, Tenuto = 1 << 9, Attr10 = 1 << 10, Attr11 = 1 << 11,
                     DoubleDotted = 1 << 12, Grace = 1 << 13, ExplicitTieDir = 1 << 14,
                     ExplicitSlurDir = 1 << 15;
}
namespace acc {  // accidental
inline constexpr int Sharp = 0, Flat = 1, Natural = 2, DoubleSharp = 3, DoubleFlat = 4, None = 5;
}
namespace grp {  // beamPosition, tripletPosition
inline constexpr int NotPresent = 0, First = 1, Middle = 2, End = 3;
}
namespace stem {  // stemDirection
inline constexpr int Default = 0, Up = 1, Down = 2;
}
namespace vis {  // visibility
inline constexpr int Default = 0, Always = 1, OnTopStaff = 2, Never = 3;
}
namespace clef {  // clefType
inline constexpr int Treble = 0, Bass = 1, Alto = 2, Tenor = 3;
}
namespace bar {  // barStyle
inline constexpr int Single = 0, Double = 1, SectionOpen = 2, SectionClose = 3, LocalRepeatOpen = 4,
                     LocalRepeatClose = 5, MasterRepeatOpen = 6, MasterRepeatClose = 7;
}
namespace letter {  // key signature letter bits: 1 << letter
inline constexpr int A = 0, B = 1, C = 2, D = 3, E = 4, F = 5, G = 6;
}
namespace tbase {  // tempoBase
inline constexpr int Eighth = 0, DottedEighth = 1, Quarter = 2, DottedQuarter = 3, Half = 4,
                     DottedHalf = 5;
}
namespace dyn {  // dynamic
inline constexpr int ppp = 0, pp = 1, p = 2, mp = 3, mf = 4, f = 5, ff = 6, fff = 7;
}
namespace tvar {  // TempoVariation variationKind
inline constexpr int BreathMark = 0, Fermata = 1, Accelerando = 2, Allargando = 3, Rallentando = 4,
                     Ritardando = 5, Ritenuto = 6, Rubato = 7, Stringendo = 8;
}
namespace dvar {  // DynamicVariation variationKind
inline constexpr int Crescendo = 0, Decrescendo = 1, Diminuendo = 2, Rinforzando = 3, Sforzando = 4;
}
namespace flow {  // flowKind
inline constexpr int Coda = 0, Segno = 1, Fine = 2, ToCoda = 3, DaCapo = 4, DCAlCoda = 5,
                     DCAlFine = 6, DalSegno = 7, DSAlCoda = 8, DSAlFine = 9;
}
namespace code {  // item type codes
inline constexpr int Clef = 0, KeySignature = 1, BarLine = 2, Ending = 3, Instrument = 4,
                     TimeSignature = 5, Tempo = 6, Dynamic = 7, Note = 8, Rest = 9, Chord = 10,
                     Pedal = 11, FlowDirection = 12, Controller = 13, TempoVariation = 14,
                     DynamicVariation = 15, PerformanceStyle = 16, Text = 17, RestChord = 18;
}

// The twelve tempo words that records of revisions 4..10 refer to by index.
inline constexpr std::array<const char*, 12> kTempoWords = {
    "Largo",     "Larghetto",  "Adagio",  "Lento",  "Moderato", "Andante",
    "Andantino", "Allegretto", "Allegro", "Vivace", "Presto",   "Prestissimo"};

// ---------------------------------------------------------------------------------------------
// Raw byte writing.

class ByteWriter {
public:
    ByteWriter& u8(int value);               // low 8 bits
    ByteWriter& word(int value);             // low 16 bits, little-endian
    ByteWriter& str(std::string_view text);  // the characters as they stand, then a 0
    ByteWriter& raw(const Bytes& data);      // verbatim
    ByteWriter& raw(std::string_view data);  // verbatim, no terminator

    Bytes bytes;
};

// ---------------------------------------------------------------------------------------------
// Item descriptions. Chainable setters return the concrete description, so a test can write
// `Note(-2, dur::Eighth).add(attr::Dotted).beam(grp::First).vis(vis::Never)`.

template <class D>
struct ItemFields {
    int visibility = 0;  // 2 bits
    int colour = 0;      // 2 bits

    D& vis(int v) {
        visibility = v;
        return self();
    }
    D& col(int c) {
        colour = c;
        return self();
    }

protected:
    D& self() { return static_cast<D&>(*this); }
};

// The fields of the ten positioned kinds. Defaults are those of a positioned item made new.
template <class D>
struct PositionedFields : ItemFields<D> {
    int position = 8;       // signed 8 bits
    int reservesWidth = 1;  // 1 bit
    int justification = 0;  // 2 bits
    int placement = 0;      // 2 bits

    D& at(int p) {
        position = p;
        return this->self();
    }
    D& reserve(int r) {
        reservesWidth = r;
        return this->self();
    }
    D& justify(int j) {
        justification = j;
        return this->self();
    }
    D& place(int p) {
        placement = p;
        return this->self();
    }
};

// The fields of the four duration kinds.
template <class D>
struct DurationFields : ItemFields<D> {
    int baseDuration = dur::Quarter;  // 4 bits
    int accidentalSpacing = 0;        // 4 bits, written from revision 9
    int noteSpacing = 0;              // 4 bits, written from revision 9
    int beamPosition = 0;             // 2 bits
    int tripletPosition = 0;          // 2 bits
    int stemDirection = 0;            // 2 bits
    int slurDirection = 0;            // 1 bit, written from revision 4
    int lyricSetting = 0;             // 2 bits, written from revision 13
    int attributes = 0;               // model bits (attr::); mapped onto the file bit order
    // Replace the computed words W1, W2, W3 by these values.
    std::optional<int> rawW1, rawW2, rawW3;

    D& add(int mask) {
        attributes |= mask;
        return this->self();
    }
    D& beam(int p) {
        beamPosition = p;
        return this->self();
    }
    D& triplet(int p) {
        tripletPosition = p;
        return this->self();
    }
    D& stem(int d) {
        stemDirection = d;
        return this->self();
    }
    D& slurDir(int d) {
        slurDirection = d;
        return this->self();
    }
    D& lyric(int s) {
        lyricSetting = s;
        return this->self();
    }
    D& spacing(int accidentalRoom, int noteRoom) {
        accidentalSpacing = accidentalRoom;
        noteSpacing = noteRoom;
        return this->self();
    }
};

// The fields that a note and a chord share.
template <class D>
struct NoteFields : DurationFields<D> {
    int staffPosition = 0;  // signed 8 bits
    int accidental = acc::None;
    int tieDirection = 1;
    int muted = 0;            // written from revision 16
    int noLedgerLines = 0;    // written from revision 16
    int hiddenStem = 0;       // written from revision 16
    std::optional<int> rawN;  // replaces the computed note word
    int ignoredWord = 0;      // the extra word written below revision 16

    D& accid(int a) {
        accidental = a;
        return this->self();
    }
    D& tieDir(int d) {
        tieDirection = d;
        return this->self();
    }
    D& mute(int m = 1) {
        muted = m;
        return this->self();
    }
    D& noLedger(int f = 1) {
        noLedgerLines = f;
        return this->self();
    }
    D& hideStem(int f = 1) {
        hiddenStem = f;
        return this->self();
    }
};

struct Item;

struct ClefSpec : ItemFields<ClefSpec> {
    int clefType = clef::Treble;
    int octaveShift = 0;  // written from revision 4
};

struct KeySignatureSpec : ItemFields<KeySignatureSpec> {
    int flats = 0;  // bit n: letter n (letter::)
    int sharps = 0;
    int clefHint = 0;
    int cancelledFlats = 0;   // written from revision 3
    int cancelledSharps = 0;  // written from revision 3
};

struct BarLineSpec : ItemFields<BarLineSpec> {
    int barStyle = bar::Single;  // 6 bits
    int systemBreak = 0;         // written from revision 12
    int repeatCount = 1;         // 8 bits
    std::optional<int> rawWord;  // replaces the computed word
};

struct EndingSpec : ItemFields<EndingSpec> {
    int endings = 1;  // bit n: pass n + 1; bit 7: default ending. Low 16 bits are written.
};

struct InstrumentSpec : PositionedFields<InstrumentSpec> {
    int bankSelect = 0;
    int bank = 0;
    int patch = 0;
};

struct TimeSignatureSpec : ItemFields<TimeSignatureSpec> {
    int beatsPerBar = 4;
    int beatValueCode = 2;   // beat value 2^code
    int signatureStyle = 0;  // written from revision 3
};

struct TempoSpec : PositionedFields<TempoSpec> {
    int tempo = 120;                 // quarter notes per minute
    int tempoBase = tbase::Quarter;  // written from revision 3
    std::string tempoText;           // written from revision 11
    // Revisions 4..10: tempo-word index, "show value", "show word". By default the word F is
    // computed: the index of `tempoText` among kTempoWords (shown when found), the value shown
    // unless `visibility` is Never, bit 6 from `reservesWidth`. `wordF` replaces it.
    std::optional<int> wordF;
};

struct DynamicSpec : PositionedFields<DynamicSpec> {
    int dynamic = dyn::mf;  // 4 bits
    int velocityGiven = 0;
    int volumeGiven = 0;
    int velocity = 0;  // signed 8 bits
    int volume = -1;   // signed 8 bits
};

struct NoteSpec : NoteFields<NoteSpec> {};

struct RestSpec : DurationFields<RestSpec> {
    int verticalOffset = 0;  // written from revision 9, sign-extended to 16 bits
};

struct ChordSpec : NoteFields<ChordSpec> {
    std::vector<Item> members;       // written in this order, each with its type code
    std::optional<int> memberCount;  // replaces members.size() in the count word
    int ignoredWord2 = 0;            // the chord's own extra word below revision 16
};

struct PedalSpec : PositionedFields<PedalSpec> {
    int pedalDown = 1;
};

struct FlowDirectionSpec : PositionedFields<FlowDirectionSpec> {
    int flowKind = flow::Coda;
};

struct ControllerPoint {
    int active = 0;
    int offset = 0;
    int value = 100;
};

struct ControllerSpec : PositionedFields<ControllerSpec> {
    int controller = 0;  // 0 Tempo, 1 Volume, ...
    int sweepStyle = 0;  // 0 Absolute, 1 Linear Sweep
    int timeUnit = 2;
    int sweepStep = 0;
    std::array<ControllerPoint, 4> points{};

    ControllerSpec& point(int i, int offset, int value);  // makes point i active
};

struct TempoVariationSpec : PositionedFields<TempoVariationSpec> {
    int variationKind = tvar::BreathMark;
    int pauseLength = 0;
};

struct DynamicVariationSpec : PositionedFields<DynamicVariationSpec> {
    int variationKind = dvar::Crescendo;
};

struct PerformanceStyleSpec : PositionedFields<PerformanceStyleSpec> {
    int performanceStyle = 0;
};

struct TextSpec : PositionedFields<TextSpec> {
    int textFont = 0;
    std::string text = "<Text Expression>";
};

struct RestChordSpec : DurationFields<RestChordSpec> {
    int verticalOffset = 0;
    std::vector<Item> attached;       // normally empty or one chord; written in order
    std::optional<int> attachedWord;  // replaces the computed word (1 with, 0 without)
};

// Arbitrary bytes written in place of an item, type code included: bad type codes, truncated
// or odd records.
struct RawItem {
    Bytes bytes;

    RawItem& u8(int value);
    RawItem& word(int value);
    RawItem& str(std::string_view text);
    RawItem& raw(const Bytes& data);
};

// One item of any kind. The alternatives are in type-code order (index == type code), the raw
// item last.
struct Item {
    using Kind =
        std::variant<ClefSpec, KeySignatureSpec, BarLineSpec, EndingSpec, InstrumentSpec,
                     TimeSignatureSpec, TempoSpec, DynamicSpec, NoteSpec, RestSpec, ChordSpec,
                     PedalSpec, FlowDirectionSpec, ControllerSpec, TempoVariationSpec,
                     DynamicVariationSpec, PerformanceStyleSpec, TextSpec, RestChordSpec, RawItem>;
    Kind kind;

    template <class T>
    requires(!std::is_same_v<std::remove_cvref_t<T>, Item> && std::is_constructible_v<Kind, T&&>)
        Item(T&& value)
        : kind(std::forward<T>(value)) {}  // NOLINT: implicit on purpose

    // The type code written in front of the record; -1 for a raw item.
    int typeCode() const;
    template <class T>
    T& as() {
        return std::get<T>(kind);
    }
    template <class T>
    const T& as() const {
        return std::get<T>(kind);
    }
};

// ---------------------------------------------------------------------------------------------
// Item factories. Each gives the item the editor makes new, with these values.

ClefSpec Clef(int clefType = clef::Treble, int octaveShift = 0);
// A key of `size` signs: positive sharps (F C G D A E B), negative flats (B E A D G C F).
KeySignatureSpec Key(int size);
KeySignatureSpec KeyMasks(int flats, int sharps);
// setStyle rule: a Local Repeat Close plays `count` times when above 1, else 2; other styles 1.
BarLineSpec Bar(int style = bar::Single, int count = 0);
EndingSpec Ending(int endings);
InstrumentSpec Instrument(int patch, int bank = 0, int bankSelect = 0);
// `denominator` is the note value (1, 2, 4, 8, 16, 32), turned into the beat value code.
TimeSignatureSpec Time(int beats, int denominator);
TimeSignatureSpec CommonTime();
TimeSignatureSpec AllaBreve();
// `tempo` in quarter notes per minute; position -10, no reserved width.
TempoSpec Tempo(int tempo, int tempoBase = tbase::Quarter, std::string text = "");
DynamicSpec Dynamic(int dynamic);
// tieDirection 1 for positions 0 and below the middle line, 0 above (as the editor makes it).
NoteSpec Note(int staffPosition, int baseDuration = dur::Quarter, int attributes = 0,
              int accidental = acc::None);
RestSpec Rest(int baseDuration = dur::Quarter, int attributes = 0);
// A chord of notes at the given positions, each a member with Chord Mem set; the chord takes
// its own staff position from the member farthest from the middle line.
ChordSpec Chord(int baseDuration, std::initializer_list<int> positions, int attributes = 0);
ChordSpec Chord(std::vector<Item> members);
// A rest with an attached chord (which gets the attached attribute).
RestChordSpec RestChord(int baseDuration, ChordSpec chord);
RestChordSpec RestChord(int baseDuration);  // no attached chord
PedalSpec Pedal(bool down);
FlowDirectionSpec Flow(int kind);  // position -8
ControllerSpec Controller(int controller = 0);
TempoVariationSpec TempoVariation(int kind, int pauseLength = 0);
TempoVariationSpec Fermata(int pauseLength = 0);
TempoVariationSpec BreathMark(int pauseLength = 0);
DynamicVariationSpec DynamicVariation(int kind);
PerformanceStyleSpec PerformanceStyle(int style);
TextSpec Text(std::string text, int font = 0);  // position -8, no reserved width
RawItem Raw(const Bytes& bytes = {});
RawItem RawWords(std::initializer_list<int> words);  // each word little-endian

// ---------------------------------------------------------------------------------------------
// Song, staff and header descriptions.

struct LyricLineSpec {
    Bytes bytes;
    int usedLength = 1;
    std::optional<int> declaredSize;  // replaces bytes.size() in the size word
};

struct LyricsSpec {
    std::vector<LyricLineSpec> lines;
    int optionsWord = 0;           // written from revision 8: bit 0 placement, bit 1 alignment
    int lyricWord = 0;             // written from revision 8
    std::optional<int> lineCount;  // replaces lines.size() in the count word
};

// A lyric line holding the text's bytes (no terminator), usedLength = its length.
LyricLineSpec LyricLine(std::string_view text);
LyricsSpec Lyrics(std::initializer_list<std::string_view> lines);

struct StaffSpec {
    std::string staffName = "Staff";
    std::string groupName = "Standard";
    int endingBar = 0;  // written from revision 9
    int muted = 0;
    int channel = 0;
    int device = 0;
    int bankSelect = 0;
    int bank = 0;
    int patch = 0;
    int staffStyle = 0;
    int upperBoundary = -12;
    int lowerBoundary = 12;
    int lineCount = 5;      // written from revision 16
    int layerWithNext = 0;  // written from revision 8
    int transposition = 0;
    int volume = 127;
    int stereoPan = 64;
    int staffOptionByte = 0;           // written from revision 10
    std::optional<LyricsSpec> lyrics;  // written from revision 4
    std::optional<int> lyricsFlag;     // replaces the computed flag (1 with lyrics, else 0)
    std::array<int, 2> discardedWords{0, 0};
    // Defaults to items.size() + 2 at every revision: revisions 9 on count the two bar lines
    // the reader adds, revisions 8 and below store those two bar lines themselves.
    std::optional<int> storedItemCount;
    std::vector<Item> items;  // the items between the opening and the closing bar line
    // The bar lines stored by revisions 8 and below (defaults: Single and Section Close).
    std::optional<Item> storedOpeningBar;
    std::optional<Item> storedClosingBar;
    Bytes trailingBytes;  // written after the staff record
};

StaffSpec MakeStaff(std::string name, std::vector<Item> items = {});

struct FontSpec {
    std::string name = "Times New Roman";
    int style = 0;  // bit 0 bold, bit 1 italic
    int size = 0;   // written as an unsigned 16-bit word
    int charset = 0;
};

// The editor's default font table for a base size (16 gives 10, 8, 7, 24, 12, 8, 8 ...).
std::array<FontSpec, 12> DefaultFonts(int baseSize = 16);

using StaffSelectionBytes = std::array<uint8_t, 32>;
StaffSelectionBytes StaffSelection(std::initializer_list<int> staffIndexes);

struct SongInfoSpec {
    std::string title;
    std::string author = "Staveforge Engraver";
    std::string copyright1 = "Copyright 2024 Staveforge Software";
    std::string copyright2 = "All Rights Reserved";
    std::string comments;
    std::string optionString = "YY_";
    std::string discardedString = "F2";
    int barNumberStyle = 0;  // written from revision 4
    int firstBarNumber = 1;  // written from revision 4
    // Revision 6 on:
    std::array<float, 4> pageMargins{0.5f, 0.5f, 0.5f, 0.5f};  // formatted "%2.8f %2.8f ..."
    std::optional<std::string> marginsText;                    // replaces the formatted text
    int pageOptionByte1 = 0;
    int pageOptionWord1 = 8;  // written as it stands (revisions below 15 read 6.. as value - 1)
    StaffSelectionBytes staffSelection{1};              // revision 8 on; default: staff 0
    int layeringByte = 1;                               // revision 8 on; bit 0 layeringEnabled
    int fontBaseSize = 16;                              // revision 7 on
    std::array<FontSpec, 12> fonts = DefaultFonts(16);  // 10 written below revision 15
    int oldBaseSizeWord = 10;  // revision 6 only: base size is this * 8 / 5
    int songOption4Byte = 1;
    int pageOptionByte2 = 0;
    int pageOptionWord2 = 0;
};

struct HeaderSpec {
    std::string magic = "[Staveforge Software]";
    int leadingWord = 0;
    std::string productString = "[Staveforge Engraver]";
    int productVersion = 331;
    int secondHeaderWord = 2;
    int unusedWord = 0;
    std::string unusedText1;  // 128-byte field
    std::string unusedText2;  // 32-byte field
    std::array<int, 4> unusedWords{0, 0, 0, 0};
    std::optional<int> formatRevision;  // stored instead of the layout revision
};

struct SongSpec {
    int revision = 16;  // the layout written, and the revision stored in the header
    bool compressed = false;
    HeaderSpec header;
    SongInfoSpec info;
    std::vector<StaffSpec> staffs;
    std::optional<int> staffCount;  // replaces staffs.size() in the count word
    Bytes trailingBytes;            // written after the last staff
};

// ---------------------------------------------------------------------------------------------
// Encoders.

void WriteHeader(ByteWriter& out, const HeaderSpec& header, int revision);
void WriteSongInformation(ByteWriter& out, const SongInfoSpec& info, int revision);
void WriteStaff(ByteWriter& out, const StaffSpec& staff, int revision);
// The type code and the record (a raw item: its bytes).
void WriteItem(ByteWriter& out, const Item& item, int revision);

Bytes BuildHeader(const HeaderSpec& header, int revision);
Bytes BuildStaff(const StaffSpec& staff, int revision);
Bytes BuildItem(int revision, const Item& item);
// The whole file; compressed when `song.compressed` is set.
Bytes BuildSong(const SongSpec& song);
// The copy format: 16-bit revision, 16-bit count (default items.size()), the item records.
Bytes BuildItemRun(int revision, const std::vector<Item>& items,
                   std::optional<int> count = std::nullopt);

// "[SCZ]" and its 0 byte, then the plain bytes as one zlib stream at level 9.
Bytes Compress(const Bytes& plain);
// The inverse: inflates what follows the 6-byte magic. Returns nullopt on any zlib error or
// when the magic is missing.
std::optional<Bytes> Decompress(const Bytes& container);

// Every line feed becomes carriage return, line feed: a file damaged by a text-mode transfer.
Bytes ToTextTransfer(const Bytes& bytes);

// A uniquely named file in $TMPDIR (or /tmp) holding the given bytes, removed on destruction.
class TempFile {
public:
    explicit TempFile(const Bytes& bytes = {}, const char* prefix = "scqtest");
    ~TempFile();
    TempFile(TempFile&& other) noexcept;
    TempFile& operator=(TempFile&& other) noexcept;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& path() const { return path_; }
    bool ok() const { return !path_.empty(); }
    // Replaces the file's content.
    bool write(const Bytes& bytes) const;
    // Removes the file now (the destructor then does nothing).
    void remove();

private:
    std::string path_;
};

// Writes bytes to a path (created or truncated); true on success.
bool WriteFile(const std::string& path, const Bytes& bytes);
// Reads a whole file; empty when it cannot be read.
Bytes ReadFile(const std::string& path);

}  // namespace scq::test
