// scqdump: every field of a document against the loaded model, the text and number encodings,
// the event lists against a rendering of the same file, and the program's command line.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "JsonLines.h"
#include "Dump.h"
#include "export/Text.h"
#include "cli/PlayTimeFormat.h"
#include "load/Repair.h"
#include "cli/Subprocess.h"
#include "items/BarsAndFlow.h"
#include "items/DurationItems.h"
#include "items/PerformanceMarks.h"
#include "items/Signatures.h"
#include "items/TextAndPedal.h"
#include "perform/EventSequence.h"
#include "perform/PlayTime.h"
#include "song/Song.h"
#include "song/SongFile.h"
#include "support/SongBuilder.h"

namespace scq::test {
namespace {

using Json = nlohmann::ordered_json;  // keeps the members in document order

// ---------------------------------------------------------------------------------------------
// Independent oracles: windows-1252 as the WHATWG index gives it, UTF-8 decoding, hex.

constexpr char32_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The characters of a byte text up to its first 0 byte or `size` bytes.
std::u32string FromWindows1252(const char* bytes, size_t size) {
    std::u32string out;
    for (size_t i = 0; i < size && bytes[i] != 0; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out.push_back(b >= 0x80 && b < 0xA0 ? kWindows1252High[b - 0x80] : char32_t{b});
    }
    return out;
}

// Decodes UTF-8; a malformed sequence gives U+FFFD per byte, which no expected text contains.
std::u32string DecodeUtf8(const std::string& s) {
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size()) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        char32_t c = n == 1 ? b : b & (0x7F >> n);
        for (size_t k = 1; k < n; ++k) c = c << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out.push_back(c);
        i += n;
    }
    return out;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string out;
    char two[3];
    for (uint8_t b : bytes) {
        std::snprintf(two, sizeof two, "%02x", b);
        out += two;
    }
    return out;
}

uint32_t Bits(float f) {
    return std::bit_cast<uint32_t>(f);
}

// ---------------------------------------------------------------------------------------------
// The comparer: walks a JSON object member by member, in document order, against model values.
// Every member must be asked for, in the order of the format; `done` reports extra members.

class Walk {
public:
    Walk(const Json& object, std::string where) : object_(object), where_(std::move(where)) {
        EXPECT_TRUE(object_.is_object()) << where_ << " is not an object";
        if (object_.is_object()) it_ = object_.cbegin();
    }
    ~Walk() { done(); }
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

    // The next member, which must be named `key`; null JSON when it is missing.
    const Json& next(const char* key) {
        static const Json missing;
        if (!object_.is_object() || it_ == object_.cend()) {
            ADD_FAILURE() << at(key) << " is missing";
            return missing;
        }
        const auto member = it_;
        ++it_;
        if (member.key() != key) {
            ADD_FAILURE() << at(key) << " expected, found \"" << member.key() << "\"";
        }
        return member.value();
    }
    std::string at(const char* key) const { return where_ + "." + key; }

    void integer(const char* key, long long expected) {
        const Json& v = next(key);
        ASSERT_TRUE(v.is_number_integer()) << at(key) << " = " << v.dump();
        EXPECT_EQ(v.get<long long>(), expected) << at(key);
    }
    template <size_t N>
    void text(const char* key, const char (&field)[N]) {
        text(key, field, N);
    }
    void text(const char* key, std::string_view field) { text(key, field.data(), field.size()); }
    void text(const char* key, const char* bytes, size_t size) {
        const Json& v = next(key);
        ASSERT_TRUE(v.is_string()) << at(key);
        EXPECT_EQ(DecodeUtf8(v.get<std::string>()), FromWindows1252(bytes, size)) << at(key);
    }
    void done() {
        if (!done_ && object_.is_object() && it_ != object_.cend()) {
            ADD_FAILURE() << where_ << " has an unexpected member \"" << it_.key() << "\"";
        }
        done_ = true;
    }

private:
    const Json& object_;
    std::string where_;
    Json::const_iterator it_{};
    bool done_ = false;
};

void CheckFloat(float expected, const Json& v, const std::string& where) {
    if (std::isnan(expected)) {
        EXPECT_EQ(v, "NaN") << where;
    } else if (std::isinf(expected)) {
        EXPECT_EQ(v, expected > 0 ? "Infinity" : "-Infinity") << where;
    } else {
        ASSERT_TRUE(v.is_number()) << where << " = " << v.dump();
        // Read back as a 32-bit float both from the parsed number and from its text.
        EXPECT_EQ(Bits(static_cast<float>(v.get<double>())), Bits(expected)) << where;
        EXPECT_EQ(Bits(std::strtof(v.dump().c_str(), nullptr)), Bits(expected))
            << where << " = " << v.dump();
    }
}

void CheckItem(const NotationItem& item, const Json& j, const std::string& where);

void CheckDuration(Walk& w, const DurationItem& d) {
    w.integer("attributes", d.attributes);
    w.integer("accidentalSpacing", d.accidentalSpacing);
    w.integer("noteSpacing", d.noteSpacing);
    w.integer("baseDuration", d.baseDuration);
    w.integer("beamPosition", d.beamPosition);
    w.integer("tripletPosition", d.tripletPosition);
    w.integer("stemDirection", d.stemDirection);
    w.integer("slurDirection", d.slurDirection);
    w.integer("lyricSetting", d.lyricSetting);
    w.integer("durationTicks", d.durationTicks());
}

void CheckNote(Walk& w, const NoteItem& n) {
    w.integer("staffPosition", n.staffPosition);
    w.integer("accidental", n.accidental);
    w.integer("tieDirection", n.tieDirection);
    w.integer("muted", n.muted);
    w.integer("noLedgerLines", n.noLedgerLines);
    w.integer("hiddenStem", n.hiddenStem);
}

