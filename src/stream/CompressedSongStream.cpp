#include "stream/CompressedSongStream.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace scq {

bool IsCompressedSongStream(SongInputStream& s) {
    s.Rewind();
    char magic[16];
    s.ReadString(magic, sizeof magic);
    return std::strcmp(magic, kCompressedMagic) == 0;
}

// ---------------------------------------------------------------------------------------------
// Reading

CompressedSongStream::CompressedSongStream(SongInputStream& source)
    : source_(&source),
      input_(std::make_unique<unsigned char[]>(kBufferSize)),
      output_(std::make_unique<unsigned char[]>(kBufferSize)) {
    windowNext_ = windowEnd_ = output_.get();
}

CompressedSongStream::CompressedSongStream(std::unique_ptr<SongInputStream> source)
    : CompressedSongStream(*source) {
    owned_ = std::move(source);
}

CompressedSongStream::~CompressedSongStream() {
    EndInflation();
}

void CompressedSongStream::EndInflation() {
    if (inflating_) inflateEnd(&stream_);
    inflating_ = false;
    state_ = kNotStarted;
}

void CompressedSongStream::Start() {
    // The probe rewinds the source, so a restart re-reads the container from its beginning.
    if (!IsCompressedSongStream(*source_)) return;
    state_ = kInflating;
    stream_ = z_stream{};
    const int init = inflateInit(&stream_);
    inflating_ = init == Z_OK;
    if (init == Z_MEM_ERROR) outOfMemory_ = true;
    // A failed initialisation shows as a zlib error on the first inflate.
    stream_.next_in = input_.get();
    stream_.avail_in = 0;
    ResetOutput();
}

void CompressedSongStream::ResetOutput() {
    stream_.next_out = output_.get();
    stream_.avail_out = kBufferSize;
    windowNext_ = windowEnd_ = output_.get();
}

bool CompressedSongStream::EnsureOutput() {
    if (state_ == kNotStarted) Start();
    if (errorFlag || state_ == kNotStarted) return false;
    for (;;) {
        if (Produced() != consumed()) return true;
        // Everything produced has been delivered: give zlib the whole output buffer again.
        outputStart_ += static_cast<int64_t>(consumed());
        ResetOutput();
        if (state_ == kInflating && stream_.avail_in == 0) {
            stream_.next_in = input_.get();
            size_t got = source_->ReadBlock(input_.get(), kBufferSize);
            stream_.avail_in = static_cast<uInt>(got);
            if (got == 0) state_ = kFinishing;
        }
        if (state_ == kInflating || state_ == kFinishing) {
            const bool finishing = state_ == kFinishing;
            int result = inflate(&stream_, finishing ? Z_FINISH : Z_PARTIAL_FLUSH);
            if (result == Z_STREAM_END) {
                state_ = kEnded;
            } else if (result != Z_OK) {
                // Under Z_FINISH zlib also answers Z_BUF_ERROR when the output buffer is merely
                // full; that is more data, not damage.
                const bool outputFull =
                    finishing && result == Z_BUF_ERROR && stream_.avail_out == 0;
                if (!outputFull) {
                    state_ = kFailed;
                    sourceEndedEarly_ = finishing && result == Z_BUF_ERROR;
                }
                if (result == Z_MEM_ERROR) outOfMemory_ = true;
            }
            windowEnd_ = output_.get() + Produced();
        }
        if (Produced() == 0 && (state_ == kEnded || state_ == kFailed)) {
            if (state_ == kEnded) endReached = 1;
            return false;
        }
    }
}

int CompressedSongStream::ReadByte() {
    // Most reads find their byte already inflated.
    if (errorFlag == 0 && windowNext_ != windowEnd_) return *windowNext_++;
    if (!EnsureOutput()) {
        SetError();
        return 0;
    }
    return *windowNext_++;
}

size_t CompressedSongStream::ReadBlock(void* buffer, size_t count) {
    auto* out = static_cast<unsigned char*>(buffer);
    if (errorFlag == 0 && count <= static_cast<size_t>(windowEnd_ - windowNext_)) {
        // The common case of a field's few bytes, already inflated.
        std::memcpy(out, windowNext_, count);
        windowNext_ += count;
        return count;
    }
    size_t done = 0;
    while (done < count && EnsureOutput()) {
        size_t n = std::min(count - done, static_cast<size_t>(windowEnd_ - windowNext_));
        std::memcpy(out + done, windowNext_, n);
        windowNext_ += n;
        done += n;
    }
    // A source that is not a container fails every read.
    if (state_ == kFailed || (state_ == kNotStarted && done < count)) SetError();
    return done;
}

