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
#include "song/Staff.h"

namespace scq::dump {

namespace {

const char* const kFontSlots[FontTable::kEntryCount] = {
    "Staff Italic", "Staff Bold", "Staff Lyric", "Page Title Text", "Page Text", "Page Small Text",
    "User 1",       "User 2",     "User 3",      "User 4",          "User 5",    "User 6"};

// clang-format off
const char* const kKindNames[kItemTypeCount] = {
    "ClefItem",          "KeySignatureItem",   "BarLineItem",          "EndingItem",
    "InstrumentItem",    "TimeSignatureItem",  "TempoItem",            "DynamicItem",
    "NoteItem",          "RestItem",           "ChordItem",            "PedalItem",
    "FlowDirectionItem", "ControllerItem",     "TempoVariationItem",   "DynamicVariationItem",
    "PerformanceStyleItem", "TextItem",        "RestChordItem"};
// clang-format on

// Output gathered in a fixed block and handed on one block at a time, to a stream or a string. A
// document runs to hundreds of megabytes for a large song, so it is never held whole, and
// formatting each number through the stdio format parser would cost several times the rendering
// that produced the events.
class BlockWriter {
public:
    explicit BlockWriter(std::FILE* out) : out_(out) {}
    explicit BlockWriter(std::string* text) : text_(text) {}
    ~BlockWriter() { flush(); }
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;

