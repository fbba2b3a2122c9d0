#pragma once

#include <string>

namespace scq {

// True when the path names an existing file-system entry that is not a directory (a failed
// query answers false).
bool FileExists(const char* path);

// The directory for temporary files: $TMPDIR, or /tmp when it is unset or empty.
std::string TempDirectory();

// Creates a new, uniquely named, empty file "scq......" in the temporary directory and returns
// its path, or an empty text when it cannot be made.
std::string CreateTempFile();

}  // namespace scq
