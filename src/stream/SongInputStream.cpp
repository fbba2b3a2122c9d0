#include "stream/SongInputStream.h"

#include <algorithm>
#include <cstring>

namespace scq {

void SongInputStream::WriteByte(int) {
    SetError();
}

int SongInputStream::ReadByte() {
    SetError();
    return 0;
}

bool SongInputStream::Seek(int64_t) {
    SetError();
    return false;
}

int64_t SongInputStream::Tell() {
    SetError();
    return 0;
}

int64_t SongInputStream::Size() {
    SetError();
    return 0;
}

bool SongInputStream::Rewind() {
    errorFlag = 0;
    endReached = 0;
    return Seek(0);
}

void SongInputStream::Reset() {
    Rewind();
}

void SongInputStream::ResetFilled(int64_t count) {
    Reset();
    for (int64_t i = 0; i < count; ++i) WriteByte(0);
    Rewind();
}

void SongInputStream::WriteBlock(const void* bytes, size_t count) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (size_t i = 0; i < count; ++i) WriteByte(p[i]);
}

size_t SongInputStream::ReadBlock(void* buffer, size_t count) {
    auto* p = static_cast<unsigned char*>(buffer);
    for (size_t i = 0; i < count; ++i) {
        p[i] = static_cast<unsigned char>(ReadByte());
        if (errorFlag) return i;
    }
    return count;
}

unsigned SongInputStream::ReadUInt16Block() {
    unsigned char b[2] = {0, 0};
    size_t got = ReadBlock(b, 2);
    if (got < 2) b[1] = 0;
    if (got < 1) b[0] = 0;
    return static_cast<unsigned>(b[0]) | (static_cast<unsigned>(b[1]) << 8);
}

int32_t SongInputStream::ReadInt32() {
    if (errorFlag == 0 && windowEnd_ - windowNext_ >= 4) {
        const unsigned char* w = windowNext_;
        windowNext_ += 4;
        return static_cast<int32_t>(static_cast<uint32_t>(w[0]) |
                                    (static_cast<uint32_t>(w[1]) << 8) |
                                    (static_cast<uint32_t>(w[2]) << 16) |
                                    (static_cast<uint32_t>(w[3]) << 24));
    }
    unsigned char b[4] = {0, 0, 0, 0};
    size_t got = ReadBlock(b, 4);
    for (size_t i = got; i < 4; ++i) b[i] = 0;
    uint32_t v = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                 (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
    return static_cast<int32_t>(v);
}

size_t SongInputStream::ReadStringGeneral(char* buffer, size_t max) {
    if (errorFlag == 0 && windowNext_ != windowEnd_) {
        // The whole string, its 0 included, already in the window.
        const size_t held = static_cast<size_t>(windowEnd_ - windowNext_);
        const void* zero = std::memchr(windowNext_, 0, held);
        if (zero) {
            const size_t length = static_cast<size_t>(static_cast<const unsigned char*>(zero) -
                                                      windowNext_);
            const size_t stored = std::min(length, max > 0 ? max - 1 : 0);
            std::memcpy(buffer, windowNext_, stored);
            buffer[stored] = 0;
            windowNext_ += length + 1;
            return stored;
        }
    }
    size_t at = 0;
    size_t free = max > 0 ? max - 1 : 0;
    char c = static_cast<char>(ReadByte());
    buffer[0] = c;
    while (c != 0) {
        c = static_cast<char>(ReadByte());
        if (free > 0) {
            ++at;
            --free;
        }
        buffer[at] = c;
    }
    return at;
}

size_t SongInputStream::ReadLine(char* buffer, size_t max) {
    size_t met = 0;
    size_t stored = 0;
    for (;;) {
        int c = ReadByte();
        if (errorFlag || c == 0 || c == '\n') break;
        if (c == '\r') continue;
        ++met;
        if (max > 0 && stored + 1 < max) buffer[stored++] = static_cast<char>(c);
    }
    if (max > 0) buffer[stored] = 0;
    return met;
}

void SongInputStream::WriteInt16(int value) {
    unsigned char b[2] = {static_cast<unsigned char>(value & 0xFF),
                          static_cast<unsigned char>((value >> 8) & 0xFF)};
    WriteBlock(b, 2);
}

void SongInputStream::WriteInt32(int32_t value) {
    uint32_t v = static_cast<uint32_t>(value);
    unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                          static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    WriteBlock(b, 4);
}

void SongInputStream::WriteString(const char* text) {
    if (text) {
        for (const char* p = text; *p; ++p) WriteByte(static_cast<unsigned char>(*p));
    }
    WriteByte(0);
}

}  // namespace scq
