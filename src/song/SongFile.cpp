#include "song/SongFile.h"

#include <cstring>
#include <utility>

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
}  // namespace

std::unique_ptr<Song> LoadSongFromStream(SongInputStream& s, SongFileInfo& info, LogSink* sink) {
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
    ReadSongBody(*song, info.formatRevision, s, sink);
    song->setOlderRevision(info.status == kLoadOlder ? 1 : 0);
    if (s.HasError()) info.status = kLoadCorrupt;
    if (song->staffCount() == 0) song->addStaff(std::make_unique<Staff>());
    auditSong(*song, 1);
    return song;
}

std::unique_ptr<Song> LoadSongFile(const char* path, SongFileInfo& info, LogSink* sink) {
    FileStream file(path, FileStream::kRead | FileStream::kShareRead);
    info.clear();
    info.status = kLoadNotSong;
    if (file.HasError()) return nullptr;

    std::unique_ptr<Song> song;
    if (IsCompressedSongStream(file)) {
        CompressedSongStream compressed(file);
        song = LoadSongFromStream(compressed, info, sink);
        if (song) song->setCompressed(1);
    } else {
        // The probe has read from the file and may have raised its error flag.
        file.Rewind();
        song = LoadSongFromStream(file, info, sink);
    }
    file.Close();
    return song;
}

}  // namespace scq
