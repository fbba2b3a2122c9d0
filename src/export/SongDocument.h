#pragma once

#include "export/JsonWriter.h"
#include "song/SongFile.h"

namespace scq {

class NotationItem;
class Song;
class Staff;

// What became of a load, in one word: ok, empty, repaired, damaged, not-found, not-a-file,
// unreadable, not-a-song, too-new, rejected-header, out-of-memory.
const char* LoadOutcome(const SongFileInfo& info, bool repaired);
// Whether an outcome is a failure: anything but ok, empty and repaired. A load of status 1 or
// 2 whose data ended early is damaged.
bool IsLoadFailure(const SongFileInfo& info);

// The song document (format "scqdump/1") and its parts as JSON text. Texts of the song are
// decoded from windows-1252; floats read back as the same float, NaN and the infinities as the
// strings "NaN", "Infinity" and "-Infinity".
namespace json {

// The class name of an item type ("NoteItem"), "" for a type outside the known ones.
const char* ItemKindName(int type);

void WriteItem(Writer& w, const NotationItem& item);
void WriteStaff(Writer& w, const Staff& staff);
void WriteSong(Writer& w, const Song& song);
void WriteLoad(Writer& w, const SongFileInfo& info, bool repaired);
// "file", and "fileBytes" (the name's bytes in lowercase hexadecimal) when the name is not
// valid UTF-8 and "file" therefore had to decode it.
void WriteFileName(Writer& w, const char* path);
// Both renderings' figures (and events when asked); the SMF one is rendered anew only where it
// can differ.
void WritePerformance(Writer& w, Song& song, bool events);

struct DocumentOptions {
    bool performance = false;
    bool events = false;
    bool pretty = false;
};

// The whole document of one load, without a line end. `song` is null when the load made none.
// The song is written as the loader and its audit left it, before any play time is computed.
void WriteDocument(BlockWriter& block, const char* path, const SongFileInfo& info, bool repaired,
                   Song* song, const DocumentOptions& options);

}  // namespace json
}  // namespace scq
