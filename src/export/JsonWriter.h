#pragma once

#include <cstdio>
#include <cstring>
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
    void put(long long value) {
        if (kSize - used_ < kNumberRoom) flush();
        char* begin = buffer_.data() + used_;
        used_ += static_cast<size_t>(std::to_chars(begin, begin + kNumberRoom, value).ptr - begin);
    }
    void flush() {
        emit(std::string_view(buffer_.data(), used_));
        used_ = 0;
    }

private:
    static constexpr size_t kSize = size_t{1} << 16;
    static constexpr size_t kNumberRoom = 24;  // any 64-bit integer in decimal

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

    void key(std::string_view name) {  // names are plain ASCII
        separate();
        out_.put('"');
        out_.put(name);
        out_.put(pretty_ ? std::string_view("\": ") : std::string_view("\":"));
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
        const std::string_view comma = pretty_ ? ", " : ",";
        out_.put('[');
        out_.put(static_cast<long long>(e.time));
        out_.put(comma);
        out_.put(static_cast<long long>(e.kind()));
        out_.put(comma);
        out_.put(static_cast<long long>(e.byteA));
        out_.put(comma);
        out_.put(static_cast<long long>(e.byteB));
        out_.put(comma);
        out_.put(static_cast<long long>(e.byteC));
        out_.put(comma);
        out_.put(static_cast<long long>(e.device()));
        out_.put(']');
    }

    void field(std::string_view name, long long value) {
        key(name);
        integer(value);
    }

private:
    struct Level {
        bool empty;
        bool inlined;
    };

    // What goes before a key, or before a value that is not a member's: the comma after the
    // previous element and, when indenting, the line break.
    void separate() {
        if (afterKey_) {
            afterKey_ = false;
            return;
        }
        if (levels_.empty()) return;
        Level& level = levels_.back();
        if (!level.empty) out_.put(',');
        if (pretty_) {
            if (level.inlined) {
                if (!level.empty) out_.put(' ');
            } else {
                lineBreak(levels_.size());
            }
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
