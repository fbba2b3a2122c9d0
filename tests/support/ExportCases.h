#pragma once

// The main of the programs that write the songs of an export test for an outside reader
// (midi_cases, musicxml_cases): `PROGRAM DIR [SONG...]` writes DIR/NAME.scq for every song and
// a copy of every SONG given as DIR/example-STEM.scq, and calls `expect` on each to write what
// the reader must find beside it. Exits 0, 1 when anything failed, 2 for a usage error.

#include <filesystem>
#include <functional>
#include <vector>

#include "support/ExportSongs.h"

namespace scq::test {

// `expect` returns false after saying on standard error what went wrong.
int WriteExportCases(const char* program, int argc, char** argv,
                     const std::vector<NamedSong>& songs,
                     const std::function<bool(const std::filesystem::path&)>& expect);

}  // namespace scq::test
