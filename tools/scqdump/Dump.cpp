#include "Dump.h"

#include <cstring>
#include <string_view>
#include <vector>

#include "export/JsonWriter.h"
#include "export/SongDocument.h"
#include "export/Text.h"
#include "load/Repair.h"
#include "perform/PlayTime.h"
#include "song/Song.h"
#include "song/SongFile.h"
#include "song/Staff.h"

namespace scq::dump {

namespace {

using json::BlockWriter;
using json::Writer;

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
    return ToJson([&item](Writer& w) { json::WriteItem(w, item); });
}

Json DumpStaff(const Staff& staff) {
    return ToJson([&staff](Writer& w) { json::WriteStaff(w, staff); });
}

Json DumpSong(const Song& song) {
    return ToJson([&song](Writer& w) { json::WriteSong(w, song); });
}

Json DumpLoad(const SongFileInfo& info, bool repaired) {
    return ToJson([&info, repaired](Writer& w) { json::WriteLoad(w, info, repaired); });
}


const char* Outcome(const SongFileInfo& info, bool repaired) {
    return LoadOutcome(info, repaired);
}

bool IsFailure(const SongFileInfo& info) {
    return IsLoadFailure(info);
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
    json::DocumentOptions document;
    document.performance = options.performance;
    document.events = options.events;
    document.pretty = options.pretty;
    json::WriteDocument(block, path, file.info, file.repaired, file.song.get(), document);
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
