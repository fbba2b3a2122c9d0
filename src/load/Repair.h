#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "song/SongFile.h"

namespace scq {

class Song;

// Where a repaired copy goes.
enum class RepairCopy {
    kTempFile,  // a temporary file, deleted afterwards (also when SIGINT, SIGTERM or SIGHUP
                // ends the program while it exists)
    kMemory,    // memory only: nothing is written to disk
};

// Loads a song file; when the load fails the way a text-mode (ASCII) transfer damages a file
// (status 3 or 7) and the file reads like such a copy, announces a repair on standard error,
// makes a repaired copy, loads that instead and drops it. `info` describes the last load made;
// `repaired` (optional) tells whether that was the load of a repaired copy. A load that stopped
// for its item limit or for want of memory is not the file's fault and is never repaired. Both
// kinds of copy load alike. Given `notice`, the notice is added to that text instead.
std::unique_ptr<Song> LoadSongWithRepair(const char* path, SongFileInfo& info,
                                         bool* repaired = nullptr, const LoadOptions& options = {},
                                         RepairCopy copy = RepairCopy::kTempFile,
                                         std::string* notice = nullptr);

// The notice of a repair that LoadSongWithRepair writes to standard error, all its lines.
std::string RepairNoticeText(const char* path);

// LoadSongWithRepair with the copy in memory: the file is read once, and loaded, tested and
// repaired from its bytes.
std::unique_ptr<Song> LoadFromMemoryWithRepair(const char* path, SongFileInfo& info,
                                               bool* repaired, const LoadOptions& options,
                                               std::string* notice);

// The same from the bytes of a song file in memory, loaded as a file holding them; `name` is
// the one the notice gives. The bytes stay the caller's; a repaired copy is made in memory.
std::unique_ptr<Song> LoadBytesWithRepair(const uint8_t* data, size_t size, const char* name,
                                          SongFileInfo& info, bool* repaired,
                                          const LoadOptions& options, std::string* notice);

// The test below on bytes in memory.
bool IsDamagedByTextTransfer(const std::vector<uint8_t>& bytes);
bool IsDamagedByTextTransfer(const uint8_t* bytes, size_t size);

// True when every line feed in the file follows a carriage return (or a line feed that did);
// also true for a file without any line feed. False when the file cannot be opened or read.
bool IsDamagedByTextTransfer(const char* path);

// Copies the source to the destination with every carriage return, line feed pair turned into
// a line feed. A bare line feed stops the copy as failed; so do read and write errors. True on
// success.
bool RepairTextTransfer(const char* source, const char* destination);

// The same repair of bytes in memory: false (and `out` unspecified) at a bare line feed.
bool RepairTextTransfer(const std::vector<uint8_t>& source, std::vector<uint8_t>& out);
bool RepairTextTransfer(const uint8_t* source, size_t size, std::vector<uint8_t>& out);

}  // namespace scq
