#pragma once

#include <cstddef>

namespace scq {

// Size of the text buffer that FormatPlayTime fills; enough for any int.
inline constexpr size_t kPlayTimeBufferSize = 32;

// Writes a play time as "m:ss", or "h:mm:ss" from one hour on (hours are not zero-filled and
// have no upper limit), into a buffer of kPlayTimeBufferSize bytes and returns the buffer.
// Division truncates toward zero, so a negative time gives negative parts ("-1:-5" for -65).
char* FormatPlayTime(int seconds, char* buffer);

}  // namespace scq
