#include "export/MusicXmlWriter.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <ctime>
#include <iterator>
#include <string_view>
#include <vector>

#include "items/BarsAndFlow.h"
#include "items/DurationItems.h"
#include "items/PerformanceMarks.h"
#include "items/Signatures.h"
#include "items/TextAndPedal.h"
#include "perform/PerformRules.h"
#include "perform/PlayState.h"
#include "song/Song.h"
#include "song/Staff.h"
#include "staff/Audit.h"

namespace scq {

namespace {

using namespace std::string_view_literals;

// Ticks are divisions: 192 to the quarter note.
constexpr int kDivisions = 192;
constexpr int kDefaultBarTicks = 4 * kDivisions;

// ---------------------------------------------------------------------------------------------
// Text.

// The characters of windows-1252 0x80-0x9F; 0 where the code page assigns none.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The highlight colours 1 to 3.
constexpr const char* kColours[4] = {nullptr, "#E00000", "#00A000", "#0000E0"};

// Windows-1252 bytes, up to the first 0 byte or `size`, as escaped UTF-8 character data. Bytes
// that XML cannot hold (control characters other than tab, line feed and carriage return) and
// bytes without a character become U+FFFD.
void AppendText(std::string& out, const char* text, size_t size) {
    for (size_t i = 0; i < size && text[i] != 0; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        switch (b) {
            case '&':
                out += "&amp;"sv;
                continue;
            case '<':
                out += "&lt;"sv;
                continue;
            case '>':
                out += "&gt;"sv;
                continue;
            case '"':
                out += "&quot;"sv;
                continue;
            case '\t':
            case '\n':
            case '\r':
                out += static_cast<char>(b);
                continue;
            default:
                break;
        }
        if (b < 0x20 || b == 0x7F) {
            AppendUtf8(out, kReplacement);
        } else if (b >= 0x80 && b < 0xA0) {
            const char16_t c = kHighControls[b - 0x80];
            AppendUtf8(out, c != 0 ? char32_t{c} : kReplacement);
        } else {
            AppendUtf8(out, b);
        }
    }
}

template <size_t N>
bool IsEmpty(const char (&field)[N]) {
    return field[0] == 0;
}

// One note element as it is put together, then appended to the measure at once: the pieces
// are copied without a capacity check of the string each. A note holds a fixed choice of
// elements with numbers of a few digits, under 1100 bytes; a piece that would not fit is
// left out.
class NoteText {
public:
    static constexpr size_t kCapacity = 2048;

    [[gnu::always_inline]] NoteText& operator+=(std::string_view piece) {
        if (piece.size() <= kCapacity - size_) {
            std::memcpy(text_ + size_, piece.data(), piece.size());
            size_ += piece.size();
        }
        return *this;
    }
    NoteText& operator+=(char c) { return *this += std::string_view(&c, 1); }
    void append(const char* data, size_t n) { *this += std::string_view(data, n); }
    size_t size() const { return size_; }
    void resize(size_t n) { size_ = std::min(n, size_); }
    void appendTo(std::string& out) const { out.append(text_, size_); }

private:
    char text_[kCapacity];
    size_t size_ = 0;
};

// <name>value</name>
template <class Out>
[[gnu::always_inline]] inline void AppendElement(Out& out, std::string_view name, long long value) {
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    out += '<';
    out += name;
    out += '>';
    out += std::string_view(digits, static_cast<size_t>((ec == std::errc() ? end : digits) - digits));
    out += "</"sv;
    out += name;
    out += '>';
}

// ---------------------------------------------------------------------------------------------
// Element output.

class Xml {
public:
    // With a sink, what is written goes to it in pieces of about kPiece bytes as they fill
    // (`drain`); without one, `out` keeps the whole document.
    Xml(std::string& out, const MusicXmlSink* sink) : out_(out), sink_(sink) {}

    // Hands what is held to the sink once a piece has filled, or whatever it holds when
    // `all`. After the sink has refused a piece, the rest is dropped.
    void drain(bool all = false) {
        if (!sink_ || (!all && out_.size() < kPiece)) return;
        if (!refused_ && !out_.empty()) refused_ = !(*sink_)(out_);
        out_.clear();
    }
    bool refused() const { return refused_; }

    void open(std::string_view name, std::string_view attributes = {}) {
        indent();
        tag(name, attributes);
        out_ += '\n';
        ++depth_;
    }
    void close(std::string_view name) {
        --depth_;
        indent();
        out_ += "</"sv;
        out_ += name;
        out_ += ">\n"sv;
    }
    void empty(std::string_view name, std::string_view attributes = {}) {
        indent();
        out_ += '<';
        out_ += name;
        if (!attributes.empty()) {
            out_ += ' ';
            out_ += attributes;
        }
        out_ += "/>\n"sv;
    }
    void leaf(std::string_view name, std::string_view value, std::string_view attributes = {}) {
        indent();
        tag(name, attributes);
        out_ += value;
        end(name);
    }
    void leaf(std::string_view name, long long value, std::string_view attributes = {}) {
        leaf(name, std::to_string(value), attributes);
    }
    template <size_t N>
    void text(std::string_view name, const char (&field)[N], std::string_view attributes = {}) {
        indent();
        tag(name, attributes);
        AppendText(out_, field, N);
        end(name);
    }

private:
    void indent() { out_.append(static_cast<size_t>(depth_) * 2, ' '); }
    void tag(std::string_view name, std::string_view attributes) {
        out_ += '<';
        out_ += name;
        if (!attributes.empty()) {
            out_ += ' ';
            out_ += attributes;
        }
        out_ += '>';
    }
    void end(std::string_view name) {
        out_ += "</"sv;
        out_ += name;
        out_ += ">\n"sv;
    }

    static constexpr size_t kPiece = size_t{1} << 18;

