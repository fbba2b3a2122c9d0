#include "song/SongFile.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "items/ItemFactory.h"
#include "song/Song.h"
#include "song/SongReader.h"
#include "song/Staff.h"
#include "staff/Audit.h"
#include "stream/CompressedSongStream.h"
#include "stream/FileStream.h"
#include "stream/MemoryStream.h"

namespace scq {

namespace {
// What the header of a new song says.
constexpr char kNewSongProduct[] = "Staveforge Engraver";
constexpr int32_t kNewSongVersion = 331;  // 1.75
constexpr int32_t kNewSongSecondWord = 2;

std::unique_ptr<Song> ReadSong(SongInputStream& s, SongFileInfo& info, LogSink* sink,
                               const LoadOptions& options) {
    info.clear();
    if (s.Size() < 2) {
        info.status = kLoadEmpty;
        static_assert(sizeof kNewSongProduct <= sizeof info.productName);
        std::memcpy(info.productName, kNewSongProduct, sizeof kNewSongProduct);
        info.formatRevision = kNewestRevision;
        info.productVersion = kNewSongVersion;
        info.secondHeaderWord = kNewSongSecondWord;
        auto song = std::make_unique<Song>();
        song->addStaff(std::make_unique<Staff>());
        return song;
    }

    if (!ReadSongHeader(s, info)) return nullptr;

    auto song = std::make_unique<Song>();
    {
        ItemFactory::ItemBudget budget(options.maxItems);
        ReadSongBody(*song, info.formatRevision, s, sink, &info.error);
        if (budget.exhausted()) {
            info.stop = kStopTooManyItems;
            // The limit, not the data, stopped the load: that is the reason, wherever it was.
            const int64_t at = info.error.offset;
            info.error = LoadFailure{};
            info.error.note(at, "%s", LoadStopReason(kStopTooManyItems));
        }
    }
    song->setOlderRevision(info.status == kLoadOlder ? 1 : 0);
    if (s.HasError()) {
        info.status = kLoadCorrupt;
        info.error.note(s.Tell(), "damaged song data");
    } else if (!s.ReachedEnd()) {
        info.error = LoadFailure{};
    }
    // Otherwise the data ran out inside a block read, which raises no error flag: the status
    // stays as it was, and the error tells that the song is incomplete.
    // The staffs read from the file have had their audit; a song without any gets an empty
    // staff, audited as every staff is.
    if (song->staffCount() == 0) {
        song->addStaff(std::make_unique<Staff>());
        auditSong(*song, 1);
    }
    return song;
}

// What a load that ran out of memory reports. Whatever it had built is gone by now: the
// exception has unwound through the owners.
std::unique_ptr<Song> OutOfMemory(SongFileInfo& info) {
    info.status = kLoadOutOfMemory;
    info.stop = kStopOutOfMemory;
    const int64_t at = info.error.offset;
    info.error = LoadFailure{};
    info.error.note(at, "%s", LoadStopReason(kStopOutOfMemory));
    return nullptr;
}

// Why a file could not be opened for reading.
void NoteOpenFailure(SongFileInfo& info, int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            info.fileProblem = kFileMissing;
            info.error.note(-1, "no such file");
            return;
        case EISDIR:
            info.fileProblem = kFileNotRegular;
            info.error.note(-1, "is a directory");
            return;
        case FileStream::kNotRegular:
            info.fileProblem = kFileNotRegular;
            info.error.note(-1, "is not a regular file");
            return;
        case EACCES:
        case EPERM:
            info.fileProblem = kFileUnreadable;
            info.error.note(-1, "permission denied");
            return;
        default:
            info.fileProblem = kFileUnreadable;
            info.error.note(-1, "cannot be read: %s", std::strerror(error));
            return;
    }
}

std::unique_ptr<Song> ReadSource(SongInputStream& source, SongFileInfo& info, LogSink* sink,
                                 const LoadOptions& options) {
    std::unique_ptr<Song> song;
    if (IsCompressedSongStream(source)) {
        CompressedSongStream compressed(source);
        song = ReadSong(compressed, info, sink, options);
        // zlib's own allocations fail without an exception.
        if (compressed.ranOutOfMemory()) return OutOfMemory(info);
        if (compressed.state() == CompressedSongStream::kFailed && info.error.set()) {
            // The reader met the end of what zlib delivered; zlib's failure is the cause.
            const int64_t at = info.error.offset;
            info.error = LoadFailure{};
            info.error.note(at, "%s", compressed.FailureReason());
        }
        if (song) song->setCompressed(1);
    } else {
        // The probe has read from the source and may have raised its error flag.
        source.Rewind();
        song = ReadSong(source, info, sink, options);
    }
    return song;
}
}  // namespace

void LoadFailure::note(int64_t at, const char* format, ...) {
    if (set()) return;
    va_list args;
    va_start(args, format);
    std::vsnprintf(reason, sizeof reason, format, args);
    va_end(args);
    if (reason[0] == 0) std::snprintf(reason, sizeof reason, "%s", "failed");
    offset = at;
}

const char* LoadStopReason(LoadStop stop) {
    switch (stop) {
        case kStopTooManyItems:
            return "too many items";
        case kStopOutOfMemory:
            return "out of memory";
        default:
            return "";
    }
}

// The two entry points are the only places where an exception meets the loader: every
// allocation of a load (items, staffs, lyrics, stream buffers) may throw std::bad_alloc, and
// here it becomes a failed load.
std::unique_ptr<Song> LoadSongFromStream(SongInputStream& s, SongFileInfo& info, LogSink* sink,
                                         const LoadOptions& options) {
    try {
        return ReadSong(s, info, sink, options);
    } catch (const std::bad_alloc&) {
        return OutOfMemory(info);
    }
}

std::unique_ptr<Song> LoadSongFile(const char* path, SongFileInfo& info, LogSink* sink,
                                   const LoadOptions& options) {
    info.clear();
    info.status = kLoadNotSong;
    try {
        FileStream file(path, FileStream::kRead | FileStream::kShareRead);
        if (file.HasError()) {
            NoteOpenFailure(info, file.openError());
            return nullptr;
        }
        std::unique_ptr<Song> song = ReadSource(file, info, sink, options);
        file.Close();
        return song;
    } catch (const std::bad_alloc&) {
        return OutOfMemory(info);
    }
}

std::unique_ptr<Song> LoadSongFromSource(SongInputStream& source, SongFileInfo& info,
                                         LogSink* sink, const LoadOptions& options) {
    info.clear();
    info.status = kLoadNotSong;
    try {
        return ReadSource(source, info, sink, options);
    } catch (const std::bad_alloc&) {
        return OutOfMemory(info);
    }
}

std::unique_ptr<Song> LoadSongFromMemory(const void* bytes, size_t size, SongFileInfo& info,
                                         LogSink* sink, const LoadOptions& options) {
    info.clear();
    info.status = kLoadNotSong;
    try {
        MemoryStream source(bytes, size);
        return ReadSource(source, info, sink, options);
    } catch (const std::bad_alloc&) {
        return OutOfMemory(info);
    }
}

}  // namespace scq
