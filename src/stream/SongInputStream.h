#pragma once

#include <cstddef>
#include <cstdint>

namespace scq {

// The byte stream every reader of the song file takes its bytes from.
//
// Errors are never thrown: every stream keeps a sticky error flag that a failing operation
// sets and that only Rewind (and opening a file, and the compressed writer's Reset) clears.
// A failed read returns 0. The virtual operations are declared in their fixed slot order.
class SongInputStream {
public:
    SongInputStream() = default;
    SongInputStream(const SongInputStream&) = delete;
    SongInputStream& operator=(const SongInputStream&) = delete;

    // slot 0
    virtual ~SongInputStream() = default;
    // slot 1
    virtual void SetError() { errorFlag = 1; }
    // slot 2
    virtual void WriteByte(int byte);
    // slot 3: one byte in the low 8 bits, or 0 with the error flag set.
    virtual int ReadByte();
    // slot 4
    virtual bool Seek(int64_t position);
    // slot 5
    virtual int64_t Tell();
    // slot 6
    virtual int64_t Size();
    // slot 7
    virtual void Flush() {}
    // slot 8: clears the error flag, then seeks to 0.
    virtual bool Rewind();
    // slot 9
    virtual void Reset();
    // slot 10
    virtual void ResetFilled(int64_t count);
    // slot 11
    virtual void WriteBlock(const void* bytes, size_t count);
    // slot 12: returns the number of bytes delivered.
    virtual size_t ReadBlock(void* buffer, size_t count);

    bool HasError() const { return errorFlag != 0; }
    // Whether a read came up short at the end of the data (with or without raising the error
    // flag). Cleared where the error flag is cleared, and by a seek.
    bool ReachedEnd() const { return endReached != 0; }

    // ReadByte, taken from the read window without a virtual call when the window holds a byte.
    int ReadU8() {
        if (errorFlag == 0 && windowNext_ != windowEnd_) return *windowNext_++;
        return ReadByte();
    }

    // Little-endian 16-bit word. A short read counts the missing bytes as 0 and does not by
    // itself raise the error flag (a file stream's short block read never does).
    int ReadInt16() { return static_cast<int16_t>(static_cast<uint16_t>(ReadUInt16())); }
    // Taken as unsigned: 0..65535.
    unsigned ReadUInt16() {
        if (errorFlag == 0 && windowEnd_ - windowNext_ >= 2) {
            const unsigned v = windowNext_[0] | (static_cast<unsigned>(windowNext_[1]) << 8);
            windowNext_ += 2;
            return v;
        }
        return ReadUInt16Block();
    }
    int32_t ReadInt32();

    // Reads a NUL-terminated string into a buffer of `max` bytes (max >= 1). A longer string
    // keeps its first max-1 characters; the rest, up to and including its 0, is consumed so
    // the stream stays aligned. Returns the number of characters stored.
    size_t ReadString(char* buffer, size_t max) {
        if (errorFlag == 0 && windowNext_ != windowEnd_ && *windowNext_ == 0) {
            // The empty string, the commonest of all.
            ++windowNext_;
            buffer[0] = 0;
            return 0;
        }
        return ReadStringGeneral(buffer, max);
    }

    // Reads up to a 0 byte or a line feed, skipping carriage returns; stores at most max-1
    // characters and a terminator. Returns the number of characters met.
    size_t ReadLine(char* buffer, size_t max);

    void WriteInt16(int value);
    void WriteInt32(int32_t value);
    // Writes the characters and a terminating 0; a null text writes only the 0.
    void WriteString(const char* text);

    int errorFlag = 0;
    int endReached = 0;

protected:
    // The read window: bytes that a buffering stream already holds, [windowNext_, windowEnd_).
    // While the error flag is clear, the readers above take them without a virtual call; a
    // stream that keeps a window uses windowNext_ as its read cursor, so nothing needs to be
    // handed back. Streams without one leave it empty. The window must hold exactly the bytes
    // that ReadByte and ReadBlock would deliver next while the error flag is clear.
    const unsigned char* windowNext_ = nullptr;
    const unsigned char* windowEnd_ = nullptr;

private:
    unsigned ReadUInt16Block();
    // ReadString for every case but an empty string already in the window.
    size_t ReadStringGeneral(char* buffer, size_t max);
};

}  // namespace scq