void CheckRest(Walk& w, const RestItem& r) {
    w.integer("verticalOffset", r.verticalOffset);
    w.integer("measuredLength", r.measuredLength);
    w.integer("isMeasured", r.isMeasured);
}

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

void CheckItem(const NotationItem& item, const Json& j, const std::string& where) {
    Walk w(j, where);
    const int type = item.typeCode();
    ASSERT_TRUE(type >= 0 && type < kItemTypeCount);
    w.integer("type", type);
    EXPECT_EQ(w.next("kind"), kKindNames[type]) << where;
    w.integer("visibility", item.visibility);
    w.integer("colour", item.colour);
    if (item.isPositioned()) {
        const auto& p = static_cast<const PositionedItem&>(item);
        w.integer("position", p.position);
        w.integer("reservesWidth", p.reservesWidth);
        w.integer("justification", p.justification);
        w.integer("placement", p.placement);
    }
    switch (type) {
        case kClefItem: {
            const auto& c = static_cast<const ClefItem&>(item);
            w.integer("clefType", c.clefType);
            w.integer("octaveShift", c.octaveShift);
            break;
        }
        case kKeySignatureItem: {
            const auto& k = static_cast<const KeySignatureItem&>(item);
            w.integer("flats", k.flats);
            w.integer("sharps", k.sharps);
            w.integer("clefHint", k.clefHint);
            w.integer("cancelledFlats", k.cancelledFlats);
            w.integer("cancelledSharps", k.cancelledSharps);
            break;
        }
        case kBarLineItem: {
            const auto& b = static_cast<const BarLineItem&>(item);
            w.integer("barStyle", b.barStyle);
            w.integer("systemBreak", b.systemBreak);
            w.integer("incompleteBar", b.incompleteBar);
            w.integer("repeatCount", b.repeatCount);
            break;
        }
        case kEndingItem:
            w.integer("endings", static_cast<const EndingItem&>(item).endings);
            break;
        case kInstrumentItem: {
            const auto& in = static_cast<const InstrumentItem&>(item).instrument;
            w.integer("bankSelect", in.bankSelect);
            w.integer("bank", in.bank);
            w.integer("patch", in.patch);
            break;
        }
        case kTimeSignatureItem: {
            const auto& t = static_cast<const TimeSignatureItem&>(item);
            w.integer("beatsPerBar", t.beatsPerBar);
            w.integer("beatValueCode", t.beatValueCode);
            w.integer("signatureStyle", t.signatureStyle);
            break;
        }
        case kTempoItem: {
            const auto& t = static_cast<const TempoItem&>(item);
            w.integer("tempo", t.tempo);
            w.integer("tempoBase", t.tempoBase);
            w.text("tempoText", t.tempoText);
            break;
        }
        case kDynamicItem: {
            const auto& d = static_cast<const DynamicItem&>(item);
            w.integer("dynamic", d.dynamic);
            w.integer("velocityGiven", d.velocityGiven);
            w.integer("volumeGiven", d.volumeGiven);
            w.integer("velocity", d.velocity);
            w.integer("volume", d.volume);
            break;
        }
        case kNoteItem:
            CheckDuration(w, static_cast<const NoteItem&>(item));
            CheckNote(w, static_cast<const NoteItem&>(item));
            break;
        case kRestItem:
            CheckDuration(w, static_cast<const RestItem&>(item));
            CheckRest(w, static_cast<const RestItem&>(item));
            break;
        case kChordItem: {
            const auto& c = static_cast<const ChordItem&>(item);
            CheckDuration(w, c);
            CheckNote(w, c);
            const Json& members = w.next("members");
            ASSERT_TRUE(members.is_array()) << where;
            ASSERT_EQ(members.size(), c.members.size()) << where;
            for (size_t i = 0; i < c.members.size(); ++i) {
                CheckItem(*c.members[i], members[i], where + ".members[" + std::to_string(i) + "]");
            }
            break;
        }
        case kPedalItem:
            w.integer("pedalDown", static_cast<const PedalItem&>(item).pedalDown);
            break;
        case kFlowDirectionItem:
            w.integer("flowKind", static_cast<const FlowDirectionItem&>(item).flowKind);
            break;
        case kControllerItem: {
            const auto& c = static_cast<const ControllerItem&>(item);
            w.integer("controller", c.controller);
            w.integer("sweepStyle", c.sweepStyle);
            w.integer("timeUnit", c.timeUnit);
            w.integer("sweepStep", c.sweepStep);
            const Json& points = w.next("points");
            ASSERT_TRUE(points.is_array()) << where;
            ASSERT_EQ(points.size(), c.points.size()) << where;
            for (size_t i = 0; i < c.points.size(); ++i) {
                Walk p(points[i], where + ".points[" + std::to_string(i) + "]");
                p.integer("active", c.points[i].active);
                p.integer("offset", c.points[i].offset);
                p.integer("value", c.points[i].value);
            }
            break;
        }
        case kTempoVariationItem: {
            const auto& t = static_cast<const TempoVariationItem&>(item);
            w.integer("variationKind", t.variationKind);
            w.integer("pauseLength", t.pauseLength);
            w.integer("startTempo", t.startTempo);
            w.integer("endTempo", t.endTempo);
            w.integer("rampTicks", t.rampTicks);
            break;
        }
        case kDynamicVariationItem: {
            const auto& d = static_cast<const DynamicVariationItem&>(item);
            w.integer("variationKind", d.variationKind);
            w.integer("targetVelocity", d.targetVelocity);
            w.integer("startVolume", d.startVolume);
            w.integer("endVolume", d.endVolume);
            w.integer("rampTicks", d.rampTicks);
            break;
        }
        case kPerformanceStyleItem:
            w.integer("performanceStyle",
                      static_cast<const PerformanceStyleItem&>(item).performanceStyle);
            break;
        case kTextItem: {
            const auto& t = static_cast<const TextItem&>(item);
            w.integer("textFont", t.textFont);
            w.text("text", t.text);
            break;
        }
        case kRestChordItem: {
            const auto& r = static_cast<const RestChordItem&>(item);
            CheckDuration(w, r);
            CheckRest(w, r);
            const Json& attached = w.next("attachedChord");
            if (r.attachedChord) {
                CheckItem(*r.attachedChord, attached, where + ".attachedChord");
            } else {
                EXPECT_TRUE(attached.is_null()) << where;
            }
            break;
        }
        default:
            break;
    }
}

