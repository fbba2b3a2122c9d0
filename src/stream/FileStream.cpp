#include "stream/FileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace scq {

namespace {
constexpr size_t kBufferSize = 64 * 1024;

ssize_t ReadRetry(int fd, void* buf, size_t n) {
    for (;;) {
        ssize_t r = ::read(fd, buf, n);
        if (r < 0 && errno == EINTR) continue;
        return r;
    }
}

bool WriteAll(int fd, const unsigned char* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}
}  // namespace

FileStream::~FileStream() {
    Close();
}

bool FileStream::Open(const char* path, unsigned flags) {
    Close();
    errorFlag = 0;
    const bool read = (flags & kRead) != 0 || (flags & kWrite) == 0;
    const bool write = (flags & kWrite) != 0;
    int mode = O_CLOEXEC | O_NONBLOCK;
    if (read && write) {
        mode |= O_RDWR;
    } else if (write) {
        mode |= O_WRONLY | O_CREAT | O_TRUNC;
    } else {
        mode |= O_RDONLY;
    }
    endReached = 0;
    openError_ = 0;
    readCalls_ = 0;
    int fd = path ? ::open(path, mode, 0666) : -1;
    if (fd < 0) {
        openError_ = path ? errno : ENOENT;
        SetError();
        return false;
    }
    struct stat st {};
    const bool statFailed = ::fstat(fd, &st) != 0;
    if (statFailed || !S_ISREG(st.st_mode)) {
        openError_ = statFailed ? errno : S_ISDIR(st.st_mode) ? EISDIR : kNotRegular;
        ::close(fd);
        SetError();
        return false;
    }
    // Regular files never block; drop the flag that guarded the open itself.
    int fl = ::fcntl(fd, F_GETFL);
    if (fl >= 0) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    fd_ = fd;
    filePos_ = 0;
    readAt_ = readEnd_ = 0;
    writeBuf_.clear();
    return true;
}

void FileStream::Close() {
    if (fd_ < 0) return;
    if (!FlushWriteBuffer()) SetError();
    ::close(fd_);
    fd_ = -1;
    readAt_ = readEnd_ = 0;
}

bool FileStream::FlushWriteBuffer() {
    if (writeBuf_.empty()) return true;
    bool ok = fd_ >= 0 && WriteAll(fd_, writeBuf_.data(), writeBuf_.size());
    if (ok) filePos_ += static_cast<int64_t>(writeBuf_.size());
    writeBuf_.clear();
    return ok;
}

void FileStream::DropReadBuffer() {
    if (readAt_ < readEnd_ && fd_ >= 0) {
        // Put the descriptor back where the reader stands.
        int64_t pos = filePos_ - static_cast<int64_t>(readEnd_ - readAt_);
        if (::lseek(fd_, pos, SEEK_SET) >= 0) filePos_ = pos;
    }
    readAt_ = readEnd_ = 0;
}

int64_t FileStream::SystemRead(void* buffer, size_t count) {
    if (endReached) return 0;
    ++readCalls_;
    const int64_t r = ReadRetry(fd_, buffer, count);
    if (r <= 0) endReached = 1;
    return r;
}

bool FileStream::FillReadBuffer() {
    if (fd_ < 0) return false;
    if (!FlushWriteBuffer()) SetError();
    if (readBuf_.size() < kBufferSize) readBuf_.resize(kBufferSize);
    int64_t r = SystemRead(readBuf_.data(), readBuf_.size());
    if (r <= 0) {
        readAt_ = readEnd_ = 0;
        return false;
    }
    filePos_ += r;
    readAt_ = 0;
    readEnd_ = static_cast<size_t>(r);
    return true;
}

void FileStream::WriteByte(int byte) {
    if (fd_ < 0) {
        SetError();
        return;
    }
    if (readAt_ < readEnd_ || readEnd_ != 0) DropReadBuffer();
    endReached = 0;
    writeBuf_.push_back(static_cast<unsigned char>(byte));
    if (writeBuf_.size() >= kBufferSize && !FlushWriteBuffer()) SetError();
}

void FileStream::WriteBlock(const void* bytes, size_t count) {
    if (fd_ < 0) {
        SetError();
        return;
    }
    if (readEnd_ != 0) DropReadBuffer();
    endReached = 0;
    const auto* p = static_cast<const unsigned char*>(bytes);
    writeBuf_.insert(writeBuf_.end(), p, p + count);
    if (writeBuf_.size() >= kBufferSize && !FlushWriteBuffer()) SetError();
}

int FileStream::ReadByte() {
    if (readAt_ >= readEnd_ && !FillReadBuffer()) {
        SetError();
        return 0;
    }
    return readBuf_[readAt_++];
}

size_t FileStream::ReadBlock(void* buffer, size_t count) {
    auto* out = static_cast<unsigned char*>(buffer);
    size_t done = 0;
    while (done < count) {
        if (readAt_ >= readEnd_) {
            if (count - done >= kBufferSize) {
                // Large reads go straight to the caller's buffer.
                if (fd_ < 0) break;
                if (!FlushWriteBuffer()) SetError();
                int64_t r = SystemRead(out + done, count - done);
                if (r <= 0) break;
                filePos_ += r;
                done += static_cast<size_t>(r);
                continue;
            }
            if (!FillReadBuffer()) break;
        }
        size_t n = std::min(count - done, readEnd_ - readAt_);
        std::memcpy(out + done, readBuf_.data() + readAt_, n);
        readAt_ += n;
        done += n;
    }
    return done;
}

bool FileStream::Seek(int64_t position) {
    if (fd_ < 0) {
        SetError();
        return false;
    }
    if (!FlushWriteBuffer()) SetError();
    readAt_ = readEnd_ = 0;
    endReached = 0;
    off_t reached = position < 0 ? -1 : ::lseek(fd_, position, SEEK_SET);
    if (reached >= 0) filePos_ = reached;
    if (reached != position) {
        SetError();
        return false;
    }
    return true;
}

int64_t FileStream::Tell() {
    if (fd_ < 0) return 0;
    return filePos_ - static_cast<int64_t>(readEnd_ - readAt_) +
           static_cast<int64_t>(writeBuf_.size());
}

int64_t FileStream::Size() {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
        SetError();
        return 0;
    }
    return std::max<int64_t>(st.st_size, Tell());
}

void FileStream::Flush() {
    if (!FlushWriteBuffer()) SetError();
}

}  // namespace scq
