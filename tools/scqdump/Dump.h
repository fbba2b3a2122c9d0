#pragma once

#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

#include "export/Text.h"
#include "song/SongFile.h"

namespace scq {
class Song;
class Staff;
class NotationItem;
class EventSequence;
struct SongFileInfo;
}  // namespace scq

namespace scq::dump {

using Json = nlohmann::ordered_json;

// The text helpers the documents use, from the library.
using scq::FileNameText;
using scq::HexBytes;
using scq::IsValidUtf8;
using scq::Windows1252ToUtf8;

// The parts of a scqdump/1 document as JSON values, each read back from the same text that
// DumpFile writes for it.
Json DumpSong(const Song& song);
Json DumpStaff(const Staff& staff);
Json DumpItem(const NotationItem& item);
Json DumpLoad(const SongFileInfo& info, bool repaired);

// A 32-bit float as a JSON value that reads back as the same float; NaN and the infinities,
// which no JSON number can hold, as the strings "NaN", "Infinity" and "-Infinity".
Json FloatValue(float f);

struct Options {
    bool performance = false;
    bool events = false;
    bool pretty = false;
    // The most items a load reads (0: no limit); see LoadOptions.
    uint64_t maxItems = kDefaultMaxItems;
    // One flat record per file instead of the document; as CSV rows instead of JSON Lines.
    bool summary = false;
    bool csv = false;
};

// What became of a load, in one word: ok, empty, repaired, damaged, not-found, not-a-file,
// unreadable, not-a-song, too-new, rejected-header, out-of-memory.
const char* Outcome(const SongFileInfo& info, bool repaired);
// Whether an outcome is a failure: anything but ok, empty and repaired. A load of status 1 or
// 2 whose data ended early is damaged.
bool IsFailure(const SongFileInfo& info);

// Loads one file as scqinfo does, but with the item limit of the options and the repair made in
// memory, and writes its document to `out`, followed by a line feed. Returns whether the file
// produced a song. The document is streamed as it is written, never held whole as text or as a
// JSON value, so memory stays that of the song and its performance. After the document, `err`
// gets the repair notice of a repaired file and one line "scqdump: FILE: <reason>" for a
// failed one.
bool DumpFile(const char* path, const Options& options, std::FILE* out, std::FILE* err = stderr);

// The same for one file, into texts: the document (or with `summary` the record) in `out`,
// what goes to standard error in `err`.
struct FileOutput {
    std::string out;
    std::string err;
    bool song = false;
};
FileOutput DumpToText(const char* path, const Options& options);

// The header row of --summary --csv, with its line end.
std::string SummaryCsvHeader();

}  // namespace scq::dump