void CheckStaff(const Staff& staff, const Json& j, const std::string& where) {
    Walk w(j, where);
    w.text("staffName", staff.staffName);
    w.text("groupName", staff.groupName);
    w.integer("endingBar", staff.endingBar);
    w.integer("muted", staff.muted);
    w.integer("channel", staff.channel);
    w.integer("device", staff.device);
    {
        Walk in(w.next("instrument"), w.at("instrument"));
        in.integer("bankSelect", staff.instrument.bankSelect);
        in.integer("bank", staff.instrument.bank);
        in.integer("patch", staff.instrument.patch);
    }
    w.integer("staffStyle", staff.staffStyle);
    w.integer("upperBoundary", staff.upperBoundary);
    w.integer("lowerBoundary", staff.lowerBoundary);
    w.integer("lineCount", staff.lineCount);
    w.integer("layerWithNext", staff.layerWithNext);
    w.integer("transposition", staff.transposition);
    w.integer("volume", staff.volume);
    w.integer("stereoPan", staff.stereoPan);
    w.integer("staffOptionByte", staff.staffOptionByte);
    w.integer("needsAudit", staff.needsAudit);
    const Json& lyrics = w.next("lyrics");
    if (!staff.lyrics) {
        EXPECT_TRUE(lyrics.is_null()) << where;
    } else {
        Walk l(lyrics, w.at("lyrics"));
        l.integer("lyricPlacement", staff.lyrics->lyricPlacement);
        l.integer("lyricAlignment", staff.lyrics->lyricAlignment);
        l.integer("lyricWord", staff.lyrics->lyricWord);
        const Json& lines = l.next("lines");
        ASSERT_TRUE(lines.is_array()) << where;
        ASSERT_EQ(lines.size(), staff.lyrics->lines.size()) << where;
        for (size_t i = 0; i < lines.size(); ++i) {
            const scq::LyricLine& line = *staff.lyrics->lines[i];
            Walk lw(lines[i], l.at("lines") + "[" + std::to_string(i) + "]");
            lw.integer("usedLength", line.usedLength);
            EXPECT_EQ(lw.next("bytes"), Hex(line.bytes)) << where << " lyric line " << i;
        }
    }
    const Json& items = w.next("items");
    ASSERT_TRUE(items.is_array()) << where;
    ASSERT_EQ(items.size(), static_cast<size_t>(staff.itemCount())) << where;
    for (int i = 0; i < staff.itemCount(); ++i) {
        CheckItem(*staff.itemAt(i), items[static_cast<size_t>(i)],
                  where + ".items[" + std::to_string(i) + "]");
    }
}

const char* const kFontSlots[FontTable::kEntryCount] = {
    "Staff Italic", "Staff Bold", "Staff Lyric", "Page Title Text", "Page Text", "Page Small Text",
    "User 1",       "User 2",     "User 3",      "User 4",          "User 5",    "User 6"};

void CheckSong(const Song& song, const Json& j) {
    Walk w(j, "song");
    w.text("title", song.title);
    w.text("author", song.author);
    w.text("copyright1", song.copyright1);
    w.text("copyright2", song.copyright2);
    w.text("comments", song.comments);
    w.integer("barNumberStyle", song.barNumberStyle);
    w.integer("firstBarNumber", song.firstBarNumber);
    const Json& margins = w.next("pageMargins");
    ASSERT_TRUE(margins.is_array());
    ASSERT_EQ(margins.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        CheckFloat(song.pageMargins[i], margins[i], "song.pageMargins[" + std::to_string(i) + "]");
    }
    w.integer("pageOptionByte1", song.pageOptionByte1);
    w.integer("pageOptionWord1", song.pageOptionWord1);
    w.integer("pageOptionWord2", song.pageOptionWord2);
    w.integer("pageOptionByte2", song.pageOptionByte2);
    Json selection = Json::array();
    for (int i = 0; i < scq::StaffSelection::kBits; ++i) {
        if (song.staffSelection.test(i)) selection.push_back(i);
    }
    EXPECT_EQ(w.next("staffSelection"), selection);
    w.integer("songFlags", song.songFlags);
    {
        Walk f(w.next("fonts"), "song.fonts");
        f.integer("baseSize", song.fonts->baseSize);
        const Json& entries = f.next("entries");
        ASSERT_TRUE(entries.is_array());
        ASSERT_EQ(entries.size(), static_cast<size_t>(FontTable::kEntryCount));
        for (size_t i = 0; i < entries.size(); ++i) {
            const FontEntry& e = song.fonts->entries[i];
            Walk ew(entries[i], "song.fonts.entries[" + std::to_string(i) + "]");
            EXPECT_EQ(ew.next("slot"), kFontSlots[i]);
            ew.text("name", e.name);
            ew.integer("size", e.size);
            ew.integer("style", e.style);
            ew.integer("charset", e.charset);
        }
    }
    const Json& staffs = w.next("staffs");
    ASSERT_TRUE(staffs.is_array());
    ASSERT_EQ(staffs.size(), static_cast<size_t>(song.staffCount()));
    for (int i = 0; i < song.staffCount(); ++i) {
        CheckStaff(*song.staffAt(i), staffs[static_cast<size_t>(i)],
                   "song.staffs[" + std::to_string(i) + "]");
    }
}

