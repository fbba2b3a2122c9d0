#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace scq {

// Decodes windows-1252 bytes (up to the first 0 byte, or `size` bytes) into UTF-8, following
// the WHATWG mapping: 0x80-0x9F take their assigned characters, and the five bytes without one
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control characters of the same number.
std::string Windows1252ToUtf8(const char* text, size_t size);

// Whether the bytes form valid UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(const char* text, size_t size);

// A file name as given, for a JSON string: unchanged when it is valid UTF-8, as on most systems;
// otherwise decoded as windows-1252, which maps every byte to its own character, so that no
// byte of the name is lost or replaced.
std::string FileNameText(const char* name);

// Lowercase hexadecimal text of a block of bytes.
std::string HexBytes(const uint8_t* bytes, size_t size);

}  // namespace scq
