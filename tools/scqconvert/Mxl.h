#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace scq {
class Song;
}

namespace scq::convert {

// Whether this build can write compressed MusicXML (it needs libzip).
bool CanWriteMxl();

// The song as a compressed MusicXML file (.mxl): a zip archive that holds "mimetype" (stored,
// first), META-INF/container.xml naming the score, and the score itself as score.musicxml
// (deflated). The score goes through an unnamed temporary file, so that it is never held whole
// in memory. Returns the archive in `out`, or false with the reason in `error`.
bool PackScore(Song& song, std::vector<uint8_t>& out, std::string& error);

}  // namespace scq::convert
