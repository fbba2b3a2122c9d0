#include "Dump.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>
#include <vector>

#include "Text.h"
#include "cli/Repair.h"
#include "items/BarsAndFlow.h"
#include "items/DurationItems.h"
#include "items/PerformanceMarks.h"
#include "items/Signatures.h"
#include "items/TextAndPedal.h"
#include "perform/EventSequence.h"
#include "perform/PlayTime.h"
#include "song/Song.h"
#include "song/SongFile.h"

namespace scq::dump {

namespace {

template <size_t N>
std::string Text(const char (&field)[N]) {
    return Windows1252ToUtf8(field, N);
}

std::string Text(const std::string& s) {
    return Windows1252ToUtf8(s.data(), s.size());
}

const char* const kFontSlots[FontTable::kEntryCount] = {
    "Staff Italic", "Staff Bold", "Staff Lyric", "Page Title Text", "Page Text", "Page Small Text",
    "User 1",       "User 2",     "User 3",      "User 4",          "User 5",    "User 6"};

const char* const kKindNames[kItemTypeCount] = {"ClefItem",
                                                "KeySignatureItem",
                                                "BarLineItem",
                                                "EndingItem",
                                                "InstrumentItem",
                                                "TimeSignatureItem",
                                                "TempoItem",
                                                "DynamicItem",
                                                "NoteItem",
                                                "RestItem",
                                                "ChordItem",
                                                "PedalItem",
                                                "FlowDirectionItem",
                                                "ControllerItem",
                                                "TempoVariationItem",
                                                "DynamicVariationItem",
                                                "PerformanceStyleItem",
                                                "TextItem",
                                                "RestChordItem"};

void AddPositioned(Json& j, const PositionedItem& p) {
    j["position"] = static_cast<int>(p.position);
    j["reservesWidth"] = static_cast<int>(p.reservesWidth);
    j["justification"] = static_cast<int>(p.justification);
    j["placement"] = static_cast<int>(p.placement);
}

void AddDuration(Json& j, const DurationItem& d) {
    j["attributes"] = static_cast<int>(d.attributes);
    j["accidentalSpacing"] = static_cast<int>(d.accidentalSpacing);
    j["noteSpacing"] = static_cast<int>(d.noteSpacing);
    j["baseDuration"] = static_cast<int>(d.baseDuration);
    j["beamPosition"] = static_cast<int>(d.beamPosition);
    j["tripletPosition"] = static_cast<int>(d.tripletPosition);
    j["stemDirection"] = static_cast<int>(d.stemDirection);
    j["slurDirection"] = static_cast<int>(d.slurDirection);
    j["lyricSetting"] = static_cast<int>(d.lyricSetting);
    j["durationTicks"] = d.durationTicks();
}

void AddNoteFields(Json& j, const NoteItem& n) {
    j["staffPosition"] = static_cast<int>(n.staffPosition);
    j["accidental"] = static_cast<int>(n.accidental);
    j["tieDirection"] = static_cast<int>(n.tieDirection);
    j["muted"] = static_cast<int>(n.muted);
    j["noLedgerLines"] = static_cast<int>(n.noLedgerLines);
    j["hiddenStem"] = static_cast<int>(n.hiddenStem);
}

void AddRestFields(Json& j, const RestItem& r) {
    j["verticalOffset"] = static_cast<int>(r.verticalOffset);
    j["measuredLength"] = static_cast<long long>(r.measuredLength);
    j["isMeasured"] = static_cast<int>(r.isMeasured);
}

}  // namespace

Json FloatValue(float f) {
    if (std::isnan(f)) return "NaN";
    if (std::isinf(f)) return f > 0 ? "Infinity" : "-Infinity";
    // Every float is exactly a double, and the double's shortest text reads back as itself.
    return static_cast<double>(f);
}

Json DumpItem(const NotationItem& item) {
    Json j;
    const int type = item.typeCode();
    j["type"] = type;
    j["kind"] = type >= 0 && type < kItemTypeCount ? kKindNames[type] : "";
    j["visibility"] = static_cast<int>(item.visibility);
    j["colour"] = static_cast<int>(item.colour);
    if (item.isPositioned()) AddPositioned(j, static_cast<const PositionedItem&>(item));
    switch (type) {
        case kClefItem: {
            const auto& c = static_cast<const ClefItem&>(item);
            j["clefType"] = static_cast<int>(c.clefType);
            j["octaveShift"] = static_cast<int>(c.octaveShift);
            break;
        }
        case kKeySignatureItem: {
            const auto& k = static_cast<const KeySignatureItem&>(item);
            j["flats"] = static_cast<int>(k.flats);
            j["sharps"] = static_cast<int>(k.sharps);
            j["clefHint"] = static_cast<int>(k.clefHint);
            j["cancelledFlats"] = static_cast<int>(k.cancelledFlats);
            j["cancelledSharps"] = static_cast<int>(k.cancelledSharps);
            break;
        }
        case kBarLineItem: {
            const auto& b = static_cast<const BarLineItem&>(item);
            j["barStyle"] = static_cast<int>(b.barStyle);
            j["systemBreak"] = static_cast<int>(b.systemBreak);
            j["incompleteBar"] = static_cast<int>(b.incompleteBar);
            j["repeatCount"] = static_cast<int>(b.repeatCount);
            break;
        }
        case kEndingItem:
            j["endings"] = static_cast<long long>(static_cast<const EndingItem&>(item).endings);
            break;
        case kInstrumentItem: {
            const auto& in = static_cast<const InstrumentItem&>(item).instrument;
            j["bankSelect"] = in.bankSelect;
            j["bank"] = in.bank;
            j["patch"] = in.patch;
            break;
        }
        case kTimeSignatureItem: {
            const auto& t = static_cast<const TimeSignatureItem&>(item);
            j["beatsPerBar"] = static_cast<int>(t.beatsPerBar);
            j["beatValueCode"] = static_cast<int>(t.beatValueCode);
            j["signatureStyle"] = static_cast<int>(t.signatureStyle);
            break;
        }
        case kTempoItem: {
            const auto& t = static_cast<const TempoItem&>(item);
            j["tempo"] = t.tempo;
            j["tempoBase"] = static_cast<int>(t.tempoBase);
            j["tempoText"] = Text(t.tempoText);
            break;
        }
        case kDynamicItem: {
            const auto& d = static_cast<const DynamicItem&>(item);
            j["dynamic"] = static_cast<int>(d.dynamic);
            j["velocityGiven"] = static_cast<int>(d.velocityGiven);
            j["volumeGiven"] = static_cast<int>(d.volumeGiven);
            j["velocity"] = static_cast<int>(d.velocity);
            j["volume"] = static_cast<int>(d.volume);
            break;
        }
        case kNoteItem: {
            const auto& n = static_cast<const NoteItem&>(item);
            AddDuration(j, n);
            AddNoteFields(j, n);
            break;
        }
        case kRestItem: {
            const auto& r = static_cast<const RestItem&>(item);
            AddDuration(j, r);
            AddRestFields(j, r);
            break;
        }
        case kChordItem: {
            const auto& c = static_cast<const ChordItem&>(item);
            AddDuration(j, c);
            AddNoteFields(j, c);
            Json members = Json::array();
            for (const auto& m : c.members) {
                if (m) members.push_back(DumpItem(*m));
            }
            j["members"] = std::move(members);
            break;
        }
        case kPedalItem:
            j["pedalDown"] = static_cast<int>(static_cast<const PedalItem&>(item).pedalDown);
            break;
        case kFlowDirectionItem:
            j["flowKind"] = static_cast<const FlowDirectionItem&>(item).flowKind;
            break;
        case kControllerItem: {
            const auto& c = static_cast<const ControllerItem&>(item);
            j["controller"] = c.controller;
            j["sweepStyle"] = c.sweepStyle;
            j["timeUnit"] = c.timeUnit;
            j["sweepStep"] = c.sweepStep;
            Json points = Json::array();
            for (const auto& p : c.points) {
                points.push_back(
                    Json{{"active", p.active}, {"offset", p.offset}, {"value", p.value}});
            }
            j["points"] = std::move(points);
            break;
        }
        case kTempoVariationItem: {
            const auto& t = static_cast<const TempoVariationItem&>(item);
            j["variationKind"] = static_cast<int>(t.variationKind);
            j["pauseLength"] = static_cast<int>(t.pauseLength);
            j["startTempo"] = static_cast<int>(t.startTempo);
            j["endTempo"] = static_cast<int>(t.endTempo);
            j["rampTicks"] = t.rampTicks;
            break;
        }
        case kDynamicVariationItem: {
            const auto& d = static_cast<const DynamicVariationItem&>(item);
            j["variationKind"] = static_cast<int>(d.variationKind);
            j["targetVelocity"] = static_cast<int>(d.targetVelocity);
            j["startVolume"] = static_cast<int>(d.startVolume);
            j["endVolume"] = static_cast<int>(d.endVolume);
            j["rampTicks"] = d.rampTicks;
            break;
        }
        case kPerformanceStyleItem:
            j["performanceStyle"] =
                static_cast<int>(static_cast<const PerformanceStyleItem&>(item).performanceStyle);
            break;
        case kTextItem: {
            const auto& t = static_cast<const TextItem&>(item);
            j["textFont"] = static_cast<int>(t.textFont);
            j["text"] = Text(t.text);
            break;
        }
        case kRestChordItem: {
            const auto& r = static_cast<const RestChordItem&>(item);
            AddDuration(j, r);
            AddRestFields(j, r);
            j["attachedChord"] = r.attachedChord ? DumpItem(*r.attachedChord) : Json(nullptr);
            break;
        }
        default:
            break;
    }
    return j;
}

Json DumpStaff(const Staff& staff) {
    Json j;
    j["staffName"] = Text(staff.staffName);
    j["groupName"] = Text(staff.groupName);
    j["endingBar"] = static_cast<int>(staff.endingBar);
    j["muted"] = staff.muted;
    j["channel"] = staff.channel;
    j["device"] = staff.device;
    j["instrument"] = Json{{"bankSelect", staff.instrument.bankSelect},
                           {"bank", staff.instrument.bank},
                           {"patch", staff.instrument.patch}};
    j["staffStyle"] = staff.staffStyle;
    j["upperBoundary"] = staff.upperBoundary;
    j["lowerBoundary"] = staff.lowerBoundary;
    j["lineCount"] = static_cast<int>(staff.lineCount);
    j["layerWithNext"] = staff.layerWithNext;
    j["transposition"] = staff.transposition;
    j["volume"] = staff.volume;
    j["stereoPan"] = staff.stereoPan;
    j["staffOptionByte"] = static_cast<int>(staff.staffOptionByte);
    j["needsAudit"] = staff.needsAudit;
    if (staff.lyrics) {
        const LyricsBlock& l = *staff.lyrics;
        Json lines = Json::array();
        for (const auto& line : l.lines) {
            lines.push_back(Json{{"usedLength", line->usedLength},
                                 {"bytes", HexBytes(line->bytes.data(), line->bytes.size())}});
        }
        j["lyrics"] = Json{{"lyricPlacement", static_cast<int>(l.lyricPlacement)},
                           {"lyricAlignment", static_cast<int>(l.lyricAlignment)},
                           {"lyricWord", l.lyricWord},
                           {"lines", std::move(lines)}};
    } else {
        j["lyrics"] = nullptr;
    }
    Json items = Json::array();
    for (int i = 0; i < staff.itemCount(); ++i) items.push_back(DumpItem(*staff.itemAt(i)));
    j["items"] = std::move(items);
    return j;
}

Json DumpSong(const Song& song) {
    Json j;
    j["title"] = Text(song.title);
    j["author"] = Text(song.author);
    j["copyright1"] = Text(song.copyright1);
    j["copyright2"] = Text(song.copyright2);
    j["comments"] = Text(song.comments);
    j["barNumberStyle"] = song.barNumberStyle;
    j["firstBarNumber"] = song.firstBarNumber;
    Json margins = Json::array();
    for (float m : song.pageMargins) margins.push_back(FloatValue(m));
    j["pageMargins"] = std::move(margins);
    j["pageOptionByte1"] = song.pageOptionByte1;
    j["pageOptionWord1"] = song.pageOptionWord1;
    j["pageOptionWord2"] = song.pageOptionWord2;
    j["pageOptionByte2"] = song.pageOptionByte2;
    Json selection = Json::array();
    for (int i = 0; i < StaffSelection::kBits; ++i) {
        if (song.staffSelection.test(i)) selection.push_back(i);
    }
    j["staffSelection"] = std::move(selection);
    j["songFlags"] = static_cast<int>(song.songFlags);
    Json entries = Json::array();
    for (int i = 0; i < FontTable::kEntryCount; ++i) {
        const FontEntry& e = song.fonts->entries[static_cast<size_t>(i)];
        entries.push_back(Json{{"slot", kFontSlots[i]},
                               {"name", Text(e.name)},
                               {"size", e.size},
                               {"style", static_cast<int>(e.style)},
                               {"charset", static_cast<int>(e.charset)}});
    }
    j["fonts"] = Json{{"baseSize", song.fonts->baseSize}, {"entries", std::move(entries)}};
    Json staffs = Json::array();
    for (int i = 0; i < song.staffCount(); ++i) staffs.push_back(DumpStaff(*song.staffAt(i)));
    j["staffs"] = std::move(staffs);
    return j;
}

Json DumpLoad(const SongFileInfo& info, bool repaired) {
    Json j;
    j["status"] = static_cast<int>(info.status);
    j["repaired"] = repaired ? 1 : 0;
    j["productName"] = Text(info.productName);
    j["formatRevision"] = info.formatRevision;
    j["productVersion"] = info.productVersion;
    j["secondHeaderWord"] = info.secondHeaderWord;
    return j;
}

}  // namespace scq::dump

