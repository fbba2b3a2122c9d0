#pragma once

// Crafted songs: small files that ask a performance for as much work as their format allows.
//
// Each family is one way to multiply work: a repeat replays a controller sweep thousands of
// times, pages of equal events are laid down far ahead of the music, one staff plays up to the
// render's tick bound beside thousands of idle staffs, a compressed file inflates into millions
// of items, and so on. A family is built at a scale (how many blocks, staffs or items it
// holds), so that the same shape comes at any size: a few hundred bytes for a quick look, or
// the largest file that still fits the size every tool must handle (kFullSizeBytes), plain or
// compressed. `passes` is the count of every local repeat the family uses; 255, the largest a
// bar line holds, is the crafted form, and smaller counts give lighter variants of the same
// shape for measurements.
//
//     const crafted::Family& f = *crafted::FindFamily("replayed-sweeps");
//     Bytes file = crafted::Build(f, f.fullCompressedScale, true);

#include <cstddef>
#include <string_view>
#include <vector>

#include "support/SongBuilder.h"

namespace scq::test::crafted {

// Every tool must handle files up to this size quickly.
inline constexpr size_t kFullSizeBytes = 65536;
// The largest count a local repeat's bar line holds.
inline constexpr int kMostPasses = 255;

struct Family {
    std::string_view name;     // also the file name in mkcrafted's folder
    std::string_view summary;  // one line: the shape of the song
    // The plain file at a scale (1..maxScale); `passes` is the count of its local repeats.
    Bytes (*build)(int scale, int passes);
    int maxScale;  // the largest scale the format can hold
    // The largest scales whose files (with kMostPasses) fit kFullSizeBytes, plain and
    // compressed. The crafted tests check both fit, and that a file far smaller than the limit
    // is one the format's own bounds cap (maxScale).
    int fullPlainScale;
    int fullCompressedScale;
};

// Every family, in a fixed order.
const std::vector<Family>& Families();
// The family of that name, or nullptr.
const Family* FindFamily(std::string_view name);

// The family's file at a scale, plain or in the compressed container.
Bytes Build(const Family& family, int scale, bool compressed, int passes = kMostPasses);
// The full-size file: the family at its full scale for that form.
Bytes BuildFull(const Family& family, bool compressed);
// The largest scale (at least 1, at most maxScale) whose file fits `maxBytes`; 0 when even
// scale 1 does not fit. Searches by building files, so it is meant for tools, not tests.
int FitScale(const Family& family, size_t maxBytes, bool compressed, int passes = kMostPasses);

}  // namespace scq::test::crafted
