#include "export/SongDocument.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <nlohmann/json.hpp>

#include "items/BarsAndFlow.h"
#include "items/DurationItems.h"
#include "items/PerformanceMarks.h"
#include "items/Signatures.h"
#include "items/TextAndPedal.h"
#include "perform/EventSequence.h"
#include "perform/PlayTime.h"
#include "song/Song.h"
#include "song/Staff.h"

namespace scq {

const char* LoadOutcome(const SongFileInfo& info, bool repaired) {
    switch (info.status) {
        case kLoadEmpty:
            return "empty";
        case kLoadNewest:
        case kLoadOlder:
            if (info.error.set()) return "damaged";  // the data ended early
            return repaired ? "repaired" : "ok";
        case kLoadNotSong:
            switch (info.fileProblem) {
                case kFileMissing:
                    return "not-found";
                case kFileNotRegular:
                    return "not-a-file";
                case kFileUnreadable:
                    return "unreadable";
                default:
                    return "not-a-song";
            }
        case kLoadNewerRevision:
            return "too-new";
        case kLoadBadLeadingWord:
        case kLoadUnknownProduct:
            return "rejected-header";
        case kLoadOutOfMemory:
            return "out-of-memory";
        default:
            return "damaged";
    }
}

bool IsLoadFailure(const SongFileInfo& info) {
    return info.status != kLoadEmpty && (info.error.set() || (info.status != kLoadNewest &&
                                                              info.status != kLoadOlder));
}

namespace json {

// Escaped as the JSON library escapes when it writes: the quote, the backslash and the control
// characters below U+0020 (\b \f \n \r \t, others as \u00xx); everything else as it is.
void Writer::string(std::string_view utf8) {
    static constexpr char kHex[] = "0123456789abcdef";
    const auto plainChar = [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 && c != '"' && c != '\\';
    };
    if (utf8.size() <= kMaxKey && std::all_of(utf8.begin(), utf8.end(), plainChar)) {
        return plainString(utf8);  // names and short texts, most of a document's strings
    }
    separate();
    out_.put('"');
    size_t plain = 0;  // the start of the run not yet written
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        out_.put(utf8.substr(plain, i - plain));
        plain = i + 1;
        switch (c) {
            case '"': out_.put(std::string_view("\\\"")); break;
            case '\\': out_.put(std::string_view("\\\\")); break;
            case '\b': out_.put(std::string_view("\\b")); break;
            case '\f': out_.put(std::string_view("\\f")); break;
            case '\n': out_.put(std::string_view("\\n")); break;
            case '\r': out_.put(std::string_view("\\r")); break;
            case '\t': out_.put(std::string_view("\\t")); break;
            default: {
                const char escape[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
                out_.put(std::string_view(escape, sizeof escape));
            }
        }
    }
    out_.put(utf8.substr(plain));
    out_.put('"');
}

void Writer::text(const char* bytes, size_t size) {
    // ASCII is the same in windows-1252 and UTF-8: most texts need no decoding.
    size_t n = 0;
    bool ascii = true;
    for (; n < size && bytes[n] != 0; ++n) ascii = ascii && static_cast<unsigned char>(bytes[n]) < 0x80;
    if (ascii) return string(std::string_view(bytes, n));
    string(Windows1252ToUtf8(bytes, size));
}

// Every float is exactly a double, and the library writes a double so that it reads back as
// itself.
void Writer::number(float f) {
    if (std::isnan(f)) return string("NaN");
    if (std::isinf(f)) return string(f > 0 ? "Infinity" : "-Infinity");
    separate();
    out_.put(nlohmann::ordered_json(static_cast<double>(f)).dump());
}

namespace {

const char* const kFontSlots[FontTable::kEntryCount] = {
    "Staff Italic", "Staff Bold", "Staff Lyric", "Page Title Text", "Page Text", "Page Small Text",
    "User 1",       "User 2",     "User 3",      "User 4",          "User 5",    "User 6"};

// clang-format off
constexpr std::string_view kKindNames[kItemTypeCount] = {
    "ClefItem",          "KeySignatureItem",   "BarLineItem",          "EndingItem",
    "InstrumentItem",    "TimeSignatureItem",  "TempoItem",            "DynamicItem",
    "NoteItem",          "RestItem",           "ChordItem",            "PedalItem",
    "FlowDirectionItem", "ControllerItem",     "TempoVariationItem",   "DynamicVariationItem",
    "PerformanceStyleItem", "TextItem",        "RestChordItem"};
// clang-format on

std::string_view KindName(int type) {
    return type >= 0 && type < kItemTypeCount ? kKindNames[type] : std::string_view("");
}

void WritePositioned(Writer& w, const PositionedItem& p) {
    w.fields("position", p.position, "reservesWidth", p.reservesWidth,  //
             "justification", p.justification, "placement", p.placement);
}

void WriteDuration(Writer& w, const DurationItem& d) {
    w.fields("attributes", d.attributes,                //
             "accidentalSpacing", d.accidentalSpacing,  //
             "noteSpacing", d.noteSpacing,              //
             "baseDuration", d.baseDuration,            //
             "beamPosition", d.beamPosition,            //
             "tripletPosition", d.tripletPosition,      //
             "stemDirection", d.stemDirection,          //
             "slurDirection", d.slurDirection,          //
             "lyricSetting", d.lyricSetting,            //
             "durationTicks", d.durationTicks());
}

void WriteNoteFields(Writer& w, const NoteItem& n) {
    w.fields("staffPosition", n.staffPosition,  //
             "accidental", n.accidental,        //
             "tieDirection", n.tieDirection,    //
             "muted", n.muted,                  //
             "noLedgerLines", n.noLedgerLines,  //
             "hiddenStem", n.hiddenStem);
}

void WriteRestFields(Writer& w, const RestItem& r) {
    w.fields("verticalOffset", r.verticalOffset, "measuredLength", r.measuredLength,  //
             "isMeasured", r.isMeasured);
}

void WriteError(Writer& w, const SongFileInfo& info) {
    if (!IsLoadFailure(info)) return w.null();
    w.beginObject();
    w.key("reason");
    w.string(info.error.reason);
    w.key("offset");
    if (info.error.offset >= 0) {
        w.integer(info.error.offset);
    } else {
        w.null();
    }
    w.endObject();
}

// Writes a rendering's figures and, when asked, its events, straight from the sequence: a
// performance of a million events streams out in one pass.
void WriteVariant(Writer& w, const EventSequence& sequence, bool events) {
    const uint32_t ms = sequence.ElapsedMilliseconds();
    w.beginObject();
    w.field("elapsedMilliseconds", ms);
    w.field("seconds", WholeSeconds(ms));
    w.field("full", sequence.isFull() ? 1 : 0);
    w.field("budgetReached", sequence.workBudgetSpent() ? 1 : 0);
    if (events) {
        w.key("events");
        w.beginArray();
        sequence.forEach([&w](const SequenceEvent& e) { w.event(e); });
        w.endArray();
    }
    w.endObject();
}

}  // namespace

const char* ItemKindName(int type) {
    return KindName(type).data();
}

void WriteItem(Writer& w, const NotationItem& item) {
    const int type = item.typeCode();
    w.beginObject();
    w.field("type", type);
    w.key("kind");
    w.plainString(KindName(type));
    w.fields("visibility", item.visibility, "colour", item.colour);
    if (item.isPositioned()) WritePositioned(w, static_cast<const PositionedItem&>(item));
    switch (type) {
        case kClefItem: {
            const auto& c = static_cast<const ClefItem&>(item);
            w.field("clefType", c.clefType);
            w.field("octaveShift", c.octaveShift);
            break;
        }
        case kKeySignatureItem: {
            const auto& k = static_cast<const KeySignatureItem&>(item);
            w.field("flats", k.flats);
            w.field("sharps", k.sharps);
            w.field("clefHint", k.clefHint);
            w.field("cancelledFlats", k.cancelledFlats);
            w.field("cancelledSharps", k.cancelledSharps);
            break;
        }
        case kBarLineItem: {
            const auto& b = static_cast<const BarLineItem&>(item);
            w.field("barStyle", b.barStyle);
            w.field("systemBreak", b.systemBreak);
            w.field("incompleteBar", b.incompleteBar);
            w.field("repeatCount", b.repeatCount);
            break;
        }
        case kEndingItem:
            w.field("endings", static_cast<const EndingItem&>(item).endings);
            break;
        case kInstrumentItem: {
            const auto& in = static_cast<const InstrumentItem&>(item).instrument;
            w.field("bankSelect", in.bankSelect);
            w.field("bank", in.bank);
            w.field("patch", in.patch);
            break;
        }
        case kTimeSignatureItem: {
            const auto& t = static_cast<const TimeSignatureItem&>(item);
            w.field("beatsPerBar", t.beatsPerBar);
            w.field("beatValueCode", t.beatValueCode);
            w.field("signatureStyle", t.signatureStyle);
            break;
        }
        case kTempoItem: {
            const auto& t = static_cast<const TempoItem&>(item);
            w.field("tempo", t.tempo);
            w.field("tempoBase", t.tempoBase);
            w.key("tempoText");
            w.text(t.tempoText);
            break;
        }
        case kDynamicItem: {
            const auto& d = static_cast<const DynamicItem&>(item);
            w.field("dynamic", d.dynamic);
            w.field("velocityGiven", d.velocityGiven);
            w.field("volumeGiven", d.volumeGiven);
            w.field("velocity", d.velocity);
            w.field("volume", d.volume);
            break;
        }
        case kNoteItem: {
            const auto& n = static_cast<const NoteItem&>(item);
            WriteDuration(w, n);
            WriteNoteFields(w, n);
            break;
        }
        case kRestItem: {
            const auto& r = static_cast<const RestItem&>(item);
            WriteDuration(w, r);
            WriteRestFields(w, r);
            break;
        }
        case kChordItem: {
            const auto& c = static_cast<const ChordItem&>(item);
            WriteDuration(w, c);
            WriteNoteFields(w, c);
            w.key("members");
            w.beginArray();
            for (const auto& m : c.members) {
                if (m) WriteItem(w, *m);
            }
            w.endArray();
            break;
        }
        case kPedalItem:
            w.field("pedalDown", static_cast<const PedalItem&>(item).pedalDown);
            break;
        case kFlowDirectionItem:
            w.field("flowKind", static_cast<const FlowDirectionItem&>(item).flowKind);
            break;
        case kControllerItem: {
            const auto& c = static_cast<const ControllerItem&>(item);
            w.field("controller", c.controller);
            w.field("sweepStyle", c.sweepStyle);
            w.field("timeUnit", c.timeUnit);
            w.field("sweepStep", c.sweepStep);
            w.key("points");
            w.beginArray();
            for (const auto& p : c.points) {
                w.beginObject();
                w.field("active", p.active);
                w.field("offset", p.offset);
                w.field("value", p.value);
                w.endObject();
            }
            w.endArray();
            break;
        }
        case kTempoVariationItem: {
            const auto& t = static_cast<const TempoVariationItem&>(item);
            w.field("variationKind", t.variationKind);
            w.field("pauseLength", t.pauseLength);
            w.field("startTempo", t.startTempo);
            w.field("endTempo", t.endTempo);
            w.field("rampTicks", t.rampTicks);
            break;
        }
        case kDynamicVariationItem: {
            const auto& d = static_cast<const DynamicVariationItem&>(item);
            w.field("variationKind", d.variationKind);
            w.field("targetVelocity", d.targetVelocity);
            w.field("startVolume", d.startVolume);
            w.field("endVolume", d.endVolume);
            w.field("rampTicks", d.rampTicks);
            break;
        }
        case kPerformanceStyleItem:
            w.field("performanceStyle",
                    static_cast<const PerformanceStyleItem&>(item).performanceStyle);
            break;
        case kTextItem: {
            const auto& t = static_cast<const TextItem&>(item);
            w.field("textFont", t.textFont);
            w.key("text");
            w.text(t.text);
            break;
        }
        case kRestChordItem: {
            const auto& r = static_cast<const RestChordItem&>(item);
            WriteDuration(w, r);
            WriteRestFields(w, r);
            w.key("attachedChord");
            if (r.attachedChord) {
                WriteItem(w, *r.attachedChord);
            } else {
                w.null();
            }
            break;
        }
        default:
            break;
    }
    w.endObject();
}

void WriteStaff(Writer& w, const Staff& staff) {
    w.beginObject();
    w.key("staffName");
    w.text(staff.staffName);
    w.key("groupName");
    w.text(staff.groupName);
    w.field("endingBar", staff.endingBar);
    w.field("muted", staff.muted);
    w.field("channel", staff.channel);
    w.field("device", staff.device);
    w.key("instrument");
    w.beginObject();
    w.field("bankSelect", staff.instrument.bankSelect);
    w.field("bank", staff.instrument.bank);
    w.field("patch", staff.instrument.patch);
    w.endObject();
    w.field("staffStyle", staff.staffStyle);
    w.field("upperBoundary", staff.upperBoundary);
    w.field("lowerBoundary", staff.lowerBoundary);
    w.field("lineCount", staff.lineCount);
    w.field("layerWithNext", staff.layerWithNext);
    w.field("transposition", staff.transposition);
    w.field("volume", staff.volume);
    w.field("stereoPan", staff.stereoPan);
    w.field("staffOptionByte", staff.staffOptionByte);
    w.field("needsAudit", staff.needsAudit);
    w.key("lyrics");
    if (staff.lyrics) {
        const LyricsBlock& l = *staff.lyrics;
        w.beginObject();
        w.field("lyricPlacement", l.lyricPlacement);
        w.field("lyricAlignment", l.lyricAlignment);
        w.field("lyricWord", l.lyricWord);
        w.key("lines");
        w.beginArray();
        for (const auto& line : l.lines) {
            w.beginObject();
            w.field("usedLength", line->usedLength);
            w.key("bytes");
            w.string(HexBytes(line->bytes.data(), line->bytes.size()));
            w.endObject();
        }
        w.endArray();
        w.endObject();
    } else {
        w.null();
    }
    w.key("items");
    w.beginArray();
    for (int i = 0; i < staff.itemCount(); ++i) WriteItem(w, *staff.itemAt(i));
    w.endArray();
    w.endObject();
}

void WriteSong(Writer& w, const Song& song) {
    w.beginObject();
    w.key("title");
    w.text(song.title);
    w.key("author");
    w.text(song.author);
    w.key("copyright1");
    w.text(song.copyright1);
    w.key("copyright2");
    w.text(song.copyright2);
    w.key("comments");
    w.text(song.comments);
    w.field("barNumberStyle", song.barNumberStyle);
    w.field("firstBarNumber", song.firstBarNumber);
    w.key("pageMargins");
    w.beginArray(true);
    for (float m : song.pageMargins) w.number(m);
    w.endArray();
    w.field("pageOptionByte1", song.pageOptionByte1);
    w.field("pageOptionWord1", song.pageOptionWord1);
    w.field("pageOptionWord2", song.pageOptionWord2);
    w.field("pageOptionByte2", song.pageOptionByte2);
    w.key("staffSelection");
    w.beginArray(true);
    for (int i = 0; i < StaffSelection::kBits; ++i) {
        if (song.staffSelection.test(i)) w.integer(i);
    }
    w.endArray();
    w.field("songFlags", song.songFlags);
    w.key("fonts");
    w.beginObject();
    w.field("baseSize", song.fonts->baseSize);
    w.key("entries");
    w.beginArray();
    for (int i = 0; i < FontTable::kEntryCount; ++i) {
        const FontEntry& e = song.fonts->entries[static_cast<size_t>(i)];
        w.beginObject();
        w.key("slot");
        w.string(kFontSlots[i]);
        w.key("name");
        w.text(e.name);
        w.field("size", e.size);
        w.field("style", e.style);
        w.field("charset", e.charset);
        w.endObject();
    }
    w.endArray();
    w.endObject();
    w.key("staffs");
    w.beginArray();
    for (int i = 0; i < song.staffCount(); ++i) WriteStaff(w, *song.staffAt(i));
    w.endArray();
    w.endObject();
}

void WriteLoad(Writer& w, const SongFileInfo& info, bool repaired) {
    w.beginObject();
    w.field("status", info.status);
    w.field("repaired", repaired ? 1 : 0);
    w.key("productName");
    w.text(info.productName);
    w.field("formatRevision", info.formatRevision);
    w.field("productVersion", info.productVersion);
    w.field("secondHeaderWord", info.secondHeaderWord);
    w.key("outcome");
    w.string(LoadOutcome(info, repaired));
    w.key("error");
    WriteError(w, info);
    w.endObject();
}

// "file", and "fileBytes" (the name's bytes in lowercase hexadecimal) when the name is not
// valid UTF-8 and "file" therefore had to decode it.
void WriteFileName(Writer& w, const char* path) {
    w.key("file");
    w.string(FileNameText(path));
    const size_t size = std::strlen(path);
    if (!IsValidUtf8(path, size)) {
        w.key("fileBytes");
        w.string(HexBytes(reinterpret_cast<const uint8_t*>(path), size));
    }
}

// Both variants; the SMF one is rendered anew only where it can differ.
void WritePerformance(Writer& w, Song& song, bool events) {
    EventSequence sequence(16);
    RenderForPlayTime(song, PlayTimeVariant::Scq, sequence);
    w.beginObject();
    w.key("scq");
    WriteVariant(w, sequence, events);
    if (!SameRendering(sequence, PlayTimeKindFilter(PlayTimeVariant::Smf))) {
        RenderForPlayTime(song, PlayTimeVariant::Smf, sequence);
    }
    w.key("smf");
    WriteVariant(w, sequence, events);
    w.endObject();
}

void WriteDocument(BlockWriter& block, const char* path, const SongFileInfo& info, bool repaired,
                   Song* song, const DocumentOptions& options) {
    Writer w(block, options.pretty);
    w.beginObject();
    w.key("format");
    w.string("scqdump/1");
    WriteFileName(w, path);
    w.key("load");
    WriteLoad(w, info, repaired);
    // The song as the loader and its audit left it, before any play time is computed.
    w.key("song");
    if (song) {
        WriteSong(w, *song);
    } else {
        w.null();
    }
    if (options.performance || options.events) {
        w.key("performance");
        if (song) {
            WritePerformance(w, *song, options.events);
        } else {
            w.null();
        }
    }
    w.endObject();
}

}  // namespace json
}  // namespace scq
