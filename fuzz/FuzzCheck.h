#pragma once

// What every fuzz target shares: a check that turns a broken promise into a crash that the
// fuzzer records, and the invariants of a loaded song.

#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "song/Song.h"
#include "song/SongFile.h"
#include "song/Staff.h"

namespace scq::fuzz {

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort();
}

#define SCQ_FUZZ_CHECK(cond) ((cond) ? (void)0 : ::scq::fuzz::Fail(#cond, __FILE__, __LINE__))

// A load returns a song exactly for the statuses that promise one.
inline bool StatusGivesSong(LoadStatus status) {
    return status == kLoadEmpty || status == kLoadNewest || status == kLoadOlder ||
           status == kLoadCorrupt;
}

// Loads the input as a song file held in memory; a song comes back exactly for the statuses
// that promise one.
inline std::unique_ptr<Song> LoadChecked(const uint8_t* data, size_t size) {
    SongFileInfo info;
    std::unique_ptr<Song> song = LoadSongFromMemory(data, size, info);
    SCQ_FUZZ_CHECK((song != nullptr) == StatusGivesSong(info.status));
    return song;
}

// What holds for every song a load returns: at least one staff, and every staff begins and
// ends with a bar line (type code 2).
inline void CheckSong(const Song& song) {
    SCQ_FUZZ_CHECK(song.staffCount() >= 1);
    for (int i = 0; i < song.staffCount(); ++i) {
        const Staff* staff = song.staffAt(i);
        SCQ_FUZZ_CHECK(staff != nullptr);
        SCQ_FUZZ_CHECK(staff->itemCount() >= 2);
        SCQ_FUZZ_CHECK(staff->itemAt(0)->typeCode() == 2);
        SCQ_FUZZ_CHECK(staff->lastItem()->typeCode() == 2);
        if (staff->lyrics) SCQ_FUZZ_CHECK(staff->lyrics->lines.size() <= 9);
    }
}

}  // namespace scq::fuzz
