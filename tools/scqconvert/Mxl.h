#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace scq::convert {

// Whether this build can write compressed MusicXML (it needs libzip).
bool CanWriteMxl();

// A compressed MusicXML file (.mxl): a zip archive that holds "mimetype" (stored, first),
// META-INF/container.xml naming the score, and the score itself as score.musicxml (deflated).
// Returns the archive in `out`, or false with the reason in `error`.
bool PackMxl(std::string_view score, std::vector<uint8_t>& out, std::string& error);

}  // namespace scq::convert
