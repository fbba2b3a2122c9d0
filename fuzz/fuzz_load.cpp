// The whole road of one file on arbitrary bytes: load them from memory as the loader loads a
// file (a compressed container when they start with its magic, plain otherwise), audit the
// song, measure both play times and dump it.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "FuzzCheck.h"
#include "perform/PlayTime.h"
#include "song/SongFile.h"
#include "staff/Audit.h"
// The dump of the song is part of the road once the scqdump library (target scqdumplib,
// header tools/scqdump/Dump.h) is in the build: CMake then defines SCQ_FUZZ_HAVE_DUMP.
#ifdef SCQ_FUZZ_HAVE_DUMP
#include "Dump.h"
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace scq;
    SongFileInfo info;
    std::unique_ptr<Song> song = LoadSongFromMemory(data, size, info);
    SCQ_FUZZ_CHECK(info.status >= 0 && info.status <= 7);
    SCQ_FUZZ_CHECK((song != nullptr) == fuzz::StatusGivesSong(info.status));
    if (!song) return 0;
    fuzz::CheckSong(*song);

    auditSong(*song, 1);
    fuzz::CheckSong(*song);
    PlayTimeSeconds(*song, PlayTimeVariant::Scq);
    PlayTimeSeconds(*song, PlayTimeVariant::Smf);
#ifdef SCQ_FUZZ_HAVE_DUMP
    SCQ_FUZZ_CHECK(!dump::DumpSong(*song).dump().empty());
#endif
    return 0;
}
