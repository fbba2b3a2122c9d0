// Writes the crafted songs of tests/support/CraftedSongs.h into a directory, for manual runs
// and benchmarks:
//
//     mkcrafted <directory> [options]
//
//     --family NAME   only this family (repeatable); default: every family
//     --scale N       this scale instead of the full one
//     --size BYTES    the largest scale whose file fits BYTES (searched; slow for big files)
//     --passes N      the count of every local repeat (default 255)
//     --plain         only the plain files
//     --compressed    only the compressed files
//     --list          print the families and their full scales, write nothing
//
// Files are named NAME.scq (plain) and NAME-z.scq (compressed); a line per file tells its
// scale and size.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/CraftedSongs.h"

using namespace scq::test;
namespace fs = std::filesystem;

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: mkcrafted <directory> [--family NAME]... [--scale N | --size BYTES] "
                 "[--passes N] [--plain | --compressed]\n"
                 "       mkcrafted --list\n");
    return 2;
}

bool ParseInt(const char* text, long long& value) {
    char* end = nullptr;
    value = std::strtoll(text, &end, 10);
    return end != text && *end == '\0' && value > 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir;
    std::vector<std::string> names;
    long long scale = 0, size = 0, passes = crafted::kMostPasses;
    bool plain = true, compressed = true, list = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--family" && hasValue) {
            names.push_back(argv[++i]);
        } else if (arg == "--scale" && hasValue) {
            if (!ParseInt(argv[++i], scale)) return Usage();
        } else if (arg == "--size" && hasValue) {
            if (!ParseInt(argv[++i], size)) return Usage();
        } else if (arg == "--passes" && hasValue) {
            if (!ParseInt(argv[++i], passes) || passes > 255) return Usage();
        } else if (arg == "--plain") {
            compressed = false;
        } else if (arg == "--compressed") {
            plain = false;
        } else if (arg == "--list") {
            list = true;
        } else if (!arg.empty() && arg[0] != '-' && dir.empty()) {
            dir = arg;
        } else {
            return Usage();
        }
    }
    if ((scale != 0 && size != 0) || (!plain && !compressed)) return Usage();

    std::vector<const crafted::Family*> families;
    if (names.empty()) {
        for (const crafted::Family& f : crafted::Families()) families.push_back(&f);
    }
    for (const std::string& name : names) {
        const crafted::Family* f = crafted::FindFamily(name);
        if (!f) {
            std::fprintf(stderr, "mkcrafted: no family '%s'\n", name.c_str());
            return 2;
        }
        families.push_back(f);
    }
    if (list) {
        for (const crafted::Family* f : families) {
            std::printf("%-24s plain %8d  compressed %9d  %.*s\n", std::string(f->name).c_str(),
                        f->fullPlainScale, f->fullCompressedScale,
                        static_cast<int>(f->summary.size()), f->summary.data());
        }
        return 0;
    }
    if (dir.empty()) return Usage();
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
        std::fprintf(stderr, "mkcrafted: cannot make %s\n", dir.c_str());
        return 1;
    }

    int failures = 0;
    for (const crafted::Family* f : families) {
        for (const bool z : {false, true}) {
            if ((z && !compressed) || (!z && !plain)) continue;
            int s = z ? f->fullCompressedScale : f->fullPlainScale;
            if (scale != 0) s = static_cast<int>(std::min<long long>(scale, f->maxScale));
            if (size != 0) {
                s = crafted::FitScale(*f, static_cast<size_t>(size), z, static_cast<int>(passes));
                if (s == 0) {
                    std::fprintf(stderr, "mkcrafted: %s does not fit %lld bytes\n",
                                 std::string(f->name).c_str(), size);
                    ++failures;
                    continue;
                }
            }
            const Bytes bytes = crafted::Build(*f, s, z, static_cast<int>(passes));
            const fs::path path = fs::path(dir) / (std::string(f->name) + (z ? "-z" : "") + ".scq");
            if (!WriteFile(path.string(), bytes)) {
                std::fprintf(stderr, "mkcrafted: cannot write %s\n", path.c_str());
                ++failures;
                continue;
            }
            std::printf("%s\tscale %d\t%zu bytes\n", path.c_str(), s, bytes.size());
            std::fflush(stdout);
        }
    }
    return failures == 0 ? 0 : 1;
}
