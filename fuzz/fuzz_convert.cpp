// A song file's road to a Standard MIDI File on arbitrary bytes: load them as the loader loads a
// file (a compressed container when they start with its magic, plain otherwise), then write the
// file to memory. Whatever the song, the writer ends (within the bounds of a performance) and
// its bytes are a well-formed file: the header, then one track chunk per staff and the
// conductor's, each closing with End of Track.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "FuzzCheck.h"
#include "export/MidiWriter.h"
#include "song/SongFile.h"

namespace {

uint32_t Big(const std::vector<uint8_t>& b, size_t at, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | b[at + static_cast<size_t>(i)];
    return v;
}

void CheckFile(const std::vector<uint8_t>& b, int tracks) {
    SCQ_FUZZ_CHECK(b.size() >= 14 && std::memcmp(b.data(), "MThd", 4) == 0);
    SCQ_FUZZ_CHECK(Big(b, 4, 4) == 6 && Big(b, 8, 2) == 1);
    SCQ_FUZZ_CHECK(Big(b, 10, 2) == static_cast<uint32_t>(tracks) && Big(b, 12, 2) == 192);
    size_t at = 14;
    for (int t = 0; t < tracks; ++t) {
        SCQ_FUZZ_CHECK(at + 8 <= b.size() && std::memcmp(b.data() + at, "MTrk", 4) == 0);
        const size_t length = Big(b, at + 4, 4);
        at += 8 + length;
        SCQ_FUZZ_CHECK(length >= 4 && at <= b.size());
        SCQ_FUZZ_CHECK(b[at - 3] == 0xFF && b[at - 2] == 0x2F && b[at - 1] == 0x00);
    }
    SCQ_FUZZ_CHECK(at == b.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace scq;
    std::unique_ptr<Song> song = fuzz::LoadChecked(data, size);
    if (!song) return 0;
    std::vector<uint8_t> bytes;
    const MidiWriteResult result = WriteMidi(*song, bytes);
    if (!result.written()) {
        SCQ_FUZZ_CHECK(song->staffCount() > kMaxMidiStaffs && bytes.empty());
        return 0;
    }
    SCQ_FUZZ_CHECK(result.tracks == song->staffCount() + 1);
    CheckFile(bytes, result.tracks);
    return 0;
}
