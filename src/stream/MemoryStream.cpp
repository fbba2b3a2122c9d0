#include "stream/MemoryStream.h"

#include <algorithm>
#include <cstring>

namespace scq {

void CountingStream::Advance(int64_t n) {
    position_ += n;
    if (position_ > size_) size_ = position_;
}

void CountingStream::WriteByte(int) {
    Advance(1);
}

void CountingStream::WriteBlock(const void*, size_t count) {
    Advance(static_cast<int64_t>(count));
}

int CountingStream::ReadByte() {
    if (position_ < size_) {
        ++position_;
    } else {
        SetError();
    }
    return 0;
}

bool CountingStream::Seek(int64_t position) {
    if (position < 0 || position > size_) return false;
    position_ = position;
    return true;
}

MemoryStream::MemoryStream(uint16_t chunkSize) : chunkSize_(chunkSize ? chunkSize : 1024) {}

MemoryStream::MemoryStream(const void* bytes, size_t count, uint16_t chunkSize)
    : MemoryStream(chunkSize) {
    WriteBlock(bytes, count);
    Seek(0);
}

unsigned char* MemoryStream::ChunkFor(int64_t position, bool grow) {
    const size_t index = static_cast<size_t>(position / chunkSize_);
    while (grow && index >= chunks_.size()) {
        chunks_.push_back(std::make_unique<unsigned char[]>(chunkSize_));
        reserved_ += chunkSize_;
    }
    if (index >= chunks_.size()) return nullptr;
    return chunks_[index].get() + position % chunkSize_;
}

void MemoryStream::WriteByte(int byte) {
    *ChunkFor(position_, true) = static_cast<unsigned char>(byte);
    Advance(1);
}

void MemoryStream::WriteBlock(const void* bytes, size_t count) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    while (count > 0) {
        unsigned char* dst = ChunkFor(position_, true);
        size_t room = chunkSize_ - static_cast<size_t>(position_ % chunkSize_);
        size_t n = std::min(room, count);
        std::memcpy(dst, p, n);
        p += n;
        count -= n;
        Advance(static_cast<int64_t>(n));
    }
}

int MemoryStream::ReadByte() {
    unsigned char* src = position_ < size_ ? ChunkFor(position_, false) : nullptr;
    if (!src) {
        endReached = 1;
        SetError();
        return 0;
    }
    ++position_;
    return *src;
}

size_t MemoryStream::ReadBlock(void* buffer, size_t count) {
    auto* out = static_cast<unsigned char*>(buffer);
    size_t done = 0;
    while (done < count) {
        if (position_ >= size_) {
            // Like reading byte by byte: the failing read stores its 0 and raises the flag.
            out[done] = 0;
            endReached = 1;
            SetError();
            return done;
        }
        unsigned char* src = ChunkFor(position_, false);
        size_t room = chunkSize_ - static_cast<size_t>(position_ % chunkSize_);
        size_t n = std::min({room, count - done, static_cast<size_t>(size_ - position_)});
        std::memcpy(out + done, src, n);
        done += n;
        position_ += static_cast<int64_t>(n);
    }
    return done;
}

bool MemoryStream::Seek(int64_t position) {
    if (position < 0 || position > size_) return false;
    position_ = position;
    endReached = 0;
    return true;
}

void MemoryStream::Reset() {
    if (chunks_.size() > 1) chunks_.resize(1);
    reserved_ = static_cast<int64_t>(chunks_.size()) * chunkSize_;
    position_ = 0;
    size_ = 0;
    errorFlag = 0;
    endReached = 0;
}

std::vector<unsigned char> MemoryStream::Contents() const {
    std::vector<unsigned char> out;
    out.reserve(static_cast<size_t>(size_));
    for (int64_t pos = 0; pos < size_;) {
        size_t index = static_cast<size_t>(pos / chunkSize_);
        size_t n = std::min<int64_t>(chunkSize_, size_ - pos);
        out.insert(out.end(), chunks_[index].get(), chunks_[index].get() + n);
        pos += static_cast<int64_t>(n);
    }
    return out;
}

int ByteView::ReadByte() {
    if (windowNext_ == windowEnd_) {
        endReached = 1;
        SetError();
        return 0;
    }
    return *windowNext_++;
}

size_t ByteView::ReadBlock(void* buffer, size_t count) {
    const size_t n = std::min(count, static_cast<size_t>(windowEnd_ - windowNext_));
    if (n > 0) std::memcpy(buffer, windowNext_, n);
    windowNext_ += n;
    if (n < count) endReached = 1;
    return n;
}

bool ByteView::Seek(int64_t position) {
    if (position < 0) {
        SetError();
        return false;
    }
    beyondEnd_ = position > size_ ? position - size_ : 0;
    windowNext_ = bytes_ + (position - beyondEnd_);
    endReached = 0;
    return true;
}

}  // namespace scq
