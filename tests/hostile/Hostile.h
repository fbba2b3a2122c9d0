#pragma once

// Helpers of the hostile-input tests: loading bytes the way the file loader does, the
// promises every loaded song keeps, time measurement and running the scqinfo program.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "song/Song.h"
#include "song/SongFile.h"
#include "support/Process.h"
#include "support/SongBuilder.h"

#if defined(__SANITIZE_ADDRESS__)
#define SCQ_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SCQ_TEST_SANITIZED 1
#endif
#endif

namespace scq::test {

#ifdef SCQ_TEST_SANITIZED
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif

struct Loaded {
    SongFileInfo info;
    std::unique_ptr<Song> song;
};

// Loads bytes held in memory as the file loader loads a file: through the compressed stream
// when they start with its magic, plainly otherwise.
Loaded LoadFromMemory(const Bytes& bytes);

// A load returns a song exactly for these statuses.
bool StatusGivesSong(int status);

// The promises of a loaded song, as a failure message ("" when all hold): at least one staff,
// every staff opens and closes with a bar line, at most nine lyric lines.
std::string CheckWellFormed(const Song& song);

// Audits the song and measures both play times (what the front end does with a song).
void AuditAndPlay(Song& song);

class Stopwatch {
public:
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace scq::test
