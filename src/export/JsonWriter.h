#pragma once

#include <cstdio>
#include <cstring>
#include <iterator>
#include <charconv>
#include <string>
#include <string_view>
#include <vector>

#include "export/Text.h"
#include "perform/SequenceEvent.h"

namespace scq::json {

// document runs to hundreds of megabytes for a large song, so it is never held whole, and
// formatting each number through the stdio format parser would cost several times the rendering
// that produced the events.
class BlockWriter {
public:
    explicit BlockWriter(std::FILE* out) : out_(out) {}
    explicit BlockWriter(std::string* text) : text_(text) {}
    ~BlockWriter() { flush(); }
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;

    void put(std::string_view text) {
        if (text.size() > kSize - used_) {
            flush();
            if (text.size() > kSize) {
                emit(text);
                return;
            }
        }
        std::memcpy(buffer_.data() + used_, text.data(), text.size());
        used_ += text.size();
    }
    void put(char c) {
        if (used_ == kSize) flush();
        buffer_[used_++] = c;
    }
    void put(long long value) { commit(number(room(kNumberRoom), value)); }
    // Room for `n` bytes at the end (n at most the block's size), to be written straight
    // through the pointer and then taken with commit(the end of what was written).
    char* room(size_t n) {
        if (kSize - used_ < n) flush();
        return buffer_.data() + used_;
    }
    void commit(char* end) { used_ = static_cast<size_t>(end - buffer_.data()); }
    // Writes a number in decimal at `at`, which has kNumberRoom bytes; returns its end.
    static char* number(char* at, long long value) {
        if (value >= 0 && value < 1000) {  // most fields, and every byte of an event
            const auto v = static_cast<unsigned>(value);
            if (v >= 100) *at++ = static_cast<char>('0' + v / 100);
            if (v >= 10) *at++ = static_cast<char>('0' + v / 10 % 10);
            *at++ = static_cast<char>('0' + v % 10);
            return at;
        }
        return std::to_chars(at, at + kNumberRoom, value).ptr;
    }
    void flush() {
        emit(std::string_view(buffer_.data(), used_));
        used_ = 0;
    }

    static constexpr size_t kSize = size_t{1} << 16;
    static constexpr size_t kNumberRoom = 24;  // any 64-bit integer in decimal

private:

    void emit(std::string_view text) {
        if (text.empty()) return;
        if (out_) std::fwrite(text.data(), 1, text.size(), out_);
        if (text_) text_->append(text);
    }

    std::FILE* out_ = nullptr;
    std::string* text_ = nullptr;
    std::vector<char> buffer_ = std::vector<char>(kSize);
    size_t used_ = 0;
};

// Writes JSON text straight to a BlockWriter: compact, or indented by two spaces per level with
// ": " between key and value. An inline array keeps its elements on one line even when indented.
// Every member is a key() followed by exactly one value or container.
class Writer {
public:
    Writer(BlockWriter& out, bool pretty) : out_(out), pretty_(pretty) {}

    void beginObject() { open('{', false); }
    void endObject() { close('}'); }
    void beginArray(bool inlined = false) { open('[', inlined); }
    void endArray() { close(']'); }

    void key(std::string_view name) {  // names are plain ASCII, of at most kMaxKey bytes
        separate();
        out_.commit(keyAt(out_.room(kMaxKey + 4), name));
        afterKey_ = true;
    }
    void integer(long long value) {
        separate();
        out_.put(value);
    }
    void null() {
        separate();
        out_.put(std::string_view("null"));
    }
    // A valid UTF-8 text as a JSON string.
    void string(std::string_view utf8);
    // A byte text of the song, decoded as windows-1252, up to its first 0 byte or `size` bytes.
    void text(const char* bytes, size_t size);
    template <size_t N>
    void text(const char (&field)[N]) {
        text(field, N);
    }
    void text(std::string_view s) { text(s.data(), s.size()); }
    // A 32-bit float: a number that reads back as the same float (every float is exactly a
    // double, and the library writes a double so that it reads back as itself), or a string
    // for NaN and the infinities, which no JSON number can hold.
    void number(float f);
    // One event row: [time, kind, a, b, c, device], always on one line.
    void event(const SequenceEvent& e) {
        separate();
        char* p = out_.room(6 * (BlockWriter::kNumberRoom + 2) + 2);
        *p++ = '[';
        const long long values[] = {e.time, e.kind(), e.byteA, e.byteB, e.byteC, e.device()};
        for (size_t i = 0; i < std::size(values); ++i) {
            if (i > 0) {
                *p++ = ',';
                if (pretty_) *p++ = ' ';
            }
            p = BlockWriter::number(p, values[i]);
        }
        *p++ = ']';
        out_.commit(p);
    }

    // A member with an integer value. Inlined wherever it is called, so that the copy of a
    // literal name takes a few moves: a document writes tens of millions of members.
    [[gnu::always_inline]] void field(std::string_view name, long long value) {
        separate();
        char* p = keyAt(out_.room(kMaxKey + 4 + BlockWriter::kNumberRoom), name);
        out_.commit(BlockWriter::number(p, value));
    }

private:
    static constexpr size_t kMaxKey = 64;

    // Writes "name": at `at`, which has room for kMaxKey + 4 bytes; returns its end.
    [[gnu::always_inline]] char* keyAt(char* at, std::string_view name) const {
        const size_t n = name.size() < kMaxKey ? name.size() : kMaxKey;
        *at++ = '"';
        std::memcpy(at, name.data(), n);
        at += n;
        *at++ = '"';
        *at++ = ':';
        if (pretty_) *at++ = ' ';
        return at;
    }

    struct Level {
        bool empty;
        bool inlined;
    };

    // What goes before a key, or before a value that is not a member's: the comma after the
    // previous element and, when indenting, the line break.
    [[gnu::always_inline]] void separate() {
        if (afterKey_) {
            afterKey_ = false;
            return;
        }
        if (levels_.empty()) return;
        Level& level = levels_.back();
        if (pretty_) return separatePretty(level);
        if (!level.empty) out_.put(',');
        level.empty = false;
    }
    void separatePretty(Level& level) {
        if (!level.empty) out_.put(',');
        if (level.inlined) {
            if (!level.empty) out_.put(' ');
        } else {
            lineBreak(levels_.size());
        }
        level.empty = false;
    }
    void open(char bracket, bool inlined) {
        separate();
        out_.put(bracket);
        const bool inInline = !levels_.empty() && levels_.back().inlined;
        levels_.push_back({true, inlined || inInline});
    }
    void close(char bracket) {
        const Level level = levels_.back();
        levels_.pop_back();
        if (pretty_ && !level.empty && !level.inlined) lineBreak(levels_.size());
        out_.put(bracket);
    }
    void lineBreak(size_t depth) {
        static constexpr std::string_view kSpaces = "                                ";
        out_.put('\n');
        for (size_t n = depth * 2; n > 0;) {
            const size_t step = n < kSpaces.size() ? n : kSpaces.size();
            out_.put(kSpaces.substr(0, step));
            n -= step;
        }
    }

    BlockWriter& out_;
    bool pretty_;
    bool afterKey_ = false;
    std::vector<Level> levels_;
};

}  // namespace scq::json