namespace scq::dump {

namespace {

// Spacing of hand-written JSON, matching the library's output: compact, or indented by two
// spaces per level with ": " between key and value.
struct Layout {
    bool pretty;
    std::string newline(int depth) const {
        return pretty ? "\n" + std::string(static_cast<size_t>(depth) * 2, ' ') : "";
    }
    const char* colon() const { return pretty ? ": " : ":"; }
    const char* comma() const { return pretty ? ", " : ","; }
};

// Output gathered in a fixed block and written with one fwrite per block: the event lists run to
// millions of lines, and formatting each one through the stdio format parser would cost several
// times the rendering that produced them.
class BlockWriter {
public:
    explicit BlockWriter(std::FILE* out) : out_(out) {}
    ~BlockWriter() { flush(); }
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;

    void put(std::string_view text) {
        if (text.size() > kSize - used_) {
            flush();
            if (text.size() > kSize) {
                std::fwrite(text.data(), 1, text.size(), out_);
                return;
            }
        }
        std::memcpy(buffer_.data() + used_, text.data(), text.size());
        used_ += text.size();
    }
    void put(char c) {
        if (used_ == kSize) flush();
        buffer_[used_++] = c;
    }
    void put(long long value) {
        if (kSize - used_ < kNumberRoom) flush();
        char* begin = buffer_.data() + used_;
        used_ += static_cast<size_t>(std::to_chars(begin, begin + kNumberRoom, value).ptr - begin);
    }
    void flush() {
        if (used_ > 0) std::fwrite(buffer_.data(), 1, used_, out_);
        used_ = 0;
    }

private:
    static constexpr size_t kSize = size_t{1} << 16;
    static constexpr size_t kNumberRoom = 24;  // any 64-bit integer in decimal
    std::FILE* out_;
    std::vector<char> buffer_ = std::vector<char>(kSize);
    size_t used_ = 0;
};

// Writes one variant of the performance at nesting depth `depth`: its figures and, when asked,
// its events. The events are written straight from the sequence, never gathered into a JSON
// value, so a performance of a million events streams out in one pass.
void WriteVariant(BlockWriter& w, Song& song, PlayTimeVariant variant, bool events, const Layout& l,
                  int depth) {
    EventSequence sequence(16);
    RenderForPlayTime(song, variant, sequence);
    const uint32_t ms = sequence.ElapsedMilliseconds();
    const std::string in = l.newline(depth + 1);
    const std::string_view colon = l.colon();
    w.put('{');
    w.put(in);
    w.put("\"elapsedMilliseconds\"");
    w.put(colon);
    w.put(static_cast<long long>(ms));
    w.put(',');
    w.put(in);
    w.put("\"seconds\"");
    w.put(colon);
    w.put(static_cast<long long>((ms + 500u) / 1000u));  // as PlayTimeSeconds rounds
    w.put(',');
    w.put(in);
    w.put("\"full\"");
    w.put(colon);
    w.put(sequence.isFull() ? 1LL : 0LL);
    if (events) {
        w.put(',');
        w.put(in);
        w.put("\"events\"");
        w.put(colon);
        w.put('[');
        const std::string item = l.newline(depth + 2);
        const std::string_view c = l.comma();
        bool first = true;
        sequence.forEach([&](const SequenceEvent& e) {
            if (!first) w.put(',');
            first = false;
            w.put(item);
            w.put('[');
            w.put(static_cast<long long>(e.time));
            w.put(c);
            w.put(static_cast<long long>(e.kind()));
            w.put(c);
            w.put(static_cast<long long>(e.byteA));
            w.put(c);
            w.put(static_cast<long long>(e.byteB));
            w.put(c);
            w.put(static_cast<long long>(e.byteC));
            w.put(c);
            w.put(static_cast<long long>(e.device()));
            w.put(']');
        });
        if (!first) w.put(in);
        w.put(']');
    }
    w.put(l.newline(depth));
    w.put('}');
}

}  // namespace

bool DumpFile(const char* path, const Options& options, std::FILE* out) {
    SongFileInfo info;
    bool repaired = false;
    std::unique_ptr<Song> song = LoadSongWithRepair(path, info, &repaired);
    Json doc;
    doc["format"] = "scqdump/1";
    doc["file"] = FileNameText(path);
    doc["load"] = DumpLoad(info, repaired);
    doc["song"] = song ? DumpSong(*song) : Json(nullptr);
    std::string text = options.pretty ? doc.dump(2) : doc.dump();
    BlockWriter w(out);
    if (options.performance || options.events) {
        // Reopen the document after its last member and add the performance block by hand.
        const Layout l{options.pretty};
        text.resize(text.rfind('}'));
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
        w.put(text);
        w.put(',');
        w.put(l.newline(1));
        w.put("\"performance\"");
        w.put(std::string_view(l.colon()));
        if (!song) {
            w.put("null");
        } else {
            w.put('{');
            w.put(l.newline(2));
            w.put("\"scq\"");
            w.put(std::string_view(l.colon()));
            WriteVariant(w, *song, PlayTimeVariant::Scq, options.events, l, 2);
            w.put(',');
            w.put(l.newline(2));
            w.put("\"smf\"");
            w.put(std::string_view(l.colon()));
            WriteVariant(w, *song, PlayTimeVariant::Smf, options.events, l, 2);
            w.put(l.newline(1));
            w.put('}');
        }
        w.put(l.newline(0));
        w.put("}\n");
    } else {
        w.put(text);
        w.put('\n');
    }
    return song != nullptr;
}

}  // namespace scq::dump