bool CompressedSongStream::Seek(int64_t position) {
    if (position < 0) {
        SetError();
        return false;
    }
    if (position < Tell()) {
        EndInflation();
        endReached = 0;
        sourceEndedEarly_ = false;
        outputStart_ = 0;
        windowNext_ = windowEnd_ = output_.get();
    }
    while (Tell() < position) {
        if (!EnsureOutput()) {
            SetError();
            return false;
        }
        const auto available = static_cast<int64_t>(windowEnd_ - windowNext_);
        windowNext_ += std::min(available, position - Tell());
    }
    return true;
}

const char* CompressedSongStream::FailureReason() const {
    if (state_ != kFailed) return "";
    if (outOfMemory_) return "out of memory";
    return sourceEndedEarly_ ? "compressed data is cut short" : "compressed data is corrupt";
}

// ---------------------------------------------------------------------------------------------
// Writing

CompressedSongWriter::CompressedSongWriter(SongInputStream& target)
    : target_(target),
      input_(std::make_unique<unsigned char[]>(kBufferSize)),
      output_(std::make_unique<unsigned char[]>(kBufferSize)) {}

CompressedSongWriter::~CompressedSongWriter() {
    Finish();
    if (deflating_) deflateEnd(&stream_);
}

bool CompressedSongWriter::Start() {
    stream_ = z_stream{};
    target_.Reset();
    target_.WriteString(kCompressedMagic);
    if (target_.HasError()) {
        SetError();
        startFailed_ = true;
        return false;
    }
    state_ = kWriting;
    deflating_ = deflateInit(&stream_, kLevel) == Z_OK;
    // A failed initialisation shows as a deflate error on the first compression.
    pending_ = 0;
    stream_.next_out = output_.get();
    stream_.avail_out = kBufferSize;
    return true;
}

void CompressedSongWriter::WriteByte(int byte) {
    if (state_ == kNotStarted && !startFailed_) Start();
    if (state_ != kWriting) {
        SetError();
        return;
    }
    input_[pending_++] = static_cast<unsigned char>(byte);
    ++position_;
    if (pending_ == kBufferSize) CompressInput();
}

void CompressedSongWriter::WriteOutput() {
    size_t produced = kBufferSize - stream_.avail_out;
    if (produced > 0) {
        target_.WriteBlock(output_.get(), produced);
        if (target_.HasError()) SetError();
    }
    stream_.next_out = output_.get();
    stream_.avail_out = kBufferSize;
}

void CompressedSongWriter::CompressInput() {
    stream_.next_in = input_.get();
    stream_.avail_in = static_cast<uInt>(pending_);
    while (stream_.avail_in > 0) {
        int result = deflate(&stream_, Z_NO_FLUSH);
        WriteOutput();
        if (result != Z_OK) {
            SetError();
            break;
        }
    }
    stream_.avail_in = 0;
    pending_ = 0;
}

void CompressedSongWriter::Finish() {
    if (state_ != kWriting) return;
    if (pending_ > 0) CompressInput();
    state_ = kFinishing;
    stream_.next_in = input_.get();
    stream_.avail_in = 0;
    int result = Z_OK;
    for (;;) {
        result = deflate(&stream_, Z_FINISH);
        size_t produced = kBufferSize - stream_.avail_out;
        WriteOutput();
        if (produced == 0 || result != Z_OK) break;
    }
    if (deflating_) deflateEnd(&stream_);
    deflating_ = false;
    target_.Flush();
    if (target_.HasError()) SetError();
    state_ = kFinished;
    if (result != Z_OK && result != Z_STREAM_END) SetError();
}

void CompressedSongWriter::Reset() {
    Finish();
    errorFlag = 0;
    position_ = 0;
    pending_ = 0;
    startFailed_ = false;
    state_ = kNotStarted;
}

void CompressedSongWriter::Flush() {
    target_.Flush();
}

}  // namespace scq