// The events and figures of one variant against a rendering of the model.
void CheckVariant(const Json& j, Song& song, PlayTimeVariant variant, bool events, unsigned seconds,
                  const std::string& where) {
    EventSequence sequence(16);
    RenderForPlayTime(song, variant, sequence);
    Walk w(j, where);
    w.integer("elapsedMilliseconds", sequence.ElapsedMilliseconds());
    w.integer("seconds", seconds);
    w.integer("full", sequence.isFull() ? 1 : 0);
    w.integer("budgetReached", sequence.workBudgetSpent() ? 1 : 0);
    if (!events) return;
    const Json& list = w.next("events");
    ASSERT_TRUE(list.is_array()) << where;
    ASSERT_EQ(list.size(), sequence.size()) << where;
    size_t i = 0;
    sequence.forEach([&](const SequenceEvent& e) {
        const Json expected =
            Json::array({e.time, e.kind(), e.byteA, e.byteB, e.byteC, e.device()});
        if (list[i] != expected) {
            ADD_FAILURE() << where << " event " << i << ": " << list[i].dump() << " instead of "
                          << expected.dump();
        }
        ++i;
    });
}

// ---------------------------------------------------------------------------------------------
// Running the dump.

struct Dumped {
    bool loaded = false;
    std::string text;
};

Dumped DumpToText(const std::string& path, dump::Options options) {
    Dumped d;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::tmpfile(), &std::fclose);
    if (!f) {
        ADD_FAILURE() << "no temporary file";
        return d;
    }
    d.loaded = dump::DumpFile(path.c_str(), options, f.get());
    std::rewind(f.get());
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) d.text.append(buf, n);
    return d;
}

testing::RunResult RunDump(const std::vector<std::string>& args) {
    return testing::RunProgram(SCQDUMP_PATH, args);
}

// Checks a whole document against a fresh load of the same file, then the performance block
// against renderings of that model, SCQ first, then SMF, as the dump makes them.
void CheckDocument(const std::string& path, const Json& doc, const dump::Options& options) {
    SongFileInfo info;
    bool repaired = false;
    std::unique_ptr<Song> song = LoadSongWithRepair(path.c_str(), info, &repaired);
    Walk w(doc, "document");
    EXPECT_EQ(w.next("format"), "scqdump/1");
    EXPECT_EQ(w.next("file"), path);
    {
        Walk l(w.next("load"), "load");
        l.integer("status", info.status);
        l.integer("repaired", repaired ? 1 : 0);
        l.text("productName", info.productName);
        l.integer("formatRevision", info.formatRevision);
        l.integer("productVersion", info.productVersion);
        l.integer("secondHeaderWord", info.secondHeaderWord);
        EXPECT_EQ(l.next("outcome"), dump::Outcome(info, repaired));
        const Json& error = l.next("error");
        if (dump::IsFailure(info)) {
            EXPECT_EQ(error["reason"], info.error.reason);
            if (info.error.offset >= 0) {
                EXPECT_EQ(error["offset"], info.error.offset);
            }
        } else {
            EXPECT_TRUE(error.is_null());
        }
    }
    const Json& songJson = w.next("song");
    if (song) {
        CheckSong(*song, songJson);
    } else {
        EXPECT_TRUE(songJson.is_null());
    }
    if (!options.performance && !options.events) return;
    const Json& performance = w.next("performance");
    if (!song) {
        EXPECT_TRUE(performance.is_null());
        return;
    }
    // The seconds as PlayTimeSeconds gives them, on a load of its own.
    SongFileInfo info2;
    std::unique_ptr<Song> other = LoadSongWithRepair(path.c_str(), info2);
    ASSERT_TRUE(other);
    const unsigned scqSeconds = PlayTimeSeconds(*other, PlayTimeVariant::Scq);
    const unsigned smfSeconds = PlayTimeSeconds(*other, PlayTimeVariant::Smf);
    Walk p(performance, "performance");
    CheckVariant(p.next("scq"), *song, PlayTimeVariant::Scq, options.events, scqSeconds,
                 "performance.scq");
    CheckVariant(p.next("smf"), *song, PlayTimeVariant::Smf, options.events, smfSeconds,
                 "performance.smf");
}

// ---------------------------------------------------------------------------------------------
// Test songs.

// Texts with every kind of byte: the undefined five, the assigned 0x80-0x9F, Latin-1.
const std::string kOddText =
    "\x80 \x81\x8d\x8f\x90\x9d \x93q\x94 caf\xe9 \xff \"quoted\" back\\slash \x01\x08\x0c\x1f\x7f";