    std::string& out_;
    const MusicXmlSink* sink_;
    bool refused_ = false;
    int depth_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Notation.

constexpr std::string_view kTypeNames[] = {"whole", "half",  "quarter", "eighth", "16th",  "32nd",
                                      "64th",  "128th", "256th",   "512th",  "1024th"};
constexpr std::string_view kAccidentalNames[] = {"sharp", "flat", "natural", "double-sharp",
                                            "flat-flat"};
constexpr char kStepNames[] = "ABCDEFG";
// Semitones of the letters A to G above the C below them.
constexpr int kStepSemitone[7] = {9, 11, 0, 2, 4, 5, 7};

// A bar line's share of the measures on either side of it.
struct Barline {
    const char* style = nullptr;  // bar-style; none: regular
    const char* repeat = nullptr;  // "forward" or "backward"
    int times = 0;                 // backward repeats played more than twice
    bool hidden = false;
    std::string ending;               // numbers, "1, 2"
    std::string endingText;           // what the bracket shows, "1. 2."
    const char* endingType = nullptr;  // start, stop or discontinue
    bool present() const { return style || repeat || hidden || endingType; }
};

// Two bar lines with nothing between them, as one: the later's style unless it is hidden, and
// whichever repeat and ending they have.
Barline Merge(const Barline& earlier, const Barline& later) {
    if (!earlier.present()) return later;
    if (!later.present()) return earlier;
    Barline b = earlier;
    if (later.style && !later.hidden) b.style = later.style;
    b.hidden = earlier.hidden && later.hidden;
    if (!b.repeat) {
        b.repeat = later.repeat;
        b.times = later.times;
    }
    if (!b.endingType) {
        b.ending = later.ending;
        b.endingText = later.endingText;
        b.endingType = later.endingType;
    }
    return b;
}

// The right-hand side (closing) and left-hand side (opening) of a bar line.
void SplitBarline(const BarLineItem& bar, Barline& right, Barline& left) {
    const bool hidden = bar.effectiveVisibility() == kVisNever;
    switch (bar.barStyle) {
        case kBarDouble:
            right = {"light-light", nullptr, 0, hidden, {}, {}, nullptr};
            break;
        case kBarSectionClose:
            right = {"light-heavy", nullptr, 0, hidden, {}, {}, nullptr};
            break;
        case kBarLocalRepeatClose:
            right = {"light-heavy", "backward", bar.repeatCount > 1 ? bar.repeatCount : 0, hidden,
                     {}, {}, nullptr};
            break;
        case kBarMasterRepeatClose:
            right = {"light-heavy", "backward", 0, hidden, {}, {}, nullptr};
            break;
        case kBarSectionOpen:
            left = {"heavy-light", nullptr, 0, hidden, {}, {}, nullptr};
            break;
        case kBarLocalRepeatOpen:
        case kBarMasterRepeatOpen:
            left = {"heavy-light", "forward", 0, hidden, {}, {}, nullptr};
            break;
        default:
            if (hidden) right.hidden = true;
            break;
    }
}

void WriteBarline(Xml& xml, const Barline& b, const char* location) {
    if (!b.present()) return;
    xml.open("barline", std::string("location=\"") + location + "\"");
    if (b.hidden) {
        xml.leaf("bar-style", "none");
    } else if (b.style) {
        xml.leaf("bar-style", b.style);
    }
    if (b.endingType) {
        const std::string attributes =
            "number=\"" + b.ending + "\" type=\"" + b.endingType + "\"";
        if (std::strcmp(b.endingType, "start") == 0) {
            xml.leaf("ending", b.endingText, attributes);
        } else {
            xml.empty("ending", attributes);
        }
    }
    if (b.repeat) {
        std::string attributes = std::string("direction=\"") + b.repeat + "\"";
        if (b.times > 0) attributes += " times=\"" + std::to_string(b.times) + "\"";
        xml.empty("repeat", attributes);
    }
    xml.close("barline");
}

struct Measure {
    std::string body;  // lines indented as they stand in the measure
    Barline left, right;
    int64_t ticks = 0;
    int barTicks = kDefaultBarTicks;  // of the time signature in force at its end
};

// The notes of one duration item that sound together for one length.
struct NoteGroup {
    std::vector<const NoteItem*> notes;
    std::vector<perform::WrittenPitch> pitches;
    int ticks = 0;
    int stem = -1;  // the members' stem direction in a chord of split stems; -1: the chord's
};

// The measures of one part as they are made, written out one behind: the last one stays open
// to changes of its closing bar line (a bar line or ending that follows it with nothing
// between them) until the next one is added or the part ends. Bodies are reused.
class MeasureSink {
public:
    // `pickup`: whether the first measures are numbered from 0, the first one implicit; the
    // first part decides it (a short first measure in a song of more than one measure) and
    // the others follow it.
    MeasureSink(Xml& xml, std::string& out, bool firstPart, bool& pickup, size_t measureCount)
        : xml_(xml), out_(out), firstPart_(firstPart), pickup_(pickup), total_(measureCount) {}

    bool empty() const { return !pending_; }
    Measure& back() { return last_; }
    size_t size() const { return written_ + (pending_ ? 1 : 0); }

    void push_back(Measure&& m) {
        flush();
        std::swap(last_, m);
        pending_ = true;
    }
    // A fresh measure, with the memory of a written body.
    void recycle(Measure& m) {
        std::string body = std::move(spare_);
        body.clear();
        m = Measure{};
        m.body = std::move(body);
    }
    // Writes the last measure, then the padding up to the song's measure count: measure rests
    // of the last bar's length.
    void finish() {
        flush();
        for (; written_ < total_; ++written_) {
            open(written_);
            if (lastBarTicks_ > 0) {
                out_ += "      <note><rest measure=\"yes\"/>"sv;
                AppendElement(out_, "duration", lastBarTicks_);
                out_ += "<voice>1</voice></note>\n"sv;
                ++padding_;
            }
            xml_.close("measure");
            xml_.drain();
        }
    }
    int padding() const { return padding_; }

private:
    void flush() {
        if (!pending_) return;
        if (firstPart_ && written_ == 0) {
            pickup_ = total_ > 1 && last_.ticks > 0 && last_.ticks < last_.barTicks;
        }
        open(written_);
        WriteBarline(xml_, last_.left, "left");
        out_ += last_.body;
        WriteBarline(xml_, last_.right, "right");
        xml_.close("measure");
        xml_.drain();
        lastBarTicks_ = last_.barTicks;
        spare_ = std::move(last_.body);
        pending_ = false;
        ++written_;
    }
    void open(size_t m) {
        std::string attributes = "number=\"" + std::to_string(pickup_ ? m : m + 1) + "\"";
        if (pickup_ && m == 0) attributes += " implicit=\"yes\""sv;
        xml_.open("measure", attributes);
    }

