// scqdump: the whole song and its performance as JSON (format scqdump/1).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "Dump.h"
#include "song/Song.h"

int main(int argc, char** argv) {
    scq::InitSongDefaults();
    scq::dump::Options options;
    std::vector<std::string> files;

    // Any argument that starts with '-' and is not one of the options is a usage error, even
    // where the option parser would take it as a file name (a lone "-").
    static const char* const kKnown[] = {"--performance", "--events", "--pretty", "--help"};
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-') continue;
        bool known = false;
        for (const char* k : kKnown) known = known || std::strcmp(argv[i], k) == 0;
        if (!known) {
            std::fprintf(stderr, "scqdump: unknown option '%s' (see --help)\n", argv[i]);
            return 2;
        }
    }

    CLI::App app{"scqdump: prints Staveforge Engraver song files as JSON (format scqdump/1)",
                 "scqdump"};
    app.set_help_flag("--help", "print this help and exit");
    app.footer(
        "Exit status: 0 when every FILE produced a song, 1 when any did not (its document is "
        "still printed, with \"song\": null) or the output could not be written, 2 for a usage "
        "error.");
    app.add_flag("--performance", options.performance, "add the two play times");
    app.add_flag("--events", options.events, "add the event lists (implies --performance)");
    app.add_flag("--pretty", options.pretty, "indent the documents for people");
    app.add_option("FILE", files, "song files, one document each")->required();
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        std::fputs(app.help().c_str(), stdout);
        return 0;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "scqdump: %s (see --help)\n", e.what());
        return 2;
    }

    bool allLoaded = true;
    for (const std::string& file : files) {
        allLoaded = scq::dump::DumpFile(file.c_str(), options, stdout) && allLoaded;
        // Each document is complete on standard output before a later repair notice appears.
        std::fflush(stdout);
    }
    // A document that never reached its reader is a failure, not a success.
    if (std::ferror(stdout)) {
        std::fputs("scqdump: cannot write to standard output\n", stderr);
        return 1;
    }
    return allLoaded ? 0 : 1;
}
