#pragma once

#include <memory>

#include "song/SongFile.h"

namespace scq {

class Song;

// Loads a song file; when the load fails the way a text-mode (ASCII) transfer damages a file
// (status 3 or 7) and the file reads like such a copy, announces a repair on standard error,
// writes a repaired copy to a temporary file, loads that instead and deletes it. `info`
// describes the last load made; `repaired` (optional) tells whether that was the load of a
// repaired copy. A load that stopped for its item limit or for want of memory is not the file's
// fault and is never repaired.
std::unique_ptr<Song> LoadSongWithRepair(const char* path, SongFileInfo& info,
                                         bool* repaired = nullptr, const LoadOptions& options = {});

// True when every line feed in the file follows a carriage return (or a line feed that did);
// also true for a file without any line feed. False when the file cannot be opened or read.
bool IsDamagedByTextTransfer(const char* path);

// Copies the source to the destination with every carriage return, line feed pair turned into
// a line feed. A bare line feed stops the copy as failed; so do read and write errors. True on
// success.
bool RepairTextTransfer(const char* source, const char* destination);

}  // namespace scq
