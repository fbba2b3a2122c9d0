// The play times of arbitrary bytes, under a time limit per input: loads them as the loader
// loads a file (a compressed container when they start with its magic, plain otherwise) and
// computes both play times, which audit the song first. The test runs this target with a
// short -timeout, so that any input of at most 64 KB that costs more than about a second
// fails it; the seeds are the crafted songs of tests/support/CraftedSongs.h, whose shapes
// once cost minutes, and ordinary songs.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "FuzzCheck.h"
#include "perform/PlayTime.h"
#include "song/SongFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace scq;
    std::unique_ptr<Song> song = fuzz::LoadChecked(data, size);
    if (!song) return 0;
    PlayTimeSeconds(*song, PlayTimeVariant::Scq);
    PlayTimeSeconds(*song, PlayTimeVariant::Smf);
    return 0;
}
