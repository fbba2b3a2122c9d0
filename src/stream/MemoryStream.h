#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "stream/SongInputStream.h"

namespace scq {

// Counts what is written without storing it: measures how many bytes a record would take.
// Reading advances while the position is below the size and always yields 0.
class CountingStream : public SongInputStream {
public:
    void WriteByte(int byte) override;
    int ReadByte() override;
    bool Seek(int64_t position) override;
    int64_t Tell() override { return position_; }
    int64_t Size() override { return size_; }
    void WriteBlock(const void* bytes, size_t count) override;

protected:
    void Advance(int64_t n);

    int64_t position_ = 0;
    int64_t size_ = 0;  // highest position ever written
};

// A growable in-memory stream made of a chain of fixed-size chunks.
class MemoryStream : public CountingStream {
public:
    explicit MemoryStream(uint16_t chunkSize = 1024);
    // A stream that starts out holding a copy of the given bytes, positioned at 0.
    MemoryStream(const void* bytes, size_t count, uint16_t chunkSize = 4096);

    void WriteByte(int byte) override;
    int ReadByte() override;
    // A position beyond the size answers false without raising the error flag.
    bool Seek(int64_t position) override;
    // Frees every chunk but the first and empties the stream.
    void Reset() override;
    void WriteBlock(const void* bytes, size_t count) override;
    size_t ReadBlock(void* buffer, size_t count) override;

    // The whole content, for tests and tools.
    std::vector<unsigned char> Contents() const;

private:
    unsigned char* ChunkFor(int64_t position, bool grow);

    uint16_t chunkSize_;
    int64_t reserved_ = 0;  // bytes reserved in the chain
    std::vector<std::unique_ptr<unsigned char[]>> chunks_;
};

// A read-only stream over bytes that the caller owns and keeps alive, read as a file is read: a
// byte read at the end raises the error flag, a short block read does not. Writing raises it.
class ByteView : public SongInputStream {
public:
    // The read window is the unread part of the bytes: windowNext_ is the cursor.
    ByteView(const void* bytes, size_t size)
        : bytes_(static_cast<const unsigned char*>(bytes)), size_(static_cast<int64_t>(size)) {
        windowNext_ = bytes_;
        windowEnd_ = bytes_ + size;
    }

    int ReadByte() override;
    size_t ReadBlock(void* buffer, size_t count) override;
    // Any position from 0 on, as on a file; reads beyond the end find nothing.
    bool Seek(int64_t position) override;
    int64_t Tell() override { return (windowNext_ - bytes_) + beyondEnd_; }
    int64_t Size() override { return size_; }

private:
    const unsigned char* bytes_;
    int64_t size_;
    int64_t beyondEnd_ = 0;  // how far a seek went past the end
};

}  // namespace scq