    void put(std::string_view text) {
        if (text.size() > kSize - used_) {
            flush();
            if (text.size() > kSize) {
                emit(text);
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
        emit(std::string_view(buffer_.data(), used_));
        used_ = 0;
    }

private:
    static constexpr size_t kSize = size_t{1} << 16;
    static constexpr size_t kNumberRoom = 24;  // any 64-bit integer in decimal

    void emit(std::string_view text) {
        if (text.empty()) return;
        if (out_) std::fwrite(text.data(), 1, text.size(), out_);
        if (text_) text_->append(text);
    }

    std::FILE* out_ = nullptr;
    std::string* text_ = nullptr;
    std::vector<char> buffer_ = std::vector<char>(kSize);
    size_t used_ = 0;
};

// Writes JSON text straight to a BlockWriter: compact, or indented by two spaces per level with
// ": " between key and value. An inline array keeps its elements on one line even when indented.
// Every member is a key() followed by exactly one value or container.
class Writer {
public:
    Writer(BlockWriter& out, bool pretty) : out_(out), pretty_(pretty) {}

    void beginObject() { open('{', false); }
    void endObject() { close('}'); }
    void beginArray(bool inlined = false) { open('[', inlined); }
    void endArray() { close(']'); }

    void key(std::string_view name) {  // names are plain ASCII
        separate();
        out_.put('"');
        out_.put(name);
        out_.put(pretty_ ? std::string_view("\": ") : std::string_view("\":"));
        afterKey_ = true;
    }
    void integer(long long value) {
        separate();
        out_.put(value);
    }
    void null() {
        separate();
        out_.put(std::string_view("null"));
    }
    // A UTF-8 text as a JSON string; the JSON library does the escaping.
    void string(std::string_view utf8) {
        separate();
        out_.put(Json(utf8).dump());
    }
    // A byte text of the song, decoded as windows-1252, up to its first 0 byte or `size` bytes.
    void text(const char* bytes, size_t size) { string(Windows1252ToUtf8(bytes, size)); }
    template <size_t N>
    void text(const char (&field)[N]) {
        text(field, N);
    }
    void text(std::string_view s) { text(s.data(), s.size()); }
    // A 32-bit float: a number that reads back as the same float (every float is exactly a
    // double, and the library writes a double so that it reads back as itself), or a string
    // for NaN and the infinities, which no JSON number can hold.
    void number(float f) {
        if (std::isnan(f)) return string("NaN");
        if (std::isinf(f)) return string(f > 0 ? "Infinity" : "-Infinity");
        separate();
        out_.put(Json(static_cast<double>(f)).dump());
    }
    // One event row: [time, kind, a, b, c, device], always on one line.
    void event(const SequenceEvent& e) {
        separate();
        const std::string_view comma = pretty_ ? ", " : ",";
        out_.put('[');
        out_.put(static_cast<long long>(e.time));
        out_.put(comma);
        out_.put(static_cast<long long>(e.kind()));
        out_.put(comma);
        out_.put(static_cast<long long>(e.byteA));
        out_.put(comma);
        out_.put(static_cast<long long>(e.byteB));
        out_.put(comma);
        out_.put(static_cast<long long>(e.byteC));
        out_.put(comma);
        out_.put(static_cast<long long>(e.device()));
        out_.put(']');
    }

    void field(std::string_view name, long long value) {
        key(name);
        integer(value);
    }

private:
    struct Level {
        bool empty;
        bool inlined;
    };

    // What goes before a key, or before a value that is not a member's: the comma after the
    // previous element and, when indenting, the line break.
    void separate() {
        if (afterKey_) {
            afterKey_ = false;
            return;
        }
        if (levels_.empty()) return;
        Level& level = levels_.back();
        if (!level.empty) out_.put(',');
        if (pretty_) {
            if (level.inlined) {
                if (!level.empty) out_.put(' ');
            } else {
                lineBreak(levels_.size());
            }
        }
        level.empty = false;
    }
    void open(char bracket, bool inlined) {
        separate();
        out_.put(bracket);
        const bool inInline = !levels_.empty() && levels_.back().inlined;
        levels_.push_back({true, inlined || inInline});
    }
    void close(char bracket) {
        const Level level = levels_.back();
        levels_.pop_back();
        if (pretty_ && !level.empty && !level.inlined) lineBreak(levels_.size());
        out_.put(bracket);
    }
    void lineBreak(size_t depth) {
        static constexpr std::string_view kSpaces = "                                ";
        out_.put('\n');
        for (size_t n = depth * 2; n > 0;) {
            const size_t step = n < kSpaces.size() ? n : kSpaces.size();
            out_.put(kSpaces.substr(0, step));
            n -= step;
        }
    }

    BlockWriter& out_;
    bool pretty_;
    bool afterKey_ = false;
    std::vector<Level> levels_;
};

void WritePositioned(Writer& w, const PositionedItem& p) {
    w.field("position", p.position);
    w.field("reservesWidth", p.reservesWidth);
    w.field("justification", p.justification);
    w.field("placement", p.placement);
}

void WriteDuration(Writer& w, const DurationItem& d) {
    w.field("attributes", d.attributes);
    w.field("accidentalSpacing", d.accidentalSpacing);
    w.field("noteSpacing", d.noteSpacing);
    w.field("baseDuration", d.baseDuration);
    w.field("beamPosition", d.beamPosition);
    w.field("tripletPosition", d.tripletPosition);
    w.field("stemDirection", d.stemDirection);
    w.field("slurDirection", d.slurDirection);
    w.field("lyricSetting", d.lyricSetting);
    w.field("durationTicks", d.durationTicks());
}

void WriteNoteFields(Writer& w, const NoteItem& n) {
    w.field("staffPosition", n.staffPosition);
    w.field("accidental", n.accidental);
    w.field("tieDirection", n.tieDirection);
    w.field("muted", n.muted);
    w.field("noLedgerLines", n.noLedgerLines);
    w.field("hiddenStem", n.hiddenStem);
}

void WriteRestFields(Writer& w, const RestItem& r) {
    w.field("verticalOffset", r.verticalOffset);
    w.field("measuredLength", r.measuredLength);
    w.field("isMeasured", r.isMeasured);
}

void WriteItem(Writer& w, const NotationItem& item) {
    const int type = item.typeCode();
    w.beginObject();
    w.field("type", type);
    w.key("kind");
    w.string(type >= 0 && type < kItemTypeCount ? kKindNames[type] : "");
    w.field("visibility", item.visibility);
    w.field("colour", item.colour);
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

void WriteError(Writer& w, const SongFileInfo& info) {
    if (!IsFailure(info)) return w.null();
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
    w.string(Outcome(info, repaired));
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

// A part of a document as a JSON value: the same text the document holds, read back.
template <class WritePart>
Json ToJson(WritePart&& write) {
    std::string text;
    {
        BlockWriter out(&text);
        Writer w(out, false);
        write(w);
    }
    return Json::parse(text);
}

}  // namespace

Json FloatValue(float f) {
    return ToJson([f](Writer& w) { w.number(f); });
}

Json DumpItem(const NotationItem& item) {
    return ToJson([&item](Writer& w) { WriteItem(w, item); });
}

Json DumpStaff(const Staff& staff) {
    return ToJson([&staff](Writer& w) { WriteStaff(w, staff); });
}

Json DumpSong(const Song& song) {
    return ToJson([&song](Writer& w) { WriteSong(w, song); });
}

Json DumpLoad(const SongFileInfo& info, bool repaired) {
    return ToJson([&info, repaired](Writer& w) { WriteLoad(w, info, repaired); });
}

const char* Outcome(const SongFileInfo& info, bool repaired) {
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

bool IsFailure(const SongFileInfo& info) {
    return info.status != kLoadEmpty && (info.error.set() || (info.status != kLoadNewest &&
                                                              info.status != kLoadOlder));
}

namespace {

struct LoadedFile {
    SongFileInfo info;
    bool repaired = false;
    std::unique_ptr<Song> song;
};

// Loads as scqinfo does, with the repair in memory; the notice goes into `err`.
void LoadForDump(const char* path, const Options& options, LoadedFile& file, std::string& err) {
    LoadOptions load;
    load.maxItems = options.maxItems;
    file.song =
        LoadSongWithRepair(path, file.info, &file.repaired, load, RepairCopy::kMemory, &err);
}

void AddFailureLine(const char* path, const SongFileInfo& info, std::string& err) {
    if (!IsFailure(info)) return;
    err += "scqdump: ";
    err += path;
    err += ": ";
    err += info.error.set() ? info.error.reason : "failed";
    err += '\n';
}

void WriteDocument(BlockWriter& block, const char* path, const Options& options,
                   LoadedFile& file) {
    const SongFileInfo& info = file.info;
    const bool repaired = file.repaired;
    std::unique_ptr<Song>& song = file.song;
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
    block.put('\n');
}

// The SCQ version as scqinfo prints it: truncating division, the remainder taking the sign.
std::string VersionText(int32_t version) {
    return std::to_string(version / 256) + "." + std::to_string(version % 256);
}

// One value of a summary record: a number, a text, or nothing.
struct Value {
    enum Kind { kNull, kNumber, kText } kind = kNull;
    long long number = 0;
    std::string text;  // UTF-8
};

struct Summary {
    std::vector<std::pair<const char*, Value>> fields;
    void add(const char* name, Value v) { fields.emplace_back(name, std::move(v)); }
};

Value Number(long long n) {
    return {Value::kNumber, n, {}};
}
Value Text(std::string t) {
    return {Value::kText, 0, std::move(t)};
}
template <size_t N>
Value SongText(const char (&field)[N]) {
    return Text(Windows1252ToUtf8(field, N));
}

Summary Summarise(const char* path, LoadedFile& file) {
    const SongFileInfo& info = file.info;
    Song* song = file.song.get();
    Summary s;
    s.add("file", Text(FileNameText(path)));
    s.add("outcome", Text(Outcome(info, file.repaired)));
    s.add("status", Number(info.status));
    s.add("repaired", Number(file.repaired ? 1 : 0));
    const bool header = song != nullptr || info.status == kLoadNewerRevision;
    s.add("formatRevision", header ? Number(info.formatRevision) : Value{});
    s.add("productVersion", header ? Text(VersionText(info.productVersion)) : Value{});
    s.add("title", song ? SongText(song->title) : Value{});
    s.add("author", song ? SongText(song->author) : Value{});
    s.add("copyright1", song ? SongText(song->copyright1) : Value{});
    s.add("copyright2", song ? SongText(song->copyright2) : Value{});
    s.add("staffCount", song ? Number(song->staffCount()) : Value{});
    long long items = 0;
    for (int i = 0; song && i < song->staffCount(); ++i) items += song->staffAt(i)->itemCount();
    s.add("itemCount", song ? Number(items) : Value{});
    Value ms[2];
    Value seconds[2];
    if (song) {
        // As scqinfo computes them: at most one rendering per variant, rounded as it rounds.
        const PlayTimes times = BothPlayTimes(*song);
        const uint32_t elapsed[2] = {times.scqMilliseconds, times.smfMilliseconds};
        for (int v = 0; v < 2; ++v) {
            ms[v] = Number(elapsed[v]);
            seconds[v] = Number(WholeSeconds(elapsed[v]));
        }
    }
    s.add("scqSeconds", seconds[0]);
    s.add("smfSeconds", seconds[1]);
    s.add("scqMilliseconds", ms[0]);
    s.add("smfMilliseconds", ms[1]);
    const bool failed = IsFailure(info);
    s.add("errorReason", failed ? Text(info.error.reason) : Value{});
    s.add("errorOffset",
          failed && info.error.offset >= 0 ? Number(info.error.offset) : Value{});
    const size_t nameSize = std::strlen(path);
    s.add("fileBytes", IsValidUtf8(path, nameSize)
                           ? Value{}
                           : Text(HexBytes(reinterpret_cast<const uint8_t*>(path), nameSize)));
    return s;
}

void WriteSummaryJson(BlockWriter& block, const Summary& summary, bool pretty) {
    Writer w(block, pretty);
    w.beginObject();
    for (const auto& [name, value] : summary.fields) {
        // The name's bytes come only where they differ from "file".
        if (value.kind == Value::kNull && std::strcmp(name, "fileBytes") == 0) continue;
        w.key(name);
        if (value.kind == Value::kNumber) {
            w.integer(value.number);
        } else if (value.kind == Value::kText) {
            w.string(value.text);
        } else {
            w.null();
        }
    }
    w.endObject();
    block.put('\n');
}

// RFC 4180: a field holding a comma, a quote, a tab or a line break goes in quotes, its quotes
// doubled; rows end with CR LF.
void PutCsvField(BlockWriter& block, std::string_view text) {
    if (text.find_first_of(",\"\t\r\n") == std::string_view::npos) return block.put(text);
    block.put('"');
    for (char c : text) {
        if (c == '"') block.put('"');
        block.put(c);
    }
    block.put('"');
}

void WriteSummaryCsv(BlockWriter& block, const Summary& summary) {
    bool first = true;
    for (const auto& field : summary.fields) {
        if (!first) block.put(',');
        first = false;
        const Value& value = field.second;
        if (value.kind == Value::kNumber) {
            block.put(value.number);
        } else if (value.kind == Value::kText) {
            PutCsvField(block, value.text);
        }
    }
    block.put(std::string_view("\r\n"));
}

bool DumpInto(BlockWriter& block, const char* path, const Options& options, std::string& err) {
    LoadedFile file;
    LoadForDump(path, options, file, err);
    if (options.summary) {
        const Summary summary = Summarise(path, file);
        if (options.csv) {
            WriteSummaryCsv(block, summary);
        } else {
            WriteSummaryJson(block, summary, options.pretty);
        }
    } else {
        WriteDocument(block, path, options, file);
    }
    AddFailureLine(path, file.info, err);
    return file.song != nullptr;
}

}  // namespace

std::string SummaryCsvHeader() {
    LoadedFile none;
    const Summary summary = Summarise("", none);
    std::string text;
    for (const auto& field : summary.fields) {
        if (!text.empty()) text += ',';
        text += field.first;
    }
    return text + "\r\n";
}

bool DumpFile(const char* path, const Options& options, std::FILE* out, std::FILE* err) {
    std::string errText;
    bool song = false;
    {
        // The output buffer is taken before the load, which may leave little memory behind.
        BlockWriter block(out);
        song = DumpInto(block, path, options, errText);
    }
    // The document comes first, then what its file has to say on standard error.
    if (!errText.empty()) {
        std::fflush(out);
        std::fputs(errText.c_str(), err);
        std::fflush(err);
    }
    return song;
}

FileOutput DumpToText(const char* path, const Options& options) {
    FileOutput result;
    {
        BlockWriter block(&result.out);
        result.song = DumpInto(block, path, options, result.err);
    }
    return result;
}

}  // namespace scq::dump
