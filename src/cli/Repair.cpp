#include "cli/Repair.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "cli/FileSystem.h"
#include "song/Song.h"
#include "stream/FileStream.h"

namespace scq {

namespace {

constexpr int kLineFeed = 10;
constexpr int kCarriageReturn = 13;
constexpr unsigned kReadShared = FileStream::kRead | FileStream::kShareRead;

void PrintRepairNotice(const char* path) {
    std::fflush(stdout);
    std::fputs(path, stderr);
    std::fputs(":\n", stderr);
    std::fputs("Error: The file appears to have been improperly downloaded\n", stderr);
    std::fputs("       as an ASCII file. Attempting to repair the file...", stderr);
    std::fputs("\n", stderr);
    std::fflush(stderr);
}

}  // namespace

bool IsDamagedByTextTransfer(const char* path) {
    FileStream file(path, kReadShared);
    if (file.HasError()) return false;
    const int64_t size = file.Size();
    bool afterCarriageReturn = false;
    for (int64_t i = 0; i < size; ++i) {
        const int byte = file.ReadByte();
        if (file.HasError()) return false;  // shrank under us: not something to repair
        if (byte == kCarriageReturn) {
            afterCarriageReturn = true;
        } else if (byte == kLineFeed) {
            if (!afterCarriageReturn) return false;  // a bare line feed
        } else {
            afterCarriageReturn = false;
        }
    }
    return true;
}

bool RepairTextTransfer(const char* source, const char* destination) {
    FileStream in(source, kReadShared);
    if (in.HasError()) return false;
    FileStream out(destination, FileStream::kWrite);
    const int64_t size = in.Size();
    bool pendingCarriageReturn = false;
    bool failed = false;
    for (int64_t i = 0; i < size && !failed; ++i) {
        const int byte = in.ReadByte();
        if (in.HasError()) {
            failed = true;
        } else if (byte == kLineFeed) {
            if (!pendingCarriageReturn) {
                failed = true;
            } else {
                pendingCarriageReturn = false;
                out.WriteByte(kLineFeed);
            }
        } else {
            // A carriage return not followed by a line feed stays in the data.
            if (pendingCarriageReturn) out.WriteByte(kCarriageReturn);
            pendingCarriageReturn = byte == kCarriageReturn;
            if (!pendingCarriageReturn) out.WriteByte(byte);
        }
    }
    if (pendingCarriageReturn && !failed) out.WriteByte(kCarriageReturn);
    out.Close();
    if (out.HasError()) failed = true;
    return !failed;
}

std::unique_ptr<Song> LoadSongWithRepair(const char* path, SongFileInfo& info, bool* repaired,
                                         const LoadOptions& options) {
    if (repaired) *repaired = false;
    std::unique_ptr<Song> song = LoadSongFile(path, info, nullptr, options);
    if (info.status != kLoadNotSong && info.status != kLoadCorrupt) return song;
    if (info.stop != kStopNone) return song;
    if (!IsDamagedByTextTransfer(path)) return song;

    PrintRepairNotice(path);
    song.reset();

    const std::string temp = CreateTempFile();
    if (temp.empty()) return nullptr;
    if (RepairTextTransfer(path, temp.c_str())) {
        song = LoadSongFile(temp.c_str(), info, nullptr, options);
        if (repaired) *repaired = true;
    }
    ::unlink(temp.c_str());
    return song;
}

}  // namespace scq