    Xml& xml_;
    std::string& out_;
    const bool firstPart_;
    bool& pickup_;
    const size_t total_;
    Measure last_;
    bool pending_ = false;
    size_t written_ = 0;
    std::string spare_;
    int lastBarTicks_ = kDefaultBarTicks;
    int padding_ = 0;
};

// The measures of a staff: the stretches between bar lines that hold any item.
size_t MeasureCount(const Staff& staff) {
    size_t count = 0;
    bool empty = true;
    for (int i = 0; i < staff.itemCount(); ++i) {
        const NotationItem* item = staff.itemAt(i);
        if (!item) continue;
        if (item->typeCode() != kBarLineItem) {
            empty = false;
        } else if (!empty) {
            ++count;
            empty = true;
        }
    }
    return count + (empty ? 0 : 1);
}

// One staff's measures.
class PartWriter {
public:
    PartWriter(const Song& song, int index, MeasureSink& measures, MusicXmlWriteResult& result)
        : song_(song),
          staff_(*song.staffAt(index)),
          instrumentId_("P" + std::to_string(index + 1) + "-I1"),
          measures_(measures),
          result_(result) {
        // The staff's transposition as the performance's state holds it.
        state_.transposition = staff_.transposition;
        transposition_ = state_.transposition;
        state_.transposition = 0;
    }

    void walk() {
        findDefaultPasses();
        Measure& current = current_;
        bool empty = true;  // nothing since the last bar line
        for (int i = 0; i < staff_.itemCount(); ++i) {
            NotationItem* item = staff_.itemAt(i);
            if (!item) continue;
            const int type = item->typeCode();
            if (type == kBarLineItem) {
                if (i > 0 && !empty) flushAttributes();
                Barline right, left;
                SplitBarline(static_cast<const BarLineItem&>(*item), right, left);
                if (empty) {
                    if (!measures_.empty()) {
                        measures_.back().right = Merge(measures_.back().right, right);
                        closeEnding(measures_.back().right, false);
                    }
                    current.left = Merge(current.left, left);
                } else {
                    current.right = right;
                    closeEnding(current.right, false);
                    current.barTicks = barTicks_;
                    measures_.push_back(std::move(current));
                    measures_.recycle(current);
                    current.left = left;
                    empty = true;
                    lastNote_ = std::string::npos;
                }
                item->applyToStaffState(state_);
                continue;
            }
            empty = false;
            switch (type) {
                case kClefItem:
                    clef(static_cast<const ClefItem&>(*item));
                    break;
                case kKeySignatureItem:
                    key(static_cast<const KeySignatureItem&>(*item));
                    break;
                case kTimeSignatureItem:
                    time(static_cast<const TimeSignatureItem&>(*item));
                    break;
                case kNoteItem:
                case kChordItem:
                case kRestItem:
                case kRestChordItem:
                    flushAttributes();
                    current.ticks += durationItem(current.body, *item);
                    break;
                case kEndingItem:
                    ending(static_cast<const EndingItem&>(*item), i);
                    break;
                default:
                    mark(*item);
                    break;
            }
            item->applyToStaffState(state_);
        }
        if (!empty) {
            flushAttributes();
            current.barTicks = barTicks_;
            measures_.push_back(std::move(current));
        }
        if (measures_.empty()) return;
        closeEnding(measures_.back().right, true);
        if (wedgeOpen_) {
            measures_.back().body +=
                "      <direction><direction-type><wedge type=\"stop\"/></direction-type>"
                "</direction>\n";
        }
    }

    // The attributes a part starts with when its staff has no measure.
    void startEmpty() {
        flushAttributes();
        measures_.push_back(std::move(current_));
    }

private:
    // ---- endings ----

    // The pass a default ending stands for: the first pass of its repeat that no other ending
    // of the repeat takes (the endings between two bar lines that end the search for an
    // ending: a double bar, a section's open or close, a master repeat's open).
    void findDefaultPasses() {
        defaultPass_.assign(static_cast<size_t>(std::max(staff_.itemCount(), 0)), 0);
        int first = 0;
        unsigned taken = 0;
        auto close = [&](int end) {
            int pass = 1;
            while (pass < 8 && ((taken >> (pass - 1)) & 1u)) ++pass;
            for (int k = first; k < end; ++k) defaultPass_[static_cast<size_t>(k)] = pass;
            first = end;
            taken = 0;
        };
        for (int i = 0; i < staff_.itemCount(); ++i) {
            const NotationItem* item = staff_.itemAt(i);
            if (!item) continue;
            if (item->typeCode() == kEndingItem) {
                taken |= static_cast<const EndingItem&>(*item).endings & 0x7Fu;
            } else if (item->typeCode() == kBarLineItem) {
                switch (static_cast<const BarLineItem&>(*item).barStyle) {
                    case kBarDouble:
                    case kBarSectionOpen:
                    case kBarSectionClose:
                    case kBarMasterRepeatOpen:
                        close(i);
                        break;
                    default:
                        break;
                }
            }
        }
        close(staff_.itemCount());
    }

    void ending(const EndingItem& e, int index) {
        if (openEnding_ == Opened::HereInCurrent) return;
        if (openEnding_ == Opened::Earlier && !measures_.empty()) {
            closeEnding(measures_.back().right, true);
        }
        uint32_t passes = e.endings & 0x7Fu;
        if (e.endings & 0x80u) passes |= 1u << (defaultPass_[static_cast<size_t>(index)] - 1);
        std::string numbers;
        for (int bit = 0; bit < 8; ++bit) {
            if ((passes >> bit) & 1u) {
                if (!numbers.empty()) numbers += ", "sv;
                numbers += std::to_string(bit + 1);
            }
        }
        std::string label = e.endingLabel();
        if (!label.empty() && label.front() == ' ') label.erase(0, 1);
        Barline& left = current_.left;
        left.ending = numbers;
        left.endingText.clear();
        AppendText(left.endingText, label.data(), label.size());
        left.endingType = "start";
        openEnding_ = Opened::HereInCurrent;
        openNumbers_ = numbers;
    }

    // Ends an open ending at a measure's right side: a backward repeat stops it, and `always`
    // ends it there in any case (without a repeat it is discontinued).
    void closeEnding(Barline& right, bool always) {
        if (openEnding_ == Opened::None) return;
        if (right.repeat && std::strcmp(right.repeat, "backward") == 0) {
            right.endingType = "stop";
        } else if (always) {
            right.endingType = "discontinue";
        } else {
            openEnding_ = Opened::Earlier;
            return;
        }
        right.ending = openNumbers_;
        openEnding_ = Opened::None;
    }

    // ---- directions ----

    static std::string Words(std::string_view text, const std::string& attributes = {}) {
        std::string s = "<direction-type><words" + attributes + ">";
        AppendText(s, text.data(), text.size());
        return s + "</words></direction-type>";
    }