// A song that holds all nineteen kinds with values away from their defaults, lyrics with any
// bytes, odd fonts, an unusual staff selection and unusual margins.
SongSpec AllKindsSong(int revision) {
    SongSpec song;
    song.revision = revision;
    song.header.productVersion = 0xFFFF;
    song.info.title = "Title " + kOddText;
    song.info.author = "\x8a\x9a\x8e\x9e";
    song.info.comments = "line one\nline two\t" + kOddText;
    song.info.barNumberStyle = 2;
    song.info.firstBarNumber = 5;
    song.info.marginsText = "0.1 1e-7 3.4028235e38 -0";
    song.info.pageOptionByte1 = 0xFE;
    song.info.pageOptionWord1 = 3;
    song.info.pageOptionWord2 = 0xFFFF;
    song.info.pageOptionByte2 = 0x81;
    song.info.staffSelection = StaffSelection({0, 1, 200, 254});
    song.info.staffSelection[31] |= 0x80;  // bit 255 is stored but is no staff
    song.info.fontBaseSize = 20;
    song.info.fonts = DefaultFonts(20);
    song.info.fonts[0].name =
        "Fa\xe7"
        "ade \x80";
    song.info.fonts[0].size = 65535;
    song.info.fonts[0].style = 3;
    song.info.fonts[0].charset = 0xEE;
    song.info.fonts[11].size = 0x8000;

    ChordSpec chord = Chord(dur::Half, {-4, -1, 3});
    chord.add(attr::Accented);
    StaffSpec melody = MakeStaff(
        "Melody \x80\xff",
        {Clef(clef::Bass, 1),
         KeyMasks(0x22, 0),
         Time(3, 4),
         Tempo(96, tbase::DottedQuarter, "Allegro " + kOddText),
         Dynamic(dyn::ff).at(-9),
         Instrument(41, 300, 1),
         PerformanceStyle(7).at(-12),
         Bar(bar::LocalRepeatOpen),
         Note(-3, dur::Eighth, attr::Dotted, acc::Sharp).beam(grp::First),
         Note(-2, dur::Sixteenth, 0, acc::Flat).beam(grp::End).stem(stem::Down).vis(vis::Never),
         Rest(dur::Quarter).col(2),
         chord,
         Bar(bar::LocalRepeatClose, 3),
         Ending(3),
         Pedal(true).place(1),
         Note(5, dur::Quarter, attr::Staccato),
         Pedal(false),
         Flow(flow::Segno),
         Controller(1).point(0, 0, 60).point(1, 2, 110),
         TempoVariation(tvar::Ritardando, 0),
         Note(1, dur::Half, attr::Tenuto),
         DynamicVariation(dvar::Crescendo),
         Note(0, dur::Quarter),
         Dynamic(dyn::pp),
         Text(kOddText, 3).justify(2),
         Fermata(8),
         Note(-1, dur::Quarter, attr::Accented),
         BreathMark(4),
         RestChord(dur::Half, Chord(dur::Half, {2, 4})),
         RestChord(dur::Quarter),
         Bar(bar::MasterRepeatClose)});
    melody.muted = 0;
    melody.channel = 9;
    melody.device = 2;
    melody.bankSelect = 1;
    melody.bank = 129;
    melody.patch = 20;
    melody.upperBoundary = -20;
    melody.lowerBoundary = 15;
    melody.lineCount = 3;
    melody.transposition = -12;
    melody.volume = 100;
    melody.stereoPan = 20;
    melody.staffOptionByte = 0xA5;
    melody.endingBar = 3;
    melody.lyrics = Lyrics({"la la", "\x80\xff"});
    melody.lyrics->lines.push_back({{0x00, 0x0d, 0x7f, 0x80, 0xab, 0xff}, 4, std::nullopt});
    melody.lyrics->optionsWord = 3;
    melody.lyrics->lyricWord = -5;

    ControllerSpec sweep = Controller(0).point(0, 0, 90).point(1, 1, 140).point(3, 2, 70);
    sweep.sweepStyle = 1;
    sweep.sweepStep = 4;
    StaffSpec bass =
        MakeStaff("Bass", {Clef(clef::Alto), Key(-3), CommonTime(), sweep, Rest(dur::Whole), Bar(),
                           Note(7, dur::Whole, 0, acc::Natural).mute(), Bar(bar::Double)});
    bass.groupName = "Grp \x9d";
    bass.layerWithNext = 1;
    bass.muted = 1;
    song.staffs = {melody, bass, MakeStaff("Empty")};
    return song;
}

// ---------------------------------------------------------------------------------------------
// The encodings.

TEST(DumpText, Windows1252FollowsTheWhatwgIndex) {
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::string utf8 = dump::Windows1252ToUtf8(all.data(), all.size());
    EXPECT_EQ(DecodeUtf8(utf8), FromWindows1252(all.data(), all.size()));
    // A few literal pins of the table itself.
    EXPECT_EQ(dump::Windows1252ToUtf8("\x80\x81\x8d\x8f\x90\x9d\x9f\xa0\xff", 9),
              "\u20ac\u0081\u008d\u008f\u0090\u009d\u0178\u00a0\u00ff");
    // The text ends at its first 0 byte or at the field's end.
    EXPECT_EQ(dump::Windows1252ToUtf8("ab\0cd", 5), "ab");
    EXPECT_EQ(dump::Windows1252ToUtf8("abcd", 2), "ab");
}

TEST(DumpText, Utf8Validation) {
    struct Case {
        const char* bytes;
        bool valid;
    };
    const Case cases[] = {
        {"", true},
        {"plain/ascii.scq", true},
        {"chanson-\xc3\xa9.scq", true},
        {"\xe2\x82\xac \xf0\x9f\x8e\xb5", true},
        {"\xef\xbf\xbf", true},
        {"\xf4\x8f\xbf\xbf", true},
        {"x\xff.scq", false},         // a windows-1252 name
        {"\xe9t\xe9", false},         // Latin-1 letters
        {"\xc3", false},              // cut short
        {"\xe2\x82", false},          // cut short
        {"\xc0\xaf", false},          // overlong
        {"\xe0\x80\xaf", false},      // overlong
        {"\xf0\x80\x80\xaf", false},  // overlong
        {"\xed\xa0\x80", false},      // a surrogate
        {"\xf4\x90\x80\x80", false},  // above U+10FFFF
        {"\xf5\x80\x80\x80", false},
        {"\x80", false},  // a lone continuation byte
        {"\xc3\x28", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dump::IsValidUtf8(c.bytes, std::strlen(c.bytes)), c.valid) << c.bytes;
    }
    EXPECT_EQ(dump::FileNameText("chanson-\xc3\xa9.scq"), "chanson-\xc3\xa9.scq");
    EXPECT_EQ(dump::FileNameText("x\xff\x81.scq"), "x\u00ff\u0081.scq");
}

