#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace scq::dump {

// Decodes windows-1252 bytes (up to the first 0 byte, or `size` bytes) into UTF-8, following
// the WHATWG mapping: 0x80-0x9F take their assigned characters, and the five bytes without one
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control characters of the same number.
std::string Windows1252ToUtf8(const char* text, size_t size);

// Lowercase hexadecimal text of a block of bytes.
std::string HexBytes(const uint8_t* bytes, size_t size);

}  // namespace scq::dump