    // A mark as a direction, in the item's highlight colour. MusicXML has no way to keep a
    // direction from being printed, so a hidden mark keeps only its effect on playback, as a
    // sound of its own.
    void direction(const NotationItem& item, const std::string& types,
                   const std::string& sound = {}) {
        flushAttributes();
        std::string& out = current_.body;
        if (item.effectiveVisibility() == kVisNever) {
            if (!sound.empty()) out += "      <sound " + sound + "/>\n";
            return;
        }
        out += item.verticalPosition() > 0 ? "      <direction placement=\"below\">"sv
                                           : "      <direction placement=\"above\">"sv;
        out += Coloured(types, item.colour);
        if (!sound.empty()) out += "<sound " + sound + "/>";
        out += "</direction>\n"sv;
    }

    // `types` with the colour on the mark of every direction type (words, metronome, dynamics,
    // wedge, pedal, segno and coda all take one).
    static std::string Coloured(std::string types, unsigned colour) {
        if (colour == 0) return types;
        const std::string attribute = std::string(" color=\"") + kColours[colour & 3u] + "\"";
        static constexpr std::string_view kOpen = "<direction-type><";
        for (size_t at = types.find(kOpen); at != std::string::npos; at = types.find(kOpen, at)) {
            at += kOpen.size();
            while (at < types.size() && (std::isalpha(static_cast<unsigned char>(types[at])) ||
                                         types[at] == '-')) {
                ++at;
            }
            types.insert(at, attribute);
        }
        return types;
    }

    void stopWedge() {
        current_.body +=
            "      <direction><direction-type><wedge type=\"stop\"/></direction-type>"
            "</direction>\n"sv;
        wedgeOpen_ = false;
    }

    void mark(NotationItem& item) {
        switch (item.typeCode()) {
            case kTempoItem: {
                const auto& t = static_cast<const TempoItem&>(item);
                static constexpr const char* kUnit[6] = {"eighth",  "eighth", "quarter",
                                                         "quarter", "half",   "half"};
                const unsigned base = t.tempoBase < 6 ? t.tempoBase : unsigned{kTempoQuarter};
                std::string types;
                if (!t.tempoText.empty()) types += Words(t.tempoText.view());
                types += std::string("<direction-type><metronome><beat-unit>") + kUnit[base] +
                         "</beat-unit>" + (base % 2 == 1 ? "<beat-unit-dot/>" : "") +
                         "<per-minute>" + std::to_string(t.tempoIn(static_cast<int>(base))) +
                         "</per-minute></metronome></direction-type>";
                direction(item, types,
                          t.tempo > 0 ? "tempo=\"" + std::to_string(t.tempo) + "\"" : "");
                break;
            }
            case kDynamicItem: {
                const auto& d = static_cast<const DynamicItem&>(item);
                if (wedgeOpen_) {
                    // Even at a hidden dynamic: the wedge was printed.
                    flushAttributes();
                    stopWedge();
                }
                if (d.dynamic > kDynamicFFF) break;
                static constexpr const char* kMarks[8] = {"ppp", "pp", "p",  "mp",
                                                          "mf",  "f",  "ff", "fff"};
                const std::string sound =
                    d.velocity > 0 ? "dynamics=\"" + std::to_string(d.velocity * 100 / 90) + "\""
                                   : "";
                direction(item,
                          std::string("<direction-type><dynamics><") + kMarks[d.dynamic] +
                              "/></dynamics></direction-type>",
                          sound);
                break;
            }
            case kDynamicVariationItem: {
                const auto& v = static_cast<const DynamicVariationItem&>(item);
                if (v.variationKind <= kDiminuendo && v.rampTicks > 0 && !wedgeOpen_ &&
                    item.effectiveVisibility() != kVisNever) {
                    direction(item, std::string("<direction-type><wedge type=\"") +
                                        (v.variationKind == kCrescendo ? "crescendo" : "diminuendo") +
                                        "\"/></direction-type>");
                    wedgeOpen_ = true;
                } else if (v.variationKind == kRinforzando || v.variationKind == kSforzando) {
                    direction(item, std::string("<direction-type><dynamics><") +
                                        (v.variationKind == kRinforzando ? "rf" : "sfz") +
                                        "/></dynamics></direction-type>");
                } else if (const char* name = v.shortName()) {
                    direction(item, Words(name));
                }
                break;
            }
            case kTempoVariationItem: {
                const auto& v = static_cast<const TempoVariationItem&>(item);
                if (v.variationKind == kFermata) {
                    pendingFermata_ = true;
                } else if (v.variationKind == kBreathMark) {
                    breathMark();
                } else if (const char* name = v.name()) {
                    direction(item, Words(name, " font-style=\"italic\""));
                }
                break;
            }
            case kPerformanceStyleItem:
                if (const char* name = static_cast<const PerformanceStyleItem&>(item).shortName()) {
                    direction(item, Words(name, " font-style=\"italic\""));
                }
                break;
            case kTextItem:
                text(static_cast<const TextItem&>(item));
                break;
            case kPedalItem: {
                const bool down = static_cast<const PedalItem&>(item).isDown();
                direction(item,
                          std::string("<direction-type><pedal type=\"") +
                              (down ? "start" : "stop") + "\" line=\"no\"/></direction-type>",
                          down ? "damper-pedal=\"yes\"" : "damper-pedal=\"no\"");
                break;
            }
            case kFlowDirectionItem:
                flow(static_cast<const FlowDirectionItem&>(item));
                break;
            case kInstrumentItem: {
                const InstrumentPatch& patch = static_cast<const InstrumentItem&>(item).instrument;
                if (patch.patch < 1 || patch.patch > 128) break;
                flushAttributes();
                current_.body += "      <sound><midi-instrument id=\"" + instrumentId_ +
                                 "\"><midi-program>" + std::to_string(patch.patch) +
                                 "</midi-program></midi-instrument></sound>\n";
                break;
            }
            default:
                break;
        }
    }

    void text(const TextItem& t) {
        if (t.effectiveVisibility() == kVisNever) return;  // the placeholder among others
        std::string attributes;
        const int font = t.font();
        if (song_.fonts && font >= 0 && font < FontTable::kEntryCount) {
            const FontEntry& f = song_.fonts->entries[static_cast<size_t>(font)];
            if (f.size > 0 && f.size < 1000) {
                attributes += " font-size=\"" + std::to_string(f.size) + "\"";
            }
            if (f.style & 1u) attributes += " font-weight=\"bold\""sv;
            if (f.style & 2u) attributes += " font-style=\"italic\""sv;
        }
        direction(t, Words(t.text.view(), attributes));
    }

