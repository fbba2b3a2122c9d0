#include "load/Repair.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string>

#include "load/FileSystem.h"
#include "song/Song.h"
#include "stream/FileStream.h"
#include "stream/MemoryStream.h"

namespace scq {

namespace {

constexpr int kLineFeed = 10;
constexpr int kCarriageReturn = 13;
constexpr unsigned kReadShared = FileStream::kRead | FileStream::kShareRead;

void PrintRepairNotice(const char* path) {
    std::fflush(stdout);
    std::fputs(RepairNoticeText(path).c_str(), stderr);
    std::fflush(stderr);
}

// The temporary copy that a signal handler removes. Only async-signal-safe calls touch it there.
char tempPath[PATH_MAX];
volatile sig_atomic_t tempArmed = 0;
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void RemoveTempAndDie(int signal) {
    if (tempArmed) ::unlink(tempPath);
    tempArmed = 0;
    // End as the signal would have ended the program.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    ::raise(signal);
}

// Removes the temporary copy when it goes out of scope, and when one of the signals that end a
// program ends it first; the earlier handlers come back afterwards.
class TempCopyGuard {
public:
    explicit TempCopyGuard(const std::string& path) : path_(path) {
        if (path.size() >= sizeof tempPath) return;
        std::memcpy(tempPath, path.c_str(), path.size() + 1);
        struct sigaction action {};
        action.sa_handler = RemoveTempAndDie;
        sigemptyset(&action.sa_mask);
        for (int sig : kCleanupSignals) sigaddset(&action.sa_mask, sig);
        for (size_t i = 0; i < std::size(kCleanupSignals); ++i) {
            ::sigaction(kCleanupSignals[i], nullptr, &previous_[i]);
        }
        tempArmed = 1;
        for (size_t i = 0; i < std::size(kCleanupSignals); ++i) {
            // A signal that was ignored stays ignored (as under nohup).
            if (previous_[i].sa_handler != SIG_IGN) {
                ::sigaction(kCleanupSignals[i], &action, nullptr);
            }
        }
        armed_ = true;
    }
    ~TempCopyGuard() {
        if (!armed_) {
            ::unlink(path_.c_str());
            return;
        }
        // Block the signals while the copy goes, so that a handler never sees half a state.
        sigset_t block;
        sigset_t old;
        sigemptyset(&block);
        for (int sig : kCleanupSignals) sigaddset(&block, sig);
        ::sigprocmask(SIG_BLOCK, &block, &old);
        ::unlink(tempPath);
        tempArmed = 0;
        for (size_t i = 0; i < std::size(kCleanupSignals); ++i) {
            ::sigaction(kCleanupSignals[i], &previous_[i], nullptr);
        }
        ::sigprocmask(SIG_SETMASK, &old, nullptr);
    }
    TempCopyGuard(const TempCopyGuard&) = delete;
    TempCopyGuard& operator=(const TempCopyGuard&) = delete;

private:
    std::string path_;
    bool armed_ = false;
    struct sigaction previous_[std::size(kCleanupSignals)] {};
};

bool ReadWholeFile(const char* path, std::vector<uint8_t>& bytes) {
    FileStream file(path, kReadShared);
    if (file.HasError()) return false;
    const int64_t size = file.Size();
    if (file.HasError() || size < 0) return false;
    bytes.resize(static_cast<size_t>(size));
    return file.ReadBlock(bytes.data(), bytes.size()) == bytes.size();
}

void Announce(const char* path, std::string* notice) {
    if (notice) {
        *notice += RepairNoticeText(path);
    } else {
        PrintRepairNotice(path);
    }
}

bool Repairable(const SongFileInfo& info) {
    return (info.status == kLoadNotSong || info.status == kLoadCorrupt) &&
           info.stop == kStopNone && info.fileProblem == kFileOk;
}

}  // namespace

// The file is read once; the load, the test for text-mode damage and the repair work on its
// bytes, read as a file is read.
std::unique_ptr<Song> LoadFromMemoryWithRepair(const char* path, SongFileInfo& info,
                                               bool* repaired, const LoadOptions& options,
                                               std::string* notice) {
    if (repaired) *repaired = false;
    std::vector<uint8_t> bytes;
    // A file that cannot be opened or read whole fails as the file loader tells.
    if (!ReadWholeFile(path, bytes)) return LoadSongFile(path, info, nullptr, options);
    return LoadBytesWithRepair(bytes.data(), bytes.size(), path, info, repaired, options, notice);
}

std::unique_ptr<Song> LoadBytesWithRepair(const uint8_t* data, size_t size, const char* name,
                                          SongFileInfo& info, bool* repaired,
                                          const LoadOptions& options, std::string* notice) {
    if (repaired) *repaired = false;
    std::unique_ptr<Song> song;
    {
        ByteView view(data, size);
        song = LoadSongFromSource(view, info, nullptr, options);
    }
    if (!Repairable(info) || !IsDamagedByTextTransfer(data, size)) return song;
    Announce(name, notice);
    song.reset();
    std::vector<uint8_t> fixed;
    if (!RepairTextTransfer(data, size, fixed)) return nullptr;
    ByteView view(fixed.data(), fixed.size());
    song = LoadSongFromSource(view, info, nullptr, options);
    if (repaired) *repaired = true;
    return song;
}

std::string RepairNoticeText(const char* path) {
    std::string text = path;
    text += ":\n";
    text += "Error: The file appears to have been improperly downloaded\n";
    text += "       as an ASCII file. Attempting to repair the file...\n";
    return text;
}

bool RepairTextTransfer(const std::vector<uint8_t>& source, std::vector<uint8_t>& out) {
    return RepairTextTransfer(source.data(), source.size(), out);
}

bool RepairTextTransfer(const uint8_t* source, size_t size, std::vector<uint8_t>& out) {
    out.clear();
    out.reserve(size);
    bool pendingCarriageReturn = false;
    for (const uint8_t byte : std::span(source, size)) {
        if (byte == kLineFeed) {
            if (!pendingCarriageReturn) return false;
            pendingCarriageReturn = false;
            out.push_back(kLineFeed);
        } else {
            // A carriage return not followed by a line feed stays in the data.
            if (pendingCarriageReturn) out.push_back(kCarriageReturn);
            pendingCarriageReturn = byte == kCarriageReturn;
            if (!pendingCarriageReturn) out.push_back(byte);
        }
    }
    if (pendingCarriageReturn) out.push_back(kCarriageReturn);
    return true;
}

bool IsDamagedByTextTransfer(const std::vector<uint8_t>& bytes) {
    return IsDamagedByTextTransfer(bytes.data(), bytes.size());
}

bool IsDamagedByTextTransfer(const uint8_t* bytes, size_t size) {
    bool afterCarriageReturn = false;
    for (const uint8_t byte : std::span(bytes, size)) {
        if (byte == kLineFeed && !afterCarriageReturn) return false;  // a bare line feed
        afterCarriageReturn = byte == kCarriageReturn || (byte == kLineFeed && afterCarriageReturn);
    }
    return true;
}

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
                                         const LoadOptions& options, RepairCopy copy,
                                         std::string* notice) {
    if (repaired) *repaired = false;
    if (copy == RepairCopy::kMemory) return LoadFromMemoryWithRepair(path, info, repaired, options, notice);
    std::unique_ptr<Song> song = LoadSongFile(path, info, nullptr, options);
    if (!Repairable(info) || !IsDamagedByTextTransfer(path)) return song;
    Announce(path, notice);
    song.reset();


    // The signals wait while the copy is made and its guard set up, so that no moment is left
    // in which one of them could end the program with the copy in place.
    sigset_t block;
    sigset_t old;
    sigemptyset(&block);
    for (int sig : kCleanupSignals) sigaddset(&block, sig);
    ::sigprocmask(SIG_BLOCK, &block, &old);
    const std::string temp = CreateTempFile();
    std::optional<TempCopyGuard> guard;
    if (!temp.empty()) guard.emplace(temp);
    ::sigprocmask(SIG_SETMASK, &old, nullptr);
    if (temp.empty()) return nullptr;
    if (RepairTextTransfer(path, temp.c_str())) {
        song = LoadSongFile(temp.c_str(), info, nullptr, options);
        if (repaired) *repaired = true;
    }
    return song;
}

}  // namespace scq