TEST(DumpText, FloatValues) {
    EXPECT_EQ(dump::FloatValue(std::nanf("")), "NaN");
    EXPECT_EQ(dump::FloatValue(-std::nanf("")), "NaN");
    EXPECT_EQ(dump::FloatValue(HUGE_VALF), "Infinity");
    EXPECT_EQ(dump::FloatValue(-HUGE_VALF), "-Infinity");
    const float values[] = {0.1f,   1e-7f,           3.4028235e38f, -0.0f, 0.0f,
                            1e-45f, 1.17549435e-38f, 16777217.0f,   -2.5f, 0.333333343f};
    for (float f : values) {
        CheckFloat(f, Json::parse(dump::FloatValue(f).dump()), std::to_string(f));
    }
}

// ---------------------------------------------------------------------------------------------
// Whole documents against the model.

class DumpRevisionTest : public ::testing::TestWithParam<int> {};

// Every field of the song, its staffs and items equals the loaded model; the performance block
// equals a rendering of the same model. Revision -1 stands for the newest layout compressed.
TEST_P(DumpRevisionTest, EveryFieldEqualsTheModel) {
    SongSpec songSpec = AllKindsSong(GetParam() < 0 ? 16 : GetParam());
    songSpec.compressed = GetParam() < 0;
    TempFile file(BuildSong(songSpec));
    ASSERT_TRUE(file.ok());
    for (const dump::Options options :
         {dump::Options{}, dump::Options{true, false, false}, dump::Options{false, true, false}}) {
        SCOPED_TRACE(options.events ? "--events" : options.performance ? "--performance" : "");
        const Dumped d = DumpToText(file.path(), options);
        EXPECT_TRUE(d.loaded);
        ASSERT_FALSE(d.text.empty());
        ASSERT_EQ(d.text.back(), '\n');
        ASSERT_EQ(d.text.find('\n'), d.text.size() - 1) << "one line per document";
        CheckDocument(file.path(), Json::parse(d.text), options);
    }
}

INSTANTIATE_TEST_SUITE_P(Revisions, DumpRevisionTest,
                         ::testing::Values(0, 2, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13, 15, 16, -1));

TEST(Dump, AllNineteenKindsAreCovered) {
    SongFileInfo info;
    TempFile file(BuildSong(AllKindsSong(16)));
    std::unique_ptr<Song> song = LoadSongWithRepair(file.path().c_str(), info);
    ASSERT_TRUE(song);
    std::vector<bool> seen(kItemTypeCount);
    for (int s = 0; s < song->staffCount(); ++s) {
        for (int i = 0; i < song->staffAt(s)->itemCount(); ++i) {
            seen[static_cast<size_t>(song->staffAt(s)->itemAt(i)->typeCode())] = true;
        }
    }
    for (int k = 0; k < kItemTypeCount; ++k) EXPECT_TRUE(seen[static_cast<size_t>(k)]) << k;
    // The fermata and breath mark make the two variants differ.
    EXPECT_NE(PlayTimeSeconds(*song, PlayTimeVariant::Scq),
              PlayTimeSeconds(*song, PlayTimeVariant::Smf));
}

// Values whose width and signedness matter, and the encodings, literally.
TEST(Dump, LiteralEncodings) {
    TempFile file(BuildSong(AllKindsSong(16)));
    const Json doc = Json::parse(DumpToText(file.path(), {}).text);
    const Json& song = doc["song"];
    EXPECT_EQ(song["pageMargins"],
              Json::parse("[0.10000000149011612, 1.0000000116860974e-07, 3.4028234663852886e+38, "
                          "-0.0]"));
    EXPECT_TRUE(std::signbit(song["pageMargins"][3].get<double>()));
    EXPECT_EQ(song["staffSelection"], Json::parse("[0, 1, 200, 254]"));
    EXPECT_EQ(song["fonts"]["entries"][0]["size"], 65535);
    EXPECT_EQ(song["fonts"]["entries"][0]["name"], "Fa\u00e7ade \u20ac");
    EXPECT_EQ(song["fonts"]["entries"][11]["size"], 32768);
    EXPECT_EQ(doc["load"]["productVersion"], -1);  // a signed 16-bit word
    EXPECT_EQ(song["author"], "\u0160\u0161\u017d\u017e");
    const Json& melody = song["staffs"][0];
    EXPECT_EQ(melody["staffName"], "Melody \u20ac\u00ff");
    EXPECT_EQ(melody["lyrics"]["lines"][0]["bytes"], "6c61206c61");
    EXPECT_EQ(melody["lyrics"]["lines"][2]["bytes"], "000d7f80abff");
    EXPECT_EQ(melody["lyrics"]["lines"][2]["usedLength"], 4);
    EXPECT_EQ(melody["lyrics"]["lyricWord"], -5);
    EXPECT_EQ(song["staffs"][1]["groupName"], "Grp \u009d");
    EXPECT_EQ(song["staffs"][1]["lyrics"], nullptr);
    const Json& dynamic = melody["items"][5];
    ASSERT_EQ(dynamic["kind"], "DynamicItem");
    EXPECT_EQ(dynamic["position"], -9);
    EXPECT_FALSE(dynamic.contains("startVolume"));  // not a member of this kind
}

TEST(Dump, NotANumberAndInfinitiesAreStrings) {
    SongSpec songSpec = AllKindsSong(16);
    songSpec.info.marginsText = "nan inf -inf 1e-45";
    TempFile file(BuildSong(songSpec));
    const Dumped d = DumpToText(file.path(), {});
    const Json doc = Json::parse(d.text);
    EXPECT_EQ(doc["song"]["pageMargins"], Json::parse("[\"NaN\", \"Infinity\", \"-Infinity\", "
                                                      "1.401298464324817e-45]"));
    CheckDocument(file.path(), doc, {});
}