    void flow(const FlowDirectionItem& f) {
        static constexpr const char* kWords[10] = {
            nullptr,         nullptr,         "Fine",     "To Coda",      "D.C.",
            "D.C. al Coda", "D.C. al Fine", "D.S.",     "D.S. al Coda", "D.S. al Fine"};
        static constexpr const char* kSound[10] = {
            "coda=\"coda\"",        "segno=\"segno\"",      "fine=\"yes\"",
            "tocoda=\"coda\"",      "dacapo=\"yes\"",       "dacapo=\"yes\"",
            "dacapo=\"yes\"",       "dalsegno=\"segno\"",   "dalsegno=\"segno\"",
            "dalsegno=\"segno\""};
        const int kind = f.kind() >= 0 && f.kind() < 10 ? f.kind() : kFlowCoda;
        std::string types;
        if (kind == kFlowCoda) {
            types = "<direction-type><coda/></direction-type>";
        } else if (kind == kFlowSegno) {
            types = "<direction-type><segno/></direction-type>";
        } else {
            types = Words(kWords[kind]);
        }
        direction(f, types, kSound[kind]);
    }

    // A breath mark belongs to the note before it (in its measure; else to the next one).
    void breathMark() {
        static constexpr std::string_view kMark =
            "<notations><articulations><breath-mark/></articulations></notations>";
        if (lastNote_ == std::string::npos) {
            pendingBreath_ = true;
            return;
        }
        current_.body.insert(lastNote_, kMark);
        lastNote_ = std::string::npos;
    }

    // ---- attributes ----

    void clef(const ClefItem& c) {
        if (!pendingClef_.empty()) flushAttributes();
        static constexpr const char* kSign[4] = {"G", "F", "C", "C"};
        static constexpr int kLine[4] = {2, 4, 3, 4};
        const unsigned type = c.clefType & 3u;
        std::string& s = pendingClef_;
        s = c.effectiveVisibility() == kVisNever ? "<clef print-object=\"no\">"sv : "<clef>"sv;
        s += "<sign>"sv;
        s += kSign[type];
        s += "</sign><line>" + std::to_string(kLine[type]) + "</line>";
        const unsigned shift = static_cast<uint8_t>(c.octaveShift) & 3u;
        if (shift == kOctaveUp) s += "<clef-octave-change>1</clef-octave-change>"sv;
        if (shift == kOctaveDown) s += "<clef-octave-change>-1</clef-octave-change>"sv;
        s += "</clef>"sv;
    }

    void key(const KeySignatureItem& k) {
        if (!pendingKey_.empty()) flushAttributes();
        static constexpr int kSharpOrder[7] = {5, 2, 6, 3, 0, 4, 1};  // F C G D A E B
        static constexpr int kFlatOrder[7] = {1, 4, 0, 3, 6, 2, 5};   // B E A D G C F
        const unsigned sharps = k.sharps & 0x7Fu;
        const unsigned flats = k.flats & 0x7Fu & ~sharps;  // a sharp wins over a flat
        auto prefix = [](const int (&order)[7], unsigned mask) {
            unsigned m = 0;
            for (int n = 0; n <= 7; ++n) {
                if (m == mask) return n;
                if (n < 7) m |= 1u << order[n];
            }
            return -1;
        };
        std::string& s = pendingKey_;
        s = k.effectiveVisibility() == kVisNever ? "<key print-object=\"no\">"sv : "<key>"sv;
        const int sharpCount = flats == 0 ? prefix(kSharpOrder, sharps) : -1;
        const int flatCount = sharps == 0 ? prefix(kFlatOrder, flats) : -1;
        if (sharpCount >= 0) {
            s += "<fifths>" + std::to_string(sharpCount) + "</fifths>";
        } else if (flatCount >= 0) {
            s += "<fifths>" + std::to_string(-flatCount) + "</fifths>";
        } else {
            for (int letter : kSharpOrder) {
                if ((sharps >> letter) & 1u) {
                    s += std::string("<key-step>") + kStepNames[letter] +
                         "</key-step><key-alter>1</key-alter>";
                }
            }
            for (int letter : kFlatOrder) {
                if ((flats >> letter) & 1u) {
                    s += std::string("<key-step>") + kStepNames[letter] +
                         "</key-step><key-alter>-1</key-alter>";
                }
            }
        }
        s += "</key>"sv;
    }

    void time(const TimeSignatureItem& t) {
        if (!pendingTime_.empty()) flushAttributes();
        std::string& s = pendingTime_;
        s = "<time";
        if (t.signatureStyle == kCommonTime) s += " symbol=\"common\""sv;
        if (t.signatureStyle == kAllaBreve) s += " symbol=\"cut\""sv;
        if (t.effectiveVisibility() == kVisNever) s += " print-object=\"no\""sv;
        s += "><beats>" + std::to_string(t.beatsPerBar) + "</beats><beat-type>" +
             std::to_string(1u << t.beatValueCode) + "</beat-type></time>";
        barTicks_ = t.barTicks();
    }

    // Writes what is pending as one attributes element. The first one of the part also holds
    // the divisions, the transposition, and the defaults of a staff that states none.
    void flushAttributes() {
        std::string& out = current_.body;
        if (!first_ && pendingKey_.empty() && pendingTime_.empty() && pendingClef_.empty()) {
            return;
        }
        std::string s = "      <attributes>";
        if (first_) {
            s += "<divisions>" + std::to_string(kDivisions) + "</divisions>";
            if (pendingKey_.empty()) pendingKey_ = "<key><fifths>0</fifths></key>";
            if (pendingTime_.empty()) pendingTime_ = "<time><beats>4</beats><beat-type>4</beat-type></time>";
            if (pendingClef_.empty()) pendingClef_ = "<clef><sign>G</sign><line>2</line></clef>";
        }
        s += pendingKey_ + pendingTime_ + pendingClef_;
        if (first_ && transposition_ != 0) {
            s += "<transpose><chromatic>" + std::to_string(transposition_ % 12) +
                 "</chromatic><octave-change>" + std::to_string(transposition_ / 12) +
                 "</octave-change></transpose>";
        }
        s += "</attributes>\n"sv;
        out += s;
        pendingKey_.clear();
        pendingTime_.clear();
        pendingClef_.clear();
        first_ = false;
    }

    // ---- notes and rests ----

