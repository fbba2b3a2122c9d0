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
};

// The newest format revision this program reads.
constexpr int kNewestRevision = 16;

// The result record of a load; every load clears it first.
struct SongFileInfo {
    char productName[128] = {};
    int32_t formatRevision = 0;
    int32_t productVersion = 0;
    int32_t secondHeaderWord = 0;
    LoadStatus status = kLoadNotSong;

    void clear() { *this = SongFileInfo{}; }
};

// Optional progress sink of the loader: takes a line of text, or null to clear.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void show(const char* line) = 0;
};

// Loads a song file (plain or compressed). Returns the song, owned by the caller, or none;
// `info` tells the outcome.
std::unique_ptr<Song> LoadSongFile(const char* path, SongFileInfo& info, LogSink* sink = nullptr);

// Loads a song from an open stream positioned at the header.
std::unique_ptr<Song> LoadSongFromStream(SongInputStream& s, SongFileInfo& info,
                                         LogSink* sink = nullptr);

// Reads the file header; true exactly when the status ends as 1 or 2.
bool ReadSongHeader(SongInputStream& s, SongFileInfo& info);

}  // namespace scq
