// Damaged copies of rich songs: every prefix of each file and a sample of single-byte changes
// load without a crash, give a status that matches what came back, and take bounded time.

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <string>

#include "Hostile.h"
#include "support/RichSongs.h"

namespace scq::test {
namespace {

struct DamageCase {
    std::string name;
    SongSpec song;
};

std::vector<DamageCase> Cases() {
    std::vector<DamageCase> cases = {
        {"Rich16", RichSong(16)},   {"Rich8", RichSong(8)},        {"Rich3", RichSong(3)},
        {"Flow", FlowSongs(16)[4]}, {"Endings", FlowSongs(12)[1]},
    };
    SongSpec compressed = RichSong(16);
    compressed.compressed = true;
    cases.push_back({"Compressed", compressed});
    return cases;
}

// How many bytes the zlib stream of a (possibly cut) container inflates to.
size_t InflatedLength(const Bytes& container) {
    if (container.size() <= 6) return 0;
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return 0;
    Bytes input(container.begin() + 6, container.end());
    z.next_in = input.data();
    z.avail_in = static_cast<uInt>(input.size());
    size_t total = 0;
    Bytes out(65536);
    for (;;) {
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        const int result = inflate(&z, Z_SYNC_FLUSH);
        const size_t produced = out.size() - z.avail_out;
        total += produced;
        if (result != Z_OK || produced == 0) break;
    }
    inflateEnd(&z);
    return total;
}

// One load of damaged bytes must take less than this, play times included.

class DamageTest : public testing::TestWithParam<DamageCase> {
protected:
    void SetUp() override {
        bytes_ = BuildSong(GetParam().song);
        headerSize_ = GetParam().song.compressed
                          ? 0
                          : BuildHeader(GetParam().song.header, GetParam().song.revision).size();
        SongSpec plain = GetParam().song;
        plain.compressed = false;
        plainSize_ = BuildSong(plain).size();
        Loaded whole = LoadFromMemory(bytes_);
        ASSERT_TRUE(whole.song);
        ASSERT_EQ(whole.info.status, GetParam().song.revision == 16 ? kLoadNewest : kLoadOlder);
    }

    // Loads damaged bytes and does with the song what the front end does. Returns the status.
    int LoadDamaged(const Bytes& damaged, const std::string& what) {
        Loaded loaded = LoadFromMemory(damaged);
        const int status = loaded.info.status;
        EXPECT_EQ(loaded.song != nullptr, StatusGivesSong(status)) << what << " status " << status;
        if (loaded.song) {
            EXPECT_EQ(CheckWellFormed(*loaded.song), "") << what;
            AuditAndPlay(*loaded.song);
            EXPECT_EQ(CheckWellFormed(*loaded.song), "") << what << " after the audit";
        }
        return status;
    }

    Bytes bytes_;
    size_t headerSize_ = 0;
    size_t plainSize_ = 0;
};

TEST_P(DamageTest, EveryPrefixLoadsAsEmptyNotASongOrCorrupt) {
    const bool compressed = GetParam().song.compressed;
    for (size_t length = 0; length < bytes_.size(); ++length) {
        const Bytes prefix(bytes_.begin(), bytes_.begin() + static_cast<long>(length));
        const std::string what = "prefix of " + std::to_string(length) + " bytes";
        const int status = LoadDamaged(prefix, what);
        if (length < 2) {
            EXPECT_EQ(status, kLoadEmpty) << what;
        } else if (compressed && InflatedLength(prefix) == plainSize_) {
            // Only the end of the zlib stream is cut: every byte of the song arrived.
            EXPECT_TRUE(status == kLoadNewest || status == kLoadCorrupt) << what << ": " << status;
        } else {
            EXPECT_TRUE(status == kLoadNotSong || status == kLoadCorrupt)
                << what << ": status " << status;
        }
        if (HasFailure()) return;
    }
}

TEST_P(DamageTest, SingleByteChangesLoadOrFail) {
    std::mt19937 random(20240611);
    const bool compressed = GetParam().song.compressed;
    // About 250 positions, always including the first and the last byte.
    std::vector<size_t> positions = {0, bytes_.size() - 1};
    std::uniform_int_distribution<size_t> anywhere(0, bytes_.size() - 1);
    for (int i = 0; i < 250; ++i) positions.push_back(anywhere(random));
    for (size_t at : positions) {
        const uint8_t original = bytes_[at];
        for (int value : {0x00, 0xFF, 0x80, 0x7F, original ^ 0x01, original ^ 0x40}) {
            if (value == original) continue;
            Bytes changed = bytes_;
            changed[at] = static_cast<uint8_t>(value);
            const std::string what =
                "byte " + std::to_string(at) + " set to " + std::to_string(value);
            const int status = LoadDamaged(changed, what);
            // Past the header the file is a song whatever its body holds; inside the header any
            // refusal is possible. A damaged zlib stream can decode to anything.
            if (!compressed && at >= headerSize_) {
                EXPECT_TRUE(status == kLoadNewest || status == kLoadOlder || status == kLoadCorrupt)
                    << what << ": status " << status;
            }
            if (HasFailure()) return;
        }
    }
}

// Cutting a file inside its last staff keeps every staff: the cut one with what it had.
TEST(DamageCut, InsideTheLastStaffKeepsEveryStaff) {
    for (int revision : {16, 8, 3}) {
        const Bytes bytes = BuildSong(RichSong(revision));
        Loaded loaded = LoadFromMemory(Bytes(bytes.begin(), bytes.end() - 3));
        ASSERT_EQ(loaded.info.status, kLoadCorrupt) << revision;
        EXPECT_EQ(loaded.song->staffCount(), 3) << revision;
        EXPECT_EQ(CheckWellFormed(*loaded.song), "") << revision;
    }
}

// The same through the file road: a file stream's short block read at the end does not raise
// the error flag, so a cut inside the last 16-bit word may still load as a whole song.
TEST(DamageCut, EveryPrefixOfAFileLoads) {
    const Bytes bytes = BuildSong(RichSong(16));
    TempFile file;
    ASSERT_TRUE(file.ok());
    for (size_t length = 0; length < bytes.size(); ++length) {
        ASSERT_TRUE(file.write(Bytes(bytes.begin(), bytes.begin() + static_cast<long>(length))));
        SongFileInfo info;
        std::unique_ptr<Song> song = LoadSongFile(file.path().c_str(), info);
        const int status = info.status;
        ASSERT_EQ(song != nullptr, StatusGivesSong(status)) << length;
        if (length < 2) {
            EXPECT_EQ(status, kLoadEmpty) << length;
        } else {
            EXPECT_TRUE(status == kLoadNotSong || status == kLoadCorrupt || status == kLoadNewest)
                << length << ": status " << status;
        }
        if (song) {
            ASSERT_EQ(CheckWellFormed(*song), "") << length;
            AuditAndPlay(*song);
        }
    }
}

void PrintTo(const DamageCase& c, std::ostream* os) {
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(Songs, DamageTest, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<DamageCase>& info) {
                             return info.param.name;
                         });

}  // namespace
}  // namespace scq::test
