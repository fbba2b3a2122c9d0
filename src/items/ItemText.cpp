#include "items/ItemText.h"

#include <cstring>

namespace scq {

ItemText& ItemText::operator=(const ItemText& other) {
    if (this != &other) assign(other.view());
    return *this;
}

void ItemText::assign(std::string_view text) {
    const size_t end = text.find('\0');
    if (end != std::string_view::npos) text = text.substr(0, end);
    if (text.empty()) {
        bytes_.reset();
    } else if (text == kTextPlaceholder) {
        bytes_.reset(kTextPlaceholder);
    } else {
        // The copy is made before the old block goes: `text` may point into it.
        auto copy = std::make_unique_for_overwrite<char[]>(text.size() + 1);
        std::memcpy(copy.get(), text.data(), text.size());
        copy[text.size()] = 0;
        bytes_.reset(copy.release());
    }
}

size_t ItemText::size() const {
    return bytes_ ? std::strlen(bytes_.get()) : 0;
}

bool ItemText::isShared() const {
    return !bytes_ || bytes_.get() == kTextPlaceholder;
}

}  // namespace scq