    // Writes a duration item at the current onset; returns the ticks it takes.
    int64_t durationItem(std::string& out, NotationItem& item) {
        auto& owner = static_cast<DurationItem&>(item);
        const int ticks = std::max(item.durationTicks(), 0);
        firstOfItem_ = true;
        const bool hidden = item.effectiveVisibility() == kVisNever;
        if (item.isRest()) {
            auto& rest = static_cast<RestItem&>(item);
            if (ticks > 0) {
                const bool measureRest = rest.isMeasured && rest.isLoneWholeRest();
                NoteText n;
                n += "      <note"sv;
                noteAttributes(n, item, hidden, false);
                n += measureRest ? "><rest measure=\"yes\"/>"sv : "><rest/>"sv;
                AppendElement(n, "duration", ticks);
                n += "<voice>1</voice>"sv;
                if (!measureRest) lengthOf(n, owner);
                timeModification(n, owner);
                notations(n, owner, nullptr, true, true);
                n += kNoteEnd;
                n.appendTo(out);
                lastNote_ = out.size() - kNoteEnd.size();
                ++result_.notes;
            }
            if (item.typeCode() == kRestChordItem) {
                const auto& restChord = static_cast<const RestChordItem&>(item);
                if (restChord.attachedChord) {
                    position_ = ticks;
                    moveTo(out, 0);
                    chordNotes(out, *restChord.attachedChord, 2, hidden);
                    moveTo(out, ticks);  // on to the rest's end
                }
            }
            position_ = 0;
            return ticks;
        }
        position_ = 0;
        chordNotes(out, static_cast<NoteItem&>(item), 1, hidden);
        moveTo(out, ticks);
        position_ = 0;
        return ticks;
    }

    // The notes of a note or chord at the item's onset: the members of the item's own length
    // (and, in a chord of split stems, of its first member's stem) in `voice`, each other group
    // of members in a voice of its own after it. `position_` counts from the onset, where the
    // output stands on entry; on return it is where the output stands.
    void chordNotes(std::string& out, NoteItem& chord, int voice, bool hidden) {
        const int own = std::max(chord.durationTicks(), 0);
        const bool grace = chord.hasAttribute(DurationItem::kGrace) || own == 0;
        const bool split = chord.hasSplitStems();
        const int ownStem =
            split && chord.member(0) ? static_cast<int>(chord.member(0)->stemDirection) : -1;
        hidden = hidden || chord.effectiveVisibility() == kVisNever;
        // The groups are kept from item to item (with their vectors' memory); `used` of them
        // hold this chord's.
        std::vector<NoteGroup>& groups = groups_;
        size_t used = 0;
        for (int i = 0; i < chord.memberCount(); ++i) {
            const NoteItem* m = chord.member(i);
            if (!m) continue;
            const int ticks = grace ? 0 : std::max(m->durationTicks(), 0);
            const int stem = split ? static_cast<int>(m->stemDirection) : -1;
            auto g = std::find_if(groups.begin(), groups.begin() + static_cast<ptrdiff_t>(used),
                                  [ticks, stem](const NoteGroup& x) {
                                      return x.ticks == ticks && x.stem == stem;
                                  });
            if (g == groups.begin() + static_cast<ptrdiff_t>(used)) {
                if (used == groups.size()) groups.emplace_back();
                g = groups.begin() + static_cast<ptrdiff_t>(used++);
                g->notes.clear();
                g->pitches.clear();
                g->ticks = ticks;
                g->stem = stem;
            }
            g->notes.push_back(m);
            g->pitches.push_back(perform::writtenPitch(state_, m->staffPosition,
                                                       static_cast<int>(m->accidental)));
        }
        // The group of the chord's own length (and stem) first, in the chord's voice; the
        // others in the order of their first members.
        auto isOwn = [own, ownStem](const NoteGroup& g) {
            return g.ticks == own && g.stem == ownStem;
        };
        const auto end = groups.begin() + static_cast<ptrdiff_t>(used);
        const auto ownGroupAt = std::find_if(groups.begin(), end, isOwn);
        const bool hasOwn = ownGroupAt != end;
        if (hasOwn) std::rotate(groups.begin(), ownGroupAt, ownGroupAt + 1);
        if (!grace && !hasOwn && voice == 1 && own > 0) forward(out, own, voice);
        int next = voice + 1;  // the voice of the next other group
        for (size_t k = 0; k < used; ++k) {
            const NoteGroup& g = groups[k];
            const bool ownGroup = isOwn(g);
            if (k > 0 || !ownGroup) moveTo(out, 0);
            writeGroup(out, chord, g, ownGroup ? voice : next++, ownGroup, hidden);
            position_ = g.ticks;
        }
    }

    void writeGroup(std::string& out, const NoteItem& owner, const NoteGroup& g, int voice,
                    bool ownGroup, bool hidden) {
        for (size_t i = 0; i < g.notes.size(); ++i) {
            const NoteItem& note = *g.notes[i];
            // Length, beam, tuplet and marks come from the owner for its own group.
            const DurationItem& shape = ownGroup ? static_cast<const DurationItem&>(owner)
                                                 : static_cast<const DurationItem&>(note);
            const bool muted = note.muted || owner.muted || staff_.muted;
            NoteText n;
            n += "      <note"sv;
            noteAttributes(n, note, hidden || owner.effectiveVisibility() == kVisNever, muted);
            n += '>';
            if (g.ticks == 0) n += "<grace/>"sv;
            if (i > 0) n += "<chord/>"sv;
            pitch(n, g.pitches[i]);
            if (g.ticks > 0) AppendElement(n, "duration", g.ticks);
            if (note.hasAttribute(DurationItem::kTieIn)) n += "<tie type=\"stop\"/>"sv;
            if (note.hasAttribute(DurationItem::kTieOut)) n += "<tie type=\"start\"/>"sv;
            AppendElement(n, "voice", voice);
            lengthOf(n, shape);
            if (note.accidental < 5) {
                n += "<accidental>"sv;
                n += kAccidentalNames[note.accidental];
                n += "</accidental>"sv;
            }
            timeModification(n, shape);
            const int stem = g.stem >= 0 ? g.stem : shape.stemDirection;
            if (stem == DurationItem::kStemUp) n += "<stem>up</stem>"sv;
            if (stem == DurationItem::kStemDown) n += "<stem>down</stem>"sv;
            if (i == 0) beam(n, shape);
            const bool first = i == 0 && firstOfItem_;
            notations(n, shape, &note, i == 0, first);
            n += kNoteEnd;
            n.appendTo(out);
            if (first) lastNote_ = out.size() - kNoteEnd.size();
            firstOfItem_ = false;
            ++result_.notes;
        }
    }