TEST(Dump, ExampleSongsEqualTheModel) {
    for (const char* name : {"sonatina.scq", "sonatina-compressed.scq", "old-revision.scq",
                             "empty.scq", "damaged-ascii.scq"}) {
        const std::string path = std::string(SCQ_SOURCE_DIR) + "/examples/" + name;
        SCOPED_TRACE(name);
        const dump::Options options{false, true, false};
        const Dumped d = DumpToText(path, options);
        EXPECT_TRUE(d.loaded);
        CheckDocument(path, Json::parse(d.text), options);
    }
}

// A song that the loader gives up on: the document still comes, with "song": null.
TEST(Dump, FilesWithoutASong) {
    TempFile notSong(Bytes{'n', 'o', 't', ' ', 'a', ' ', 's', 'o', 'n', 'g'});
    SongSpec newer;
    newer.header.formatRevision = 17;
    TempFile tooNew(BuildSong(newer));
    for (const std::string& path : {notSong.path(), tooNew.path(), std::string("/no/such.scq")}) {
        SCOPED_TRACE(path);
        const dump::Options options{true, false, false};
        const Dumped d = DumpToText(path, options);
        EXPECT_FALSE(d.loaded);
        const Json doc = Json::parse(d.text);
        EXPECT_TRUE(doc["song"].is_null());
        EXPECT_TRUE(doc.contains("performance") && doc["performance"].is_null());
        CheckDocument(path, doc, options);
    }
}

// A performance that outgrows the event sequence says so in both variants.
TEST(Dump, FullSequence) {
    std::vector<Item> chords;
    for (int i = 0; i < 140; ++i) {
        chords.push_back(
            Chord(dur::Sixteenth, {-8, -7, -6, -5, -4, -3, -2, -1, 0, 1, 2, 3, 4, 5, 6, 7}));
    }
    std::vector<Item> items = {Bar(bar::LocalRepeatOpen)};
    items.insert(items.end(), chords.begin(), chords.end());
    items.push_back(Bar(bar::LocalRepeatClose, 255));
    SongSpec songSpec;
    songSpec.staffs = {MakeStaff("Full", items)};
    TempFile file(BuildSong(songSpec));
    const dump::Options options{true, false, false};
    const Json doc = Json::parse(DumpToText(file.path(), options).text);
    EXPECT_EQ(doc["performance"]["scq"]["full"], 1);
    EXPECT_EQ(doc["performance"]["smf"]["full"], 1);
    CheckDocument(file.path(), doc, options);
}

// The parts as JSON values are those of the document.
TEST(Dump, PartsEqualTheDocument) {
    TempFile file(BuildSong(AllKindsSong(16)));
    const Json doc = Json::parse(DumpToText(file.path(), {}).text);
    SongFileInfo info;
    bool repaired = false;
    std::unique_ptr<Song> song = LoadSongWithRepair(file.path().c_str(), info, &repaired);
    ASSERT_TRUE(song);
    EXPECT_EQ(dump::DumpLoad(info, repaired), doc["load"]);
    EXPECT_EQ(dump::DumpSong(*song), doc["song"]);
    const Staff& staff = *song->staffAt(0);
    EXPECT_EQ(dump::DumpStaff(staff), doc["song"]["staffs"][0]);
    for (int i = 0; i < staff.itemCount(); ++i) {
        EXPECT_EQ(dump::DumpItem(*staff.itemAt(i)),
                  doc["song"]["staffs"][0]["items"][static_cast<size_t>(i)]);
    }
}

// The play times equal those of the scqinfo report of the same file.
TEST(Dump, SecondsEqualTheScqinfoReport) {
    TempFile file(BuildSong(AllKindsSong(16)));
    const Json doc = Json::parse(DumpToText(file.path(), {true, false, false}).text);
    const testing::RunResult report = testing::RunScqinfoBinary({file.path()});
    ASSERT_EQ(report.exitCode, 0) << report.out << report.err;
    char scq[kPlayTimeBufferSize];
    char smf[kPlayTimeBufferSize];
    FormatPlayTime(doc["performance"]["scq"]["seconds"].get<int>(), scq);
    FormatPlayTime(doc["performance"]["smf"]["seconds"].get<int>(), smf);
    EXPECT_NE(report.out.find(std::string("SCQ Play Time:\t") + scq + "\n"), std::string::npos)
        << report.out << "\nSCQ " << scq;
    EXPECT_NE(report.out.find(std::string("SMF Play Time:\t") + smf + "\n"), std::string::npos)
        << report.out << "\nSMF " << smf;
}

// ---------------------------------------------------------------------------------------------
// The program.

