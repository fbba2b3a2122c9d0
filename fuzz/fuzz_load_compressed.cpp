// Arbitrary bytes wrapped into a valid "[SCZ]" container and loaded through the compressed
// stream over memory. The result must be the one that loading the same bytes as a plain file
// gives: a file stream and a compressed stream both deliver a short block at the end without
// raising the error flag. (Only a stream of fewer than two bytes differs, since a compressed
// stream does not know its size.)

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "FuzzCheck.h"
#include "stream/CompressedSongStream.h"
#include "stream/MemoryStream.h"
#include "support/SongBuilder.h"
#ifdef SCQ_FUZZ_HAVE_DUMP
#include "Dump.h"
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace scq;
    static test::TempFile plainFile({}, "scqfuzz");
    SCQ_FUZZ_CHECK(plainFile.ok());
    const test::Bytes plainBytes(data, data + size);
    const test::Bytes container = test::Compress(plainBytes);

    MemoryStream file(container.data(), container.size());
    SCQ_FUZZ_CHECK(IsCompressedSongStream(file));
    CompressedSongStream compressed(file);
    SongFileInfo info;
    std::unique_ptr<Song> song = LoadSongFromStream(compressed, info);
    SCQ_FUZZ_CHECK((song != nullptr) == fuzz::StatusGivesSong(info.status));
    SCQ_FUZZ_CHECK(info.status != kLoadEmpty);
    if (song) fuzz::CheckSong(*song);

    // Bytes that themselves start with the magic would be taken as a container by the file
    // loader; so would be too short a file.
    if (size < 2 || (size >= 6 && std::memcmp(data, "[SCZ]", 6) == 0)) return 0;
    SCQ_FUZZ_CHECK(plainFile.write(plainBytes));
    SongFileInfo plainInfo;
    std::unique_ptr<Song> plainSong = LoadSongFile(plainFile.path().c_str(), plainInfo);
    SCQ_FUZZ_CHECK(plainInfo.status == info.status);
    if (!song) return 0;
    SCQ_FUZZ_CHECK(song->staffCount() == plainSong->staffCount());
    for (int i = 0; i < song->staffCount(); ++i) {
        SCQ_FUZZ_CHECK(song->staffAt(i)->itemCount() == plainSong->staffAt(i)->itemCount());
    }
#ifdef SCQ_FUZZ_HAVE_DUMP
    SCQ_FUZZ_CHECK(dump::DumpSong(*song) == dump::DumpSong(*plainSong));
#endif
    return 0;
}
