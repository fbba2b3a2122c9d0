#pragma once

#include <cstddef>
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

// The item limit that the tools and the library apply unless told otherwise (2^20): more than a
// song of 64 staffs filled to the editor's 12000 items, and few enough that no file, however
// small and whatever items it repeats, makes a load take more than about 150 MB, or scqdump's
// document and the MusicXML score more than a second to write. A song of more staffs filled
// to the editor's limit (255 staffs: 3060000 items) needs a higher limit, or none.
constexpr uint64_t kDefaultMaxItems = uint64_t{1} << 20;

// How a load is made.
struct LoadOptions {
    // The most items the load reads, chord members and attached chords included (0: no limit).
    // Past it the load stops as damaged: status 7, kStopTooManyItems, what was read is kept.
    uint64_t maxItems = 0;
};

// Why a file could not be read at all (status 3 with no song data read).
enum LoadFileProblem : int32_t {
    kFileOk = 0,
    kFileMissing = 1,      // no such file (or a part of its path is not a folder)
    kFileNotRegular = 2,   // a directory, a pipe, a device: not a regular file
    kFileUnreadable = 3,   // it exists but cannot be read (permission, input/output error)
};

// The first failure of a load: a short reason in plain words ("file ended inside the staff
// record of staff 2", "unknown item type code 25 in staff 1, item 40", "compressed data is
// corrupt", "no such file") and the byte offset in the song data (after decompression) where
// it happened, -1 when the failure is not at a place in the data. Only the first failure is
// kept; later ones leave it as it is.
struct LoadFailure {
    char reason[120] = {};
    int64_t offset = -1;

    bool set() const { return reason[0] != 0; }
    // Records the failure unless one is already kept.
    void note(int64_t at, const char* format, ...) __attribute__((format(printf, 3, 4)));
};

// The result record of a load; every load clears it first.
struct SongFileInfo {
    char productName[128] = {};
    int32_t formatRevision = 0;
    int32_t productVersion = 0;
    int32_t secondHeaderWord = 0;
    LoadStatus status = kLoadNotSong;
    LoadStop stop = kStopNone;
    LoadFileProblem fileProblem = kFileOk;
    // Set when the load failed (status 3 to 8), and when a load of status 1 or 2 met the end
    // of the data early: a plain file cut inside 16-bit words or a lyric line loads with one of
    // those statuses, its song incomplete. Empty otherwise.
    LoadFailure error;

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

// Loads a song from the bytes of a song file in memory (plain or compressed), as LoadSongFile
// loads a file holding them, with one difference: where the bytes end inside a block read (a
// lyric line, a 16-bit word), the memory stream raises the error flag and a file does not. To
// load bytes exactly as a file, give LoadSongFromSource a ByteView over them.
std::unique_ptr<Song> LoadSongFromMemory(const void* bytes, size_t size, SongFileInfo& info,
                                         LogSink* sink = nullptr, const LoadOptions& options = {});

// Loads a song file from a stream that holds it whole, plain or compressed: the one place that
// tells the two forms apart. The stream is rewound first; a compressed song comes back marked
// as such. Fails on running out of memory as LoadSongFile does.
std::unique_ptr<Song> LoadSongFromSource(SongInputStream& source, SongFileInfo& info,
                                         LogSink* sink = nullptr, const LoadOptions& options = {});

// Loads a song from an open stream positioned at the header, as it is (no decompression); fails
// on running out of memory as LoadSongFile does.
std::unique_ptr<Song> LoadSongFromStream(SongInputStream& s, SongFileInfo& info,
                                         LogSink* sink = nullptr, const LoadOptions& options = {});

// Reads the file header; true exactly when the status ends as 1 or 2.
bool ReadSongHeader(SongInputStream& s, SongFileInfo& info);

}  // namespace scq
