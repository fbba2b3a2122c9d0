#include "cli/PlayTimeFormat.h"

#include <cstdio>

namespace scq {

char* FormatPlayTime(int seconds, char* buffer) {
    // None of these divisions can overflow: the divisors are positive constants.
    const int hours = seconds / 3600;
    const int minutes = (seconds % 3600) / 60;
    const int rest = seconds % 60;
    // The longest text, for INT_MIN, is "-596523:-14:-8"; the buffer holds far more.
    if (hours != 0) {
        std::snprintf(buffer, kPlayTimeBufferSize, "%d:%02d:%02d", hours, minutes, rest);
    } else {
        std::snprintf(buffer, kPlayTimeBufferSize, "%d:%02d", minutes, rest);
    }
    return buffer;
}

}  // namespace scq
