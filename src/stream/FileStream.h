#pragma once

#include <cstdint>
#include <vector>

#include "stream/SongInputStream.h"

namespace scq {

// A stream over a file, on the POSIX file API, with an internal buffer so that byte-by-byte
// readers stay fast. At end of file a byte read raises the error flag; a short block read
// does not. Once a read has met the end of the file, later reads answer from that memory
// without asking the system again, until a seek or a write.
class FileStream : public SongInputStream {
public:
    enum OpenFlags : unsigned {
        kRead = 1,
        kWrite = 2,
        kShareRead = 4,   // accepted; POSIX has no sharing modes to ask for
        kShareWrite = 8,  // accepted; POSIX has no sharing modes to ask for
    };

    FileStream() = default;
    FileStream(const char* path, unsigned flags) { Open(path, flags); }
    ~FileStream() override;

    // Closes any open file, clears the error flag, then opens. Reading (alone or with
    // writing) needs an existing regular file; writing alone creates or truncates. Anything
    // that is not a regular file (directory, device, pipe) fails to open, so that a reader can
    // never block or run forever on it.
    bool Open(const char* path, unsigned flags);
    // Writes out what is buffered and closes; a failed write raises the error flag.
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    // Why the last Open failed: the system's error number (ENOENT, EACCES, ...), EISDIR for a
    // directory, kNotRegular for any other entry that is not a regular file; 0 after a
    // successful open.
    static constexpr int kNotRegular = -1;
    int openError() const { return openError_; }
    // The read() calls made since the file was opened.
    uint64_t readCalls() const { return readCalls_; }

    void WriteByte(int byte) override;
    int ReadByte() override;
    bool Seek(int64_t position) override;
    int64_t Tell() override;
    int64_t Size() override;
    void Flush() override;
    void WriteBlock(const void* bytes, size_t count) override;
    size_t ReadBlock(void* buffer, size_t count) override;

private:
    bool FillReadBuffer();
    void DropReadBuffer();
    bool FlushWriteBuffer();

    int64_t SystemRead(void* buffer, size_t count);

    int fd_ = -1;
    int openError_ = 0;
    uint64_t readCalls_ = 0;
    int64_t filePos_ = 0;  // position of the descriptor
    std::vector<unsigned char> readBuf_;
    size_t readAt_ = 0;
    size_t readEnd_ = 0;
    std::vector<unsigned char> writeBuf_;
};

}  // namespace scq
