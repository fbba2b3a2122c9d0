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
    [[gnu::always_inline]] void put(char c) {
        if (used_ == kSize) flush();
        buffer_[used_++] = c;
    }
    void put(long long value) { commit(number(room(kNumberRoom), value)); }
    // Room for `n` bytes at the end (n at most the block's size), to be written straight
    // through the pointer and then taken with commit(the end of what was written).
    [[gnu::always_inline]] char* room(size_t n) {
        if (kSize - used_ < n) flush();
        return buffer_.data() + used_;
    }
    void commit(char* end) { used_ = static_cast<size_t>(end - buffer_.data()); }
    // Writes a number in decimal at `at`, which has kNumberRoom bytes; returns its end.
    [[gnu::always_inline]] static char* number(char* at, long long value) {
        if (value >= 0 && value < 1000) {  // most fields, and every byte of an event
            const auto v = static_cast<unsigned>(value);
            if (v >= 100) *at++ = static_cast<char>('0' + v / 100);
            if (v >= 10) *at++ = static_cast<char>('0' + v / 10 % 10);
            *at++ = static_cast<char>('0' + v % 10);
            return at;
        }
        return largeNumber(at, value);
    }
    [[gnu::noinline]] static char* largeNumber(char* at, long long value) {
        return std::to_chars(at, at + kNumberRoom, value).ptr;
    }
    [[gnu::noinline]] void flush() {
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
        char* p = separateAt(out_.room(separatorRoom() + kMaxKey + 4));
        out_.commit(keyAt(p, name));
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
        const bool pretty = pretty_;  // read once: the stores below may alias any member
        char* p = separateAt(out_.room(separatorRoom() + 6 * (BlockWriter::kNumberRoom + 2) + 2));
        *p++ = '[';
        p = BlockWriter::number(p, e.time);
        const auto next = [&p, pretty](long long value) {
            *p++ = ',';
            if (pretty) *p++ = ' ';
            p = BlockWriter::number(p, value);
        };
        next(e.kind());
        next(e.byteA);
        next(e.byteB);
        next(e.byteC);
        next(e.device());
        *p++ = ']';
        out_.commit(p);
    }
    // A string known to need no escaping (plain ASCII names), of at most kMaxKey bytes.
    void plainString(std::string_view ascii) {
        char* p = separateAt(out_.room(separatorRoom() + kMaxKey + 2));
        *p++ = '"';
        std::memcpy(p, ascii.data(), ascii.size() < kMaxKey ? ascii.size() : kMaxKey);
        p += ascii.size() < kMaxKey ? ascii.size() : kMaxKey;
        *p++ = '"';
        out_.commit(p);
    }

    // A member with an integer value. Inlined wherever it is called, so that the copy of a
    // literal name takes a few moves: a document writes tens of millions of members.
    [[gnu::always_inline]] void field(std::string_view name, long long value) {
        char* p = out_.room(separatorRoom() + kMaxKey + 4 + BlockWriter::kNumberRoom);
        p = keyAt(separateAt(p), name);
        out_.commit(BlockWriter::number(p, value));
    }

    // Consecutive members with integer values, given as name, value, name, value, ... with
    // literal names. Compact, they take one reservation of the block and no separator decision
    // after the first: an item writes dozens of members, and the document of a large song tens
    // of millions.
    template <class... NamesAndValues>
    [[gnu::always_inline]] void fields(const NamesAndValues&... list) {
        static_assert(sizeof...(list) % 2 == 0, "a value for every name");
        if (pretty_) return fieldsOneByOne(list...);
        constexpr size_t n = sizeof...(list) / 2;
        out_.commit(membersAt(separateAt(out_.room(n * (kMaxKey + 5 + BlockWriter::kNumberRoom))),
                              list...));
    }

private:
    template <size_t K, class Value, class... Rest>
    [[gnu::always_inline]] static char* membersAt(char* at, const char (&name)[K],
                                                  const Value& value, const Rest&... rest) {
        static_assert(K - 1 <= kMaxKey);
        *at++ = '"';
        std::memcpy(at, name, K - 1);
        at += K - 1;
        *at++ = '"';
        *at++ = ':';
        at = BlockWriter::number(at, static_cast<long long>(value));
        if constexpr (sizeof...(rest) > 0) {
            *at++ = ',';
            return membersAt(at, rest...);
        }
        return at;
    }
    template <size_t K, class Value, class... Rest>
    void fieldsOneByOne(const char (&name)[K], const Value& value, const Rest&... rest) {
        field(std::string_view(name, K - 1), static_cast<long long>(value));
        if constexpr (sizeof...(rest) > 0) fieldsOneByOne(rest...);
    }

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
    // previous element and, when indenting, the line break. Written at `at`, which has
    // separatorRoom() bytes; returns its end. Every member takes one reservation of the block
    // for its separator, key and value together.
    [[gnu::always_inline]] char* separateAt(char* at) {
        if (afterKey_) {
            afterKey_ = false;
            return at;
        }
        if (levels_.empty()) return at;
        Level& level = levels_.back();
        const bool first = level.empty;
        level.empty = false;
        if (pretty_) return separatePrettyAt(at, first, level.inlined);
        if (!first) *at++ = ',';
        return at;
    }
    // The depth is the document's nesting, a few dozen levels at most, far below a block.
    size_t separatorRoom() const { return pretty_ ? 2 + 2 * levels_.size() : 1; }
    char* separatePrettyAt(char* at, bool first, bool inlined) const {
        if (!first) *at++ = ',';
        if (inlined) {
            if (!first) *at++ = ' ';
            return at;
        }
        *at++ = '\n';
        std::memset(at, ' ', 2 * levels_.size());
        return at + 2 * levels_.size();
    }
    void separate() { out_.commit(separateAt(out_.room(separatorRoom()))); }
    void open(char bracket, bool inlined) {
        char* p = separateAt(out_.room(separatorRoom() + 1));
        *p++ = bracket;
        out_.commit(p);
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
