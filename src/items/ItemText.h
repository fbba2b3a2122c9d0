#pragma once

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace scq {

// The text a new text item shows, and the text that replaces an empty one read from a file.
inline constexpr char kTextPlaceholder[] = "<Text Expression>";

// The text of an item, in one pointer: an item is loaded millions of times over from a hostile
// file, and a std::string costs 32 bytes in the item plus a heap block for any text longer than
// 15 bytes. Here no text costs nothing but the pointer, the placeholder text is shared by every
// item that shows it, and any other text is one heap block of its bytes and a terminating 0.
//
// A text ends at its first 0 byte, as every text of a song file does: assigning bytes with a 0
// in them keeps what comes before it.
class ItemText {
public:
    ItemText() = default;
    ItemText(std::string_view text) { assign(text); }  // NOLINT: converts like a string
    ItemText(const char* text) { assign(text ? std::string_view(text) : std::string_view()); }
    ItemText(const ItemText& other) : ItemText(other.view()) {}
    ItemText(ItemText&&) noexcept = default;
    ItemText& operator=(const ItemText& other);
    ItemText& operator=(ItemText&&) noexcept = default;
    ItemText& operator=(std::string_view text) {
        assign(text);
        return *this;
    }
    ItemText& operator=(const char* text) {
        assign(text ? std::string_view(text) : std::string_view());
        return *this;
    }

    void assign(std::string_view text);
    void clear() { bytes_.reset(); }
    // The shared placeholder, as assign(kTextPlaceholder) gives it, without comparing bytes.
    void setPlaceholder() { bytes_.reset(kTextPlaceholder); }

    bool empty() const { return !bytes_; }
    size_t size() const;
    size_t length() const { return size(); }
    const char* c_str() const { return bytes_ ? bytes_.get() : ""; }
    const char* data() const { return c_str(); }
    std::string_view view() const { return std::string_view(c_str(), size()); }
    operator std::string_view() const { return view(); }  // NOLINT: reads like a string
    std::string str() const { return std::string(view()); }
    // Whether the text is held without a heap block of its own (none, or the shared placeholder).
    bool isShared() const;

    friend bool operator==(const ItemText& a, const ItemText& b) { return a.view() == b.view(); }
    friend bool operator==(const ItemText& a, std::string_view b) { return a.view() == b; }
    friend bool operator==(const ItemText& a, const char* b) {
        return a.view() == std::string_view(b ? b : "");
    }
    friend std::ostream& operator<<(std::ostream& out, const ItemText& text) {
        return out << text.view();
    }

private:
    // Frees an owned block; the shared placeholder is never freed.
    struct Release {
        void operator()(const char* bytes) const {
            if (bytes != kTextPlaceholder) std::default_delete<const char[]>()(bytes);
        }
    };
    std::unique_ptr<const char[], Release> bytes_;
};

}  // namespace scq
