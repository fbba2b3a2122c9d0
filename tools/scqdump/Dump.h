#pragma once

#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

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
};

// Loads one file as scqinfo does, but with the item limit of the options, and writes its
// document to `out`, followed by a line feed. Returns whether the file produced a song. The
// document is streamed as it is written, never held whole as text or as a JSON value, so memory
// stays that of the song and its performance. When the item limit stopped the load, or memory
// ran out, one line "scqdump: FILE: <reason>" goes to `err` after the document.
bool DumpFile(const char* path, const Options& options, std::FILE* out, std::FILE* err = stderr);

}  // namespace scq::dump
