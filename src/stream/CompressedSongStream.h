#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "stream/SongInputStream.h"

namespace scq {

// The compressed form of a song file is the text "[SCZ]" and its 0 byte, followed by one zlib
// stream whose decompressed bytes are a plain song file.
inline constexpr char kCompressedMagic[] = "[SCZ]";

// Rewinds the stream and reads one string (16-byte buffer); true exactly when it is "[SCZ]"
// (case-sensitive). Afterwards the stream stands behind the magic's 0 byte, or wherever the
// string read stopped.
bool IsCompressedSongStream(SongInputStream& s);

// Reads a compressed song file and delivers the decompressed bytes, so that every reader works
// unchanged on both forms. Read-only: the write operations raise the error flag.
class CompressedSongStream : public SongInputStream {
public:
    static constexpr size_t kBufferSize = 8192;
    // The decompressed length is not stored in the container; this is what Size reports.
    static constexpr int64_t kReportedSize = 2147483632;

    enum State : int {
        kNotStarted = 0,  // also: the source is not a compressed container
        kInflating = 1,   // input still coming
        kFinishing = 2,   // the source is exhausted
        kEnded = 3,       // the zlib stream ended cleanly
        kFailed = 4,      // zlib reported an error
    };

    // Over a source owned by the caller, which must outlive this stream.
    explicit CompressedSongStream(SongInputStream& source);
    // Over a source this stream owns and destroys.
    explicit CompressedSongStream(std::unique_ptr<SongInputStream> source);
    ~CompressedSongStream() override;

    // Bytes that zlib produced before an error are still delivered; the error shows only when
    // they run out. At the clean end of the zlib stream a byte read raises the error flag.
    int ReadByte() override;
    // Backward: restarts decompression from the container's beginning. Forward: skips by
    // decompressing. False as soon as the error flag is raised on the way.
    bool Seek(int64_t position) override;
    int64_t Tell() override { return outputStart_ + static_cast<int64_t>(consumed()); }
    int64_t Size() override { return kReportedSize; }
    // Short at the clean end without raising the error flag; raises it after a zlib error.
    size_t ReadBlock(void* buffer, size_t count) override;

    State state() const { return state_; }
    bool ownsSource() const { return owned_ != nullptr; }
    // Whether zlib failed for want of memory (the stream then fails as after any zlib error).
    bool ranOutOfMemory() const { return outOfMemory_; }
    // Whether the failure (state kFailed) came when the source had run out before the zlib
    // stream ended, rather than from damaged data.
    bool sourceEndedEarly() const { return sourceEndedEarly_; }
    // What went wrong in plain words ("compressed data is corrupt", "compressed data is cut
    // short", "out of memory"); "" unless the state is kFailed.
    const char* FailureReason() const;

private:
    void Start();
    void EndInflation();
    // True when at least one undelivered byte is in the output buffer.
    bool EnsureOutput();
    size_t Produced() const { return kBufferSize - stream_.avail_out; }
    // The read window is the output buffer's undelivered part: windowNext_ is the cursor.
    size_t consumed() const { return static_cast<size_t>(windowNext_ - output_.get()); }
    // Empties the output buffer and the window, for zlib to fill again.
    void ResetOutput();

    std::unique_ptr<SongInputStream> owned_;
    SongInputStream* source_;
    State state_ = kNotStarted;
    int64_t outputStart_ = 0;  // position of the output buffer's first byte
    bool inflating_ = false;  // inflateInit done and inflateEnd still owed
    bool outOfMemory_ = false;
    bool sourceEndedEarly_ = false;
    std::unique_ptr<unsigned char[]> input_;
    std::unique_ptr<unsigned char[]> output_;
    z_stream stream_{};
};

// Writes the compressed form to a target stream: the magic on the first byte written, then the
// bytes deflated at level 9. Finishes the zlib stream on Reset and on destruction.
class CompressedSongWriter : public SongInputStream {
public:
    static constexpr size_t kBufferSize = 8192;
    static constexpr int kLevel = 9;

    enum State : int {
        kNotStarted = 0,
        kWriting = 1,
        kFinishing = 2,
        kFinished = 3,
    };

    // The target is owned by the caller and must outlive this writer.
    explicit CompressedSongWriter(SongInputStream& target);
    ~CompressedSongWriter() override;

    // ReadByte, Seek and Size keep the base behaviour: they raise the error flag.
    void WriteByte(int byte) override;
    // Number of bytes written so far (before compression).
    int64_t Tell() override { return position_; }
    // Passes on to the target.
    void Flush() override;
    // Finishes the container, then clears the error flag and the position so that a new
    // container can be written (the next byte starts it over the target's beginning).
    void Reset() override;
    // Finishes the container; later writes raise the error flag until Reset.
    void Finish();

    State state() const { return state_; }

private:
    bool Start();
    // Deflates the pending input with Z_NO_FLUSH.
    void CompressInput();
    // Writes what deflate produced to the target and gives it the whole output buffer again.
    void WriteOutput();

    SongInputStream& target_;
    State state_ = kNotStarted;
    bool startFailed_ = false;  // the magic could not be written; cleared by Reset
    int64_t position_ = 0;
    size_t pending_ = 0;      // bytes in the input buffer
    bool deflating_ = false;  // deflateInit done and deflateEnd still owed
    std::unique_ptr<unsigned char[]> input_;
    std::unique_ptr<unsigned char[]> output_;
    z_stream stream_{};
};

}  // namespace scq