    static void pitch(NoteText& s, const perform::WrittenPitch& p) {
        const int folded = perform::foldPitch(p.midi);
        int octave = (folded - p.alter - kStepSemitone[p.letter] + 24) / 12 - 3;
        octave = std::clamp(octave, 0, 9);
        s += "<pitch><step>"sv;
        s += kStepNames[p.letter];
        s += "</step>"sv;
        if (p.alter != 0) AppendElement(s, "alter", p.alter);
        AppendElement(s, "octave", octave);
        s += "</pitch>"sv;
    }

    // type and dots; the type is left out for lengths that have no name.
    static void lengthOf(NoteText& s, const DurationItem& d) {
        if (d.baseDuration < std::size(kTypeNames)) {
            s += "<type>"sv;
            s += kTypeNames[d.baseDuration];
            s += "</type>"sv;
        }
        if (d.hasAttribute(DurationItem::kDoubleDotted)) {
            s += "<dot/><dot/>"sv;
        } else if (d.hasAttribute(DurationItem::kDotted)) {
            s += "<dot/>"sv;
        }
    }

    static void timeModification(NoteText& s, const DurationItem& d) {
        if (d.tripletPosition == DurationItem::kNotPresent) return;
        s += "<time-modification><actual-notes>3</actual-notes><normal-notes>2</normal-notes>"
             "</time-modification>";
    }

    static void beam(NoteText& s, const DurationItem& d) {
        switch (d.beamPosition) {
            case DurationItem::kGroupFirst:
                s += "<beam number=\"1\">begin</beam>"sv;
                break;
            case DurationItem::kGroupMiddle:
                s += "<beam number=\"1\">continue</beam>"sv;
                break;
            case DurationItem::kGroupEnd:
                s += "<beam number=\"1\">end</beam>"sv;
                break;
            default:
                break;
        }
    }

    // Not printed, silent (a muted note), highlight colour.
    static void noteAttributes(NoteText& s, const NotationItem& item, bool hidden, bool muted) {
        if (hidden || item.effectiveVisibility() == kVisNever) s += " print-object=\"no\""sv;
        if (muted) s += " dynamics=\"0\""sv;
        if (item.colour != 0) {
            s += " color=\""sv;
            s += kColours[item.colour & 3u];
            s += '"';
        }
    }

    // The notations of a note: with `pending`, the fermata and breath mark that wait for the
    // next note; the ties of `note`; and, on the first note of an item, its slur, triplet and
    // articulations.
    void notations(NoteText& s, const DurationItem& d, const NoteItem* note, bool first,
                   bool pending) {
        const size_t start = s.size();
        s += "<notations>"sv;
        const size_t empty = s.size();
        if (pending) {
            if (pendingFermata_) s += "<fermata type=\"upright\"/>"sv;
            if (pendingBreath_) s += "<articulations><breath-mark/></articulations>"sv;
            pendingFermata_ = pendingBreath_ = false;
        }
        if (note && note->hasAttribute(DurationItem::kTieIn)) s += "<tied type=\"stop\"/>"sv;
        if (note && note->hasAttribute(DurationItem::kTieOut)) s += "<tied type=\"start\"/>"sv;
        if (first) {
            const bool in = d.hasAttribute(DurationItem::kSlurIn);
            const bool out = d.hasAttribute(DurationItem::kSlurOut);
            if (out && !in) {
                s += d.slurDirection == 1 ? "<slur type=\"start\" placement=\"below\"/>"sv
                                          : "<slur type=\"start\" placement=\"above\"/>"sv;
            }
            if (in && !out) s += "<slur type=\"stop\"/>"sv;
            if (d.tripletPosition == DurationItem::kGroupFirst) {
                s += "<tuplet type=\"start\" bracket=\"yes\"/>"sv;
            }
            if (d.tripletPosition == DurationItem::kGroupEnd) s += "<tuplet type=\"stop\"/>"sv;
            const bool accent = d.hasAttribute(DurationItem::kAccented);
            const bool staccato = d.hasAttribute(DurationItem::kStaccato);
            const bool tenuto = d.hasAttribute(DurationItem::kTenuto);
            if (accent || staccato || tenuto) {
                s += "<articulations>"sv;
                if (accent) s += "<accent/>"sv;
                if (staccato) s += "<staccato/>"sv;
                if (tenuto) s += "<tenuto/>"sv;
                s += "</articulations>"sv;
            }
        }
        if (s.size() == empty) {
            s.resize(start);
        } else {
            s += "</notations>"sv;
        }
    }

    // ---- moving within the measure ----

    void moveTo(std::string& out, int target) {
        if (target < position_) backup(out, position_ - target);
        if (target > position_) forward(out, target - position_, 0);
        position_ = target;
    }
    void backup(std::string& out, int ticks) {
        out += "      <backup>"sv;
        AppendElement(out, "duration", ticks);
        out += "</backup>\n"sv;
        position_ -= ticks;
    }
    void forward(std::string& out, int ticks, int voice) {
        out += "      <forward>"sv;
        AppendElement(out, "duration", ticks);
        if (voice > 0) AppendElement(out, "voice", voice);
        out += "</forward>\n"sv;
        position_ += ticks;
    }

    static constexpr std::string_view kNoteEnd = "</note>\n";
    enum class Opened { None, HereInCurrent, Earlier };

