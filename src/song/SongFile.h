#pragma once

#include <cstdint>
#include <memory>

namespace scq {

class Song;
class SongInputStream;

// Outcome of a load.
enum LoadStatus : int32_t {
    kLoadEmpty = 0,           // the stream held at most one byte; a new empty song was made
    kLoadNewest = 1,          // loaded; format revision 16
    kLoadOlder = 2,           // loaded; format revision below 16
    kLoadNotSong = 3,         // not a song file (also the starting value of every load)
    kLoadNewerRevision = 4,   // format revision above 16
    kLoadBadLeadingWord = 5,  // the word after the magic string is greater than 0
    kLoadUnknownProduct = 6,  // the product name is not one of ours
    kLoadCorrupt = 7,         // the body was read but data was missing or damaged
    kLoadOutOfMemory = 8,     // memory ran out during the load; no song
};

// Why a load stopped short for a reason other than the file's bytes.
enum LoadStop : int32_t {
    kStopNone = 0,
    kStopTooManyItems = 1,  // the load's item limit was reached: status 7, what was read is kept
    kStopOutOfMemory = 2,   // memory ran out: status 8, no song
};

// The reason in plain words: "too many items", "out of memory"; "" for kStopNone.
const char* LoadStopReason(LoadStop stop);

// The newest format revision this program reads.
constexpr int kNewestRevision = 16;

// The item limit that the tools apply unless told otherwise: far more than any song the editor
// can write (255 staffs of 12000 items), and few enough that a file claiming more cannot make a
// load take more than a couple of hundred megabytes of items.
constexpr uint64_t kDefaultMaxItems = 4000000;

// How a load is made.
struct LoadOptions {
    // The most items the load reads, chord members and attached chords included (0: no limit).
    // Past it the load stops as damaged: status 7, kStopTooManyItems, what was read is kept.
    uint64_t maxItems = 0;
};

// The result record of a load; every load clears it first.
struct SongFileInfo {
    char productName[128] = {};
    int32_t formatRevision = 0;
    int32_t productVersion = 0;
    int32_t secondHeaderWord = 0;
    LoadStatus status = kLoadNotSong;
    LoadStop stop = kStopNone;

    void clear() { *this = SongFileInfo{}; }
};

// Optional progress sink of the loader: takes a line of text, or null to clear.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void show(const char* line) = 0;
};

// Loads a song file (plain or compressed). Returns the song, owned by the caller, or none;
// `info` tells the outcome. Running out of memory anywhere in the load is a failed load
// (status 8, kStopOutOfMemory), never an exception: whatever was built is released.
std::unique_ptr<Song> LoadSongFile(const char* path, SongFileInfo& info, LogSink* sink = nullptr,
                                   const LoadOptions& options = {});

// Loads a song from an open stream positioned at the header; fails on running out of memory
// as LoadSongFile does.
std::unique_ptr<Song> LoadSongFromStream(SongInputStream& s, SongFileInfo& info,
                                         LogSink* sink = nullptr, const LoadOptions& options = {});

// Reads the file header; true exactly when the status ends as 1 or 2.
bool ReadSongHeader(SongInputStream& s, SongFileInfo& info);

}  // namespace scq
