#pragma once

// Many files in one run: the names to load (from the command line, a list, folders), and
// loading them on several threads while the records come out in input order.

#include <cstdio>
#include <string>
#include <vector>

#include "Dump.h"

namespace scq::dump {

// Reads one name per line (or per NUL-terminated entry with `nul`); empty entries are skipped.
// A line's carriage return is part of the name. False when the stream could not be read.
bool ReadNameList(std::FILE* in, bool nul, std::vector<std::string>& names);

// With `recursive`, replaces each name of a folder by the names of the song files (ending in
// ".scq", in any letter case) under it and its subfolders, in byte order of their paths;
// symbolic links to folders are not followed, links to files are listed. Other names stay as
// they are. A folder that cannot be walked whole gets a line "scqdump: NAME: REASON" on `err`,
// and `complete` (optional) false.
std::vector<std::string> ExpandFolders(const std::vector<std::string>& names, bool recursive,
                                       std::FILE* err, bool* complete = nullptr);

struct BatchOptions {
    unsigned jobs = 1;      // files loaded at once
    bool progress = false;  // a progress line on standard error
};

// Writes the output of every file to `out` and its messages to `err`, in the order of `names`,
// whatever the order in which the threads finish them. With one job a document streams out as
// it is written; with more, each is held in memory until its turn. Returns whether every file
// produced a song.
bool RunBatch(const std::vector<std::string>& names, const Options& options,
              const BatchOptions& batch, std::FILE* out, std::FILE* err);

}  // namespace scq::dump