TEST(DumpProgram, SeveralFilesOneDocumentEachInOrder) {
    testing::TempDir dir;
    const std::string a = dir / "a.scq";
    const std::string b = dir / "b.scq";
    const std::string missing = dir / "missing.scq";
    ASSERT_TRUE(WriteFile(a, BuildSong(AllKindsSong(16))));
    ASSERT_TRUE(WriteFile(b, BuildSong(AllKindsSong(9))));

    // Every file loads: exit 0, and each line is exactly what DumpFile writes.
    testing::RunResult r = RunDump({"--performance", a, b});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              DumpToText(a, {true, false, false}).text + DumpToText(b, {true, false, false}).text);

    // A missing file in the middle: its document with null song and performance, exit 1.
    r = RunDump({b, missing, "--performance", a});
    EXPECT_EQ(r.exitCode, 1);
    std::vector<Json> docs = ParseLines(r.out);
    ASSERT_EQ(docs.size(), 3u);
    EXPECT_EQ(docs[0]["file"], b);
    EXPECT_EQ(docs[1]["file"], missing);
    EXPECT_EQ(docs[2]["file"], a);
    EXPECT_EQ(docs[1]["load"]["status"], kLoadNotSong);
    EXPECT_TRUE(docs[1]["song"].is_null());
    EXPECT_TRUE(docs[1]["performance"].is_null());
    EXPECT_TRUE(docs[0]["performance"].is_object());
    EXPECT_TRUE(docs[2]["song"].is_object());

    // Without --performance no document has the member.
    r = RunDump({missing, a});
    EXPECT_EQ(r.exitCode, 1);
    docs = ParseLines(r.out);
    ASSERT_EQ(docs.size(), 2u);
    for (const Json& doc : docs) EXPECT_FALSE(doc.contains("performance"));
}

TEST(DumpProgram, DamagedFileIsRepairedWithTheNoticeOnStandardError) {
    testing::TempDir dir;
    const std::string damaged = dir / "damaged.scq";
    ASSERT_TRUE(WriteFile(damaged, ToTextTransfer(BuildSong(AllKindsSong(16)))));
    const testing::RunResult r = RunDump({"--events", damaged});
    EXPECT_EQ(r.exitCode, 0);
    const std::vector<Json> docs = ParseLines(r.out);
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_EQ(docs[0]["load"]["repaired"], 1);
    EXPECT_EQ(docs[0]["load"]["status"], kLoadNewest);
    CheckDocument(damaged, docs[0], {false, true, false});
    // The same notice as scqinfo gives, and nothing else.
    const testing::RunResult info = testing::RunScqinfoBinary({damaged});
    EXPECT_NE(r.err.find("Attempting to repair"), std::string::npos) << r.err;
    EXPECT_EQ(r.err, info.err);
}

TEST(DumpProgram, UsageErrorsExitTwoWithOneLine) {
    testing::TempDir dir;
    const std::string song = dir / "song.scq";
    ASSERT_TRUE(WriteFile(song, BuildSong(AllKindsSong(16))));
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--pretty"},
        {"--performance", "--events"},
        {"--bogus", song},
        {song, "--bogus"},
        {"-"},
        {song, "-"},
        {"-x", song},
        {"-H", song},
        {"--jobs", "0", song},
        {"--csv", song},
        {"--performance=1", song},
        {"--PRETTY", song},
    };
    for (const auto& args : cases) {
        std::string shown;
        for (const auto& a : args) shown += "[" + a + "]";
        const testing::RunResult r = RunDump(args);
        EXPECT_EQ(r.exitCode, 2) << shown;
        EXPECT_EQ(r.out, "") << shown;
        ASSERT_FALSE(r.err.empty()) << shown;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << shown << ": " << r.err;
    }
}

TEST(DumpProgram, Help) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"},
          std::vector<std::string>{"--pretty", "--help", "x"}}) {
        const testing::RunResult r = RunDump(args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_NE(r.out.find("Usage: scqdump"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("--events"), std::string::npos) << r.out;
        EXPECT_EQ(r.err, "");
    }
}

TEST(DumpProgram, PrettyParsesToTheSameJson) {
    testing::TempDir dir;
    const std::string song = dir / "song.scq";
    ASSERT_TRUE(WriteFile(song, BuildSong(AllKindsSong(16))));
    const std::string example = std::string(SCQ_SOURCE_DIR) + "/examples/sonatina.scq";
    const std::string empty = std::string(SCQ_SOURCE_DIR) + "/examples/empty.scq";
    for (const std::string& path : {song, example, empty, dir / "missing.scq"}) {
        for (const std::vector<std::string>& flags :
             {std::vector<std::string>{}, std::vector<std::string>{"--performance"},
              std::vector<std::string>{"--events"}}) {
            std::vector<std::string> args = flags;
            args.push_back(path);
            const testing::RunResult compact = RunDump(args);
            args.insert(args.begin(), "--pretty");
            const testing::RunResult pretty = RunDump(args);
            EXPECT_EQ(compact.exitCode, pretty.exitCode);
            ASSERT_EQ(ParseLines(compact.out).size(), 1u);
            ASSERT_FALSE(pretty.out.empty());
            EXPECT_GT(std::count(pretty.out.begin(), pretty.out.end(), '\n'), 10);
            EXPECT_EQ(pretty.out.back(), '\n');
            EXPECT_EQ(Json::parse(pretty.out), Json::parse(compact.out)) << path;
        }
    }
}

TEST(DumpProgram, FileNamesAsGiven) {
    testing::TempDir dir;
    const std::string utf8 = dir / "chanson-\xc3\xa9.scq";
    const std::string latin = dir / "x\xff.scq";
    ASSERT_TRUE(WriteFile(utf8, BuildSong(AllKindsSong(16))));
    const testing::RunResult r = RunDump({utf8, latin});
    EXPECT_EQ(r.exitCode, 1);
    const std::vector<Json> docs = ParseLines(r.out);
    ASSERT_EQ(docs.size(), 2u);
    EXPECT_EQ(docs[0]["file"], utf8);
    EXPECT_EQ(docs[1]["file"], dir.path() + "/x\u00ff.scq");
}

TEST(DumpProgram, OutputThatCannotBeWrittenFails) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    testing::TempDir dir;
    const std::string song = dir / "song.scq";
    ASSERT_TRUE(WriteFile(song, BuildSong(AllKindsSong(16))));
    const testing::RunResult r = testing::RunProgram(
        "/bin/sh",
        {"-c", std::string("exec \"$0\" --events \"$1\" > /dev/full"), SCQDUMP_PATH, song});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace scq::test
