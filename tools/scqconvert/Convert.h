#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace scq::convert {

// The formats a song can be written in.
enum class Format {
    Midi,      // Standard MIDI File
    MusicXml,  // MusicXML 4.0, uncompressed
    Mxl,       // MusicXML 4.0, compressed (a zip archive)
};

// The format that `--to` names ("midi" or "mid", "musicxml", or "mxl", in any case); none for
// another name.
std::optional<Format> FormatNamed(std::string_view name);

// The format of an output file by its extension (".mid" or ".midi", ".musicxml" or ".xml",
// ".mxl", in any case); none for another extension or none.
std::optional<Format> FormatOfPath(std::string_view path);

// The extension of a format's files, with its dot.
const char* ExtensionOf(Format format);

// The output file in `directory` for a song: the song's file name with its extension (the
// part from the last dot, when that dot is not the name's first character) replaced by the
// format's.
std::string OutputInDirectory(const std::string& directory, const std::string& song, Format format);

// The program: parses the command line, converts every song and returns the exit status (0 all
// converted, 1 a song could not be loaded or written, 2 a usage error).
int Run(int argc, char** argv);

}  // namespace scq::convert
