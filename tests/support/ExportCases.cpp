#include "support/ExportCases.h"

#include <cstdio>
#include <string>
#include <system_error>

#include "song/Song.h"
#include "support/SongBuilder.h"

namespace fs = std::filesystem;

namespace scq::test {

int WriteExportCases(const char* program, int argc, char** argv,
                     const std::vector<NamedSong>& songs,
                     const std::function<bool(const fs::path&)>& expect) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIR [SONG...]\n", program);
        return 2;
    }
    InitSongDefaults();
    const fs::path dir = argv[1];
    std::error_code ec;
    fs::create_directories(dir, ec);
    int failures = 0;
    for (const NamedSong& s : songs) {
        const fs::path path = dir / (s.name + ".scq");
        if (!WriteFile(path.string(), BuildSong(s.song))) {
            std::fprintf(stderr, "%s: cannot write %s\n", program, path.c_str());
            ++failures;
            continue;
        }
        if (!expect(path)) ++failures;
    }
    for (int i = 2; i < argc; ++i) {
        const fs::path path = dir / ("example-" + fs::path(argv[i]).stem().string() + ".scq");
        fs::copy_file(argv[i], path, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            std::fprintf(stderr, "%s: cannot copy %s\n", program, argv[i]);
            ++failures;
            continue;
        }
        if (!expect(path)) ++failures;
    }
    return failures == 0 ? 0 : 1;
}

}  // namespace scq::test
