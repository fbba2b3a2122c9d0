#include "song/SongFile.h"

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
        ReadSongBody(*song, info.formatRevision, s, sink);
        if (budget.exhausted()) info.stop = kStopTooManyItems;
    }
    song->setOlderRevision(info.status == kLoadOlder ? 1 : 0);
    if (s.HasError()) info.status = kLoadCorrupt;
    if (song->staffCount() == 0) song->addStaff(std::make_unique<Staff>());
    auditSong(*song, 1);
    return song;
}

// What a load that ran out of memory reports. Whatever it had built is gone by now: the
// exception has unwound through the owners.
std::unique_ptr<Song> OutOfMemory(SongFileInfo& info) {
    info.status = kLoadOutOfMemory;
    info.stop = kStopOutOfMemory;
    return nullptr;
}
}  // namespace

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
        if (file.HasError()) return nullptr;

        std::unique_ptr<Song> song;
        if (IsCompressedSongStream(file)) {
            CompressedSongStream compressed(file);
            song = ReadSong(compressed, info, sink, options);
            // zlib's own allocations fail without an exception.
            if (compressed.ranOutOfMemory()) return OutOfMemory(info);
            if (song) song->setCompressed(1);
        } else {
            // The probe has read from the file and may have raised its error flag.
            file.Rewind();
            song = ReadSong(file, info, sink, options);
        }
        file.Close();
        return song;
    } catch (const std::bad_alloc&) {
        return OutOfMemory(info);
    }
}

}  // namespace scq
