#include "export/MusicXmlWriter.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <iterator>
#include <string_view>
#include <vector>

#include "items/BarsAndFlow.h"
#include "items/DurationItems.h"
#include "items/Signatures.h"
#include "perform/PerformRules.h"
#include "perform/PlayState.h"
#include "song/Song.h"
#include "song/Staff.h"
#include "staff/Audit.h"

namespace scq {

namespace {

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

// Windows-1252 bytes, up to the first 0 byte or `size`, as escaped UTF-8 character data. Bytes
// that XML cannot hold (control characters other than tab, line feed and carriage return) and
// bytes without a character become U+FFFD.
void AppendText(std::string& out, const char* text, size_t size) {
    for (size_t i = 0; i < size && text[i] != 0; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        switch (b) {
            case '&':
                out += "&amp;";
                continue;
            case '<':
                out += "&lt;";
                continue;
            case '>':
                out += "&gt;";
                continue;
            case '"':
                out += "&quot;";
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

// ---------------------------------------------------------------------------------------------
// Element output.

class Xml {
public:
    explicit Xml(std::string& out) : out_(out) {}

    void open(std::string_view name, std::string_view attributes = {}) {
        indent();
        tag(name, attributes);
        out_ += '\n';
        ++depth_;
    }
    void close(std::string_view name) {
        --depth_;
        indent();
        out_ += "</";
        out_ += name;
        out_ += ">\n";
    }
    void empty(std::string_view name, std::string_view attributes = {}) {
        indent();
        out_ += '<';
        out_ += name;
        if (!attributes.empty()) {
            out_ += ' ';
            out_ += attributes;
        }
        out_ += "/>\n";
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
        out_ += "</";
        out_ += name;
        out_ += ">\n";
    }

    std::string& out_;
    int depth_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Notation.

constexpr const char* kTypeNames[] = {"whole", "half",  "quarter", "eighth", "16th",  "32nd",
                                      "64th",  "128th", "256th",   "512th",  "1024th"};
constexpr const char* kAccidentalNames[] = {"sharp", "flat", "natural", "double-sharp",
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
    bool present() const { return style || repeat || hidden; }
};

// The right-hand side (closing) and left-hand side (opening) of a bar line.
void SplitBarline(const BarLineItem& bar, Barline& right, Barline& left) {
    const bool hidden = bar.effectiveVisibility() == kVisNever;
    switch (bar.barStyle) {
        case kBarDouble:
            right = {"light-light", nullptr, 0, hidden};
            break;
        case kBarSectionClose:
            right = {"light-heavy", nullptr, 0, hidden};
            break;
        case kBarLocalRepeatClose:
            right = {"light-heavy", "backward", bar.repeatCount > 1 ? bar.repeatCount : 0, hidden};
            break;
        case kBarMasterRepeatClose:
            right = {"light-heavy", "backward", 0, hidden};
            break;
        case kBarSectionOpen:
            left = {"heavy-light", nullptr, 0, hidden};
            break;
        case kBarLocalRepeatOpen:
        case kBarMasterRepeatOpen:
            left = {"heavy-light", "forward", 0, hidden};
            break;
        default:
            if (hidden) right = {nullptr, nullptr, 0, true};
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
    if (b.repeat) {
        std::string attributes = std::string("direction=\"") + b.repeat + "\"";
        if (b.times > 0) attributes += " times=\"" + std::to_string(b.times) + "\"";
        xml.empty("repeat", attributes);
    }
    xml.close("barline");
}

struct Measure {
    std::string body;
    Barline left, right;
    int64_t ticks = 0;
    int barTicks = kDefaultBarTicks;  // of the time signature in force at its end
};

// The notes of one duration item that sound together for one length.
struct NoteGroup {
    std::vector<const NoteItem*> notes;
    std::vector<perform::WrittenPitch> pitches;
    int ticks = 0;
};

// One staff's measures.
class PartWriter {
public:
    PartWriter(const Staff& staff, std::vector<Measure>& measures, MusicXmlWriteResult& result)
        : staff_(staff), measures_(measures), result_(result) {
        // The staff's transposition as the performance's state holds it.
        state_.transposition = staff.transposition;
        transposition_ = state_.transposition;
        state_.transposition = 0;
    }

    void walk() {
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
                    if (right.present() && !measures_.empty()) measures_.back().right = right;
                    if (left.present()) current.left = left;
                } else {
                    current.right = right;
                    current.barTicks = barTicks_;
                    measures_.push_back(std::move(current));
                    current = Measure{};
                    current.left = left;
                    empty = true;
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
                default:
                    break;
            }
            item->applyToStaffState(state_);
        }
        if (!empty) {
            flushAttributes();
            current.barTicks = barTicks_;
            measures_.push_back(std::move(current));
        }
    }

    // The attributes a part starts with when its staff has no measure.
    void startEmpty(std::string& body) {
        flushAttributes();
        body = std::move(current_.body);
    }

private:
    // ---- attributes ----

    void clef(const ClefItem& c) {
        if (!pendingClef_.empty()) flushAttributes();
        static constexpr const char* kSign[4] = {"G", "F", "C", "C"};
        static constexpr int kLine[4] = {2, 4, 3, 4};
        const unsigned type = c.clefType & 3u;
        std::string& s = pendingClef_;
        s = c.effectiveVisibility() == kVisNever ? "<clef print-object=\"no\">" : "<clef>";
        s += "<sign>";
        s += kSign[type];
        s += "</sign><line>" + std::to_string(kLine[type]) + "</line>";
        const unsigned shift = static_cast<uint8_t>(c.octaveShift) & 3u;
        if (shift == kOctaveUp) s += "<clef-octave-change>1</clef-octave-change>";
        if (shift == kOctaveDown) s += "<clef-octave-change>-1</clef-octave-change>";
        s += "</clef>";
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
        s = k.effectiveVisibility() == kVisNever ? "<key print-object=\"no\">" : "<key>";
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
        s += "</key>";
    }

    void time(const TimeSignatureItem& t) {
        if (!pendingTime_.empty()) flushAttributes();
        std::string& s = pendingTime_;
        s = "<time";
        if (t.signatureStyle == kCommonTime) s += " symbol=\"common\"";
        if (t.signatureStyle == kAllaBreve) s += " symbol=\"cut\"";
        if (t.effectiveVisibility() == kVisNever) s += " print-object=\"no\"";
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
        std::string s = "<attributes>";
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
        s += "</attributes>\n";
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
        const bool hidden = item.effectiveVisibility() == kVisNever;
        if (item.isRest()) {
            auto& rest = static_cast<RestItem&>(item);
            if (ticks > 0) {
                std::string n = hidden ? "<note print-object=\"no\">" : "<note>";
                n += rest.isMeasured && rest.isLoneWholeRest() ? "<rest measure=\"yes\"/>"
                                                               : "<rest/>";
                n += "<duration>" + std::to_string(ticks) + "</duration><voice>1</voice>";
                if (!(rest.isMeasured && rest.isLoneWholeRest())) n += lengthOf(owner);
                n += timeModification(owner);
                n += notations(owner, nullptr, true);
                n += "</note>\n";
                out += n;
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
    // in `voice`, the others in voice 2. `position_` counts from the onset, where the output
    // stands on entry; on return it is where the output stands.
    void chordNotes(std::string& out, NoteItem& chord, int voice, bool hidden) {
        const int own = std::max(chord.durationTicks(), 0);
        const bool grace = chord.hasAttribute(DurationItem::kGrace) || own == 0;
        hidden = hidden || chord.effectiveVisibility() == kVisNever;
        std::vector<NoteGroup> groups;
        for (int i = 0; i < chord.memberCount(); ++i) {
            const NoteItem* m = chord.member(i);
            if (!m) continue;
            const int ticks = grace ? 0 : std::max(m->durationTicks(), 0);
            auto g = std::find_if(groups.begin(), groups.end(),
                                  [ticks](const NoteGroup& x) { return x.ticks == ticks; });
            if (g == groups.end()) {
                groups.push_back({});
                g = groups.end() - 1;
                g->ticks = ticks;
            }
            g->notes.push_back(m);
            g->pitches.push_back(perform::writtenPitch(state_, m->staffPosition,
                                                       static_cast<int>(m->accidental)));
        }
        // The group of the chord's own length first, in the chord's voice.
        std::stable_partition(groups.begin(), groups.end(),
                              [own](const NoteGroup& g) { return g.ticks == own; });
        bool first = true;
        if (!grace && (groups.empty() || groups.front().ticks != own) && voice == 1 && own > 0) {
            forward(out, own, voice);
        }
        for (const NoteGroup& g : groups) {
            const bool ownGroup = g.ticks == own;
            if (!first || !ownGroup) moveTo(out, 0);
            writeGroup(out, chord, g, ownGroup ? voice : 2, ownGroup, hidden);
            position_ = g.ticks;
            first = false;
        }
    }

    void writeGroup(std::string& out, const NoteItem& owner, const NoteGroup& g, int voice,
                    bool ownGroup, bool hidden) {
        for (size_t i = 0; i < g.notes.size(); ++i) {
            const NoteItem& note = *g.notes[i];
            // Length, beam, tuplet and marks come from the owner for its own group.
            const DurationItem& shape = ownGroup ? static_cast<const DurationItem&>(owner)
                                                 : static_cast<const DurationItem&>(note);
            std::string n = "<note";
            if (hidden || note.effectiveVisibility() == kVisNever) n += " print-object=\"no\"";
            n += '>';
            if (g.ticks == 0) n += "<grace/>";
            if (i > 0) n += "<chord/>";
            n += pitch(g.pitches[i]);
            if (g.ticks > 0) n += "<duration>" + std::to_string(g.ticks) + "</duration>";
            if (note.hasAttribute(DurationItem::kTieIn)) n += "<tie type=\"stop\"/>";
            if (note.hasAttribute(DurationItem::kTieOut)) n += "<tie type=\"start\"/>";
            n += "<voice>" + std::to_string(voice) + "</voice>";
            n += lengthOf(shape);
            if (note.accidental < 5) {
                n += std::string("<accidental>") + kAccidentalNames[note.accidental] +
                     "</accidental>";
            }
            n += timeModification(shape);
            if (shape.stemDirection == DurationItem::kStemUp) n += "<stem>up</stem>";
            if (shape.stemDirection == DurationItem::kStemDown) n += "<stem>down</stem>";
            if (i == 0) n += beam(shape);
            n += notations(shape, &note, i == 0);
            n += "</note>\n";
            out += n;
            ++result_.notes;
        }
    }

    static std::string pitch(const perform::WrittenPitch& p) {
        const int folded = perform::foldPitch(p.midi);
        int octave = (folded - p.alter - kStepSemitone[p.letter] + 24) / 12 - 3;
        octave = std::clamp(octave, 0, 9);
        std::string s = "<pitch><step>";
        s += kStepNames[p.letter];
        s += "</step>";
        if (p.alter != 0) s += "<alter>" + std::to_string(p.alter) + "</alter>";
        s += "<octave>" + std::to_string(octave) + "</octave></pitch>";
        return s;
    }

    // type and dots; the type is left out for lengths that have no name.
    static std::string lengthOf(const DurationItem& d) {
        std::string s;
        if (d.baseDuration < std::size(kTypeNames)) {
            s += std::string("<type>") + kTypeNames[d.baseDuration] + "</type>";
        }
        if (d.hasAttribute(DurationItem::kDoubleDotted)) {
            s += "<dot/><dot/>";
        } else if (d.hasAttribute(DurationItem::kDotted)) {
            s += "<dot/>";
        }
        return s;
    }

    static std::string timeModification(const DurationItem& d) {
        if (d.tripletPosition == DurationItem::kNotPresent) return {};
        return "<time-modification><actual-notes>3</actual-notes><normal-notes>2</normal-notes>"
               "</time-modification>";
    }

    static std::string beam(const DurationItem& d) {
        switch (d.beamPosition) {
            case DurationItem::kGroupFirst:
                return "<beam number=\"1\">begin</beam>";
            case DurationItem::kGroupMiddle:
                return "<beam number=\"1\">continue</beam>";
            case DurationItem::kGroupEnd:
                return "<beam number=\"1\">end</beam>";
            default:
                return {};
        }
    }

    // Ties of `note`; and, on the first note of an item, its slur, triplet and articulations.
    static std::string notations(const DurationItem& d, const NoteItem* note, bool first) {
        std::string s;
        if (note && note->hasAttribute(DurationItem::kTieIn)) s += "<tied type=\"stop\"/>";
        if (note && note->hasAttribute(DurationItem::kTieOut)) s += "<tied type=\"start\"/>";
        if (first) {
            const bool in = d.hasAttribute(DurationItem::kSlurIn);
            const bool out = d.hasAttribute(DurationItem::kSlurOut);
            if (out && !in) {
                s += d.slurDirection == 1 ? "<slur type=\"start\" placement=\"below\"/>"
                                          : "<slur type=\"start\" placement=\"above\"/>";
            }
            if (in && !out) s += "<slur type=\"stop\"/>";
            if (d.tripletPosition == DurationItem::kGroupFirst) {
                s += "<tuplet type=\"start\" bracket=\"yes\"/>";
            }
            if (d.tripletPosition == DurationItem::kGroupEnd) s += "<tuplet type=\"stop\"/>";
            std::string marks;
            if (d.hasAttribute(DurationItem::kAccented)) marks += "<accent/>";
            if (d.hasAttribute(DurationItem::kStaccato)) marks += "<staccato/>";
            if (d.hasAttribute(DurationItem::kTenuto)) marks += "<tenuto/>";
            if (!marks.empty()) s += "<articulations>" + marks + "</articulations>";
        }
        if (s.empty()) return s;
        return "<notations>" + s + "</notations>";
    }

    // ---- moving within the measure ----

    void moveTo(std::string& out, int target) {
        if (target < position_) backup(out, position_ - target);
        if (target > position_) forward(out, target - position_, 0);
        position_ = target;
    }
    void backup(std::string& out, int ticks) {
        out += "<backup><duration>" + std::to_string(ticks) + "</duration></backup>\n";
        position_ -= ticks;
    }
    void forward(std::string& out, int ticks, int voice) {
        out += "<forward><duration>" + std::to_string(ticks) + "</duration>";
        if (voice > 0) out += "<voice>" + std::to_string(voice) + "</voice>";
        out += "</forward>\n";
        position_ += ticks;
    }

    const Staff& staff_;
    std::vector<Measure>& measures_;
    MusicXmlWriteResult& result_;
    PlayState state_;
    int transposition_ = 0;
    int barTicks_ = kDefaultBarTicks;
    int position_ = 0;
    bool first_ = true;
    std::string pendingKey_, pendingTime_, pendingClef_;
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

void WritePartList(Xml& xml, const Song& song) {
    xml.open("part-list");
    for (int i = 0; i < song.staffCount(); ++i) {
        const Staff& staff = *song.staffAt(i);
        const std::string id = "P" + std::to_string(i + 1);
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
    }
    xml.close("part-list");
}

}  // namespace

MusicXmlWriteResult WriteMusicXml(Song& song, std::string& out, const MusicXmlOptions& options) {
    MusicXmlWriteResult result;
    out.clear();
    auditSong(song, 0);
    const int staffs = song.staffCount();
    result.parts = staffs;

    std::vector<std::vector<Measure>> parts(static_cast<size_t>(staffs));
    size_t measureCount = 1;
    for (int i = 0; i < staffs; ++i) {
        std::vector<Measure>& measures = parts[static_cast<size_t>(i)];
        PartWriter writer(*song.staffAt(i), measures, result);
        writer.walk();
        if (measures.empty()) {
            measures.emplace_back();
            writer.startEmpty(measures.back().body);
        }
        measureCount = std::max(measureCount, measures.size());
    }
    // A pickup: the first bar of the first staff is shorter than its time signature's.
    const bool pickup = staffs > 0 && measureCount > 1 && parts[0][0].ticks > 0 &&
                        parts[0][0].ticks < parts[0][0].barTicks;

    Xml xml(out);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n";
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
    WritePartList(xml, song);

    for (int i = 0; i < staffs; ++i) {
        std::vector<Measure>& measures = parts[static_cast<size_t>(i)];
        xml.open("part", "id=\"P" + std::to_string(i + 1) + "\"");
        for (size_t m = 0; m < measureCount; ++m) {
            std::string attributes = "number=\"" + std::to_string(pickup ? m : m + 1) + "\"";
            if (pickup && m == 0) attributes += " implicit=\"yes\"";
            xml.open("measure", attributes);
            if (m < measures.size()) {
                const Measure& measure = measures[m];
                WriteBarline(xml, measure.left, "left");
                out += measure.body;
                WriteBarline(xml, measure.right, "right");
            } else {
                // Padding: a measure rest of the bar's length.
                const int bar = measures.back().barTicks;
                if (bar > 0) {
                    out += "<note><rest measure=\"yes\"/><duration>" + std::to_string(bar) +
                           "</duration><voice>1</voice></note>\n";
                    ++result.notes;
                }
            }
            xml.close("measure");
        }
        xml.close("part");
    }
    xml.close("score-partwise");
    result.measures = static_cast<int>(measureCount);
    return result;
}

}  // namespace scq