    const Song& song_;
    const Staff& staff_;
    const std::string instrumentId_;
    MeasureSink& measures_;
    MusicXmlWriteResult& result_;
    PlayState state_;
    int transposition_ = 0;
    int barTicks_ = kDefaultBarTicks;
    int position_ = 0;
    bool first_ = true;
    std::string pendingKey_, pendingTime_, pendingClef_;
    size_t lastNote_ = std::string::npos;  // where the last item's first note ends in the body
    bool firstOfItem_ = false;
    bool pendingFermata_ = false;
    bool pendingBreath_ = false;
    bool wedgeOpen_ = false;
    Opened openEnding_ = Opened::None;
    std::string openNumbers_;
    std::vector<int> defaultPass_;  // by item index: the pass of a default ending there
    std::vector<NoteGroup> groups_;  // the groups of a chord's members (chordNotes)
    Measure current_;  // the measure being filled
};

std::string Today() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char buffer[16];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d", &utc);
    return buffer;
}

// Staffs of one group next to each other are a bracketed part group named after it (number 1);
// an Upper Grand Staff followed by a Lower Grand Staff is a brace (number 2).
void PartGroups(const Song& song, int i, std::vector<std::string>& before,
                std::vector<std::string>& after) {
    const int n = song.staffCount();
    auto sameGroup = [&song](int a, int b) {
        return std::strncmp(song.staffAt(a)->groupName, song.staffAt(b)->groupName,
                            sizeof Staff::groupName) == 0;
    };
    const bool startsGroup = (i == 0 || !sameGroup(i - 1, i)) && i + 1 < n && sameGroup(i, i + 1);
    const bool endsGroup = i > 0 && sameGroup(i - 1, i) && (i + 1 == n || !sameGroup(i, i + 1));
    if (startsGroup) {
        std::string s = "<part-group type=\"start\" number=\"1\"><group-name>";
        AppendText(s, song.staffAt(i)->groupName, sizeof Staff::groupName);
        before.push_back(s + "</group-name><group-symbol>bracket</group-symbol></part-group>");
    }
    auto style = [&song](int k) { return song.staffAt(k)->staffStyle; };
    if (i + 1 < n && style(i) == 1 && style(i + 1) == 2) {
        before.push_back(
            "<part-group type=\"start\" number=\"2\"><group-symbol>brace</group-symbol>"
            "<group-barline>yes</group-barline></part-group>");
    }
    if (i > 0 && style(i - 1) == 1 && style(i) == 2) {
        after.push_back("<part-group type=\"stop\" number=\"2\"/>");
    }
    if (endsGroup) after.push_back("<part-group type=\"stop\" number=\"1\"/>");
}

void WritePartList(Xml& xml, std::string& out, const Song& song) {
    xml.open("part-list");
    if (song.staffCount() == 0) {
        xml.open("score-part", "id=\"P1\"");
        xml.empty("part-name");
        xml.close("score-part");
    }
    for (int i = 0; i < song.staffCount(); ++i) {
        const Staff& staff = *song.staffAt(i);
        const std::string id = "P" + std::to_string(i + 1);
        std::vector<std::string> before, after;
        PartGroups(song, i, before, after);
        for (const std::string& g : before) out += "    " + g + "\n";
        xml.open("score-part", "id=\"" + id + "\"");
        xml.text("part-name", staff.staffName);
        xml.open("score-instrument", "id=\"" + id + "-I1\"");
        xml.text("instrument-name", staff.staffName);
        xml.close("score-instrument");
        xml.open("midi-instrument", "id=\"" + id + "-I1\"");
        xml.leaf("midi-channel", (staff.channel & 0xF) + 1);
        const InstrumentPatch& patch = staff.instrument;
        if (patch.bankSelect != 0 && patch.bank >= 0 && patch.bank < 16384) {
            xml.leaf("midi-bank", patch.bank + 1);
        }
        if (patch.patch >= 1 && patch.patch <= 128) xml.leaf("midi-program", patch.patch);
        if (staff.volume >= 0) xml.leaf("volume", std::min(staff.volume, 127) * 100 / 127);
        if (staff.stereoPan >= 0) xml.leaf("pan", (std::min(staff.stereoPan, 127) - 64) * 90 / 64);
        xml.close("midi-instrument");
        xml.close("score-part");
        for (const std::string& g : after) out += "    " + g + "\n";
    }
    xml.close("part-list");
}

}  // namespace

namespace {

MusicXmlWriteResult WriteDocument(Song& song, std::string& out, const MusicXmlSink* sink,
                                  const MusicXmlOptions& options) {
    MusicXmlWriteResult result;
    out.clear();
    auditSong(song, 0);
    const int staffs = song.staffCount();
    result.parts = staffs;

    size_t measureCount = 1;
    size_t items = 0;
    for (int i = 0; i < staffs; ++i) {
        measureCount = std::max(measureCount, MeasureCount(*song.staffAt(i)));
        items += static_cast<size_t>(std::max(song.staffAt(i)->itemCount(), 0));
    }
    // About what the large songs take, at most a gigabyte (the rest comes as it is needed);
    // a sink takes pieces of a fixed size.
    out.reserve(sink ? size_t{1} << 19
                     : std::min<size_t>(4096 + 160 * items +
                                            64 * measureCount * static_cast<size_t>(staffs),
                                        size_t{1} << 30));

    Xml xml(out, sink);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"sv;
    xml.open("score-partwise", "version=\"4.0\"");
    if (!IsEmpty(song.title)) {
        xml.open("work");
        xml.text("work-title", song.title);
        xml.close("work");
    }
    xml.open("identification");
    if (!IsEmpty(song.author)) xml.text("creator", song.author, "type=\"composer\"");
    if (!IsEmpty(song.copyright1)) xml.text("rights", song.copyright1);
    if (!IsEmpty(song.copyright2)) xml.text("rights", song.copyright2);
    xml.open("encoding");
    xml.leaf("software", "scq");
    xml.leaf("encoding-date", options.encodingDate.empty() ? Today() : options.encodingDate);
    xml.close("encoding");
    if (!IsEmpty(song.comments)) {
        xml.open("miscellaneous");
        xml.text("miscellaneous-field", song.comments, "name=\"comments\"");
        xml.close("miscellaneous");
    }
    xml.close("identification");
    WritePartList(xml, out, song);

    bool pickup = false;
    for (int i = 0; i < staffs; ++i) {
        xml.open("part", "id=\"P" + std::to_string(i + 1) + "\"");
        MeasureSink measures(xml, out, i == 0, pickup, measureCount);
        PartWriter writer(song, i, measures, result);
        writer.walk();
        if (measures.empty()) writer.startEmpty();
        measures.finish();
        result.notes += measures.padding();
        xml.close("part");
        if (xml.refused()) break;
    }
    if (staffs == 0) {
        // A score has at least one part: a song without staffs has one without music.
        xml.open("part", "id=\"P1\"");
        xml.empty("measure", "number=\"1\"");
        xml.close("part");
    }
    xml.close("score-partwise");
    xml.drain(true);
    result.measures = static_cast<int>(measureCount);
    result.written = !xml.refused();
    return result;
}

}  // namespace

MusicXmlWriteResult WriteMusicXml(Song& song, std::string& out, const MusicXmlOptions& options) {
    return WriteDocument(song, out, nullptr, options);
}

MusicXmlWriteResult WriteMusicXml(Song& song, const MusicXmlSink& sink,
                                  const MusicXmlOptions& options) {
    std::string piece;
    return WriteDocument(song, piece, &sink, options);
}

}  // namespace scq
