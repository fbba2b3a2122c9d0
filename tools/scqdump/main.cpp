// scqdump: the whole song and its performance as JSON (format scqdump/1).
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
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
    // The value of --max-items is the argument after it, whatever it looks like.
    static const char* const kKnown[] = {"--performance", "--events", "--pretty", "--help",
                                         "--max-items"};
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-') continue;
        bool known = std::strncmp(argv[i], "--max-items=", 12) == 0;
        for (const char* k : kKnown) known = known || std::strcmp(argv[i], k) == 0;
        if (!known) {
            std::fprintf(stderr, "scqdump: unknown option '%s' (see --help)\n", argv[i]);
            return 2;
        }
        if (std::strcmp(argv[i], "--max-items") == 0) ++i;
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
    app.add_option("--max-items", options.maxItems,
                   "stop a load as damaged (status 7) past N items, chord members included; "
                   "0: no limit")
        ->type_name("N")
        ->default_val(scq::kDefaultMaxItems)
        ->check(
            [](const std::string& value) -> std::string {
                uint64_t n = 0;
                const char* end = value.data() + value.size();
                const auto [at, error] = std::from_chars(value.data(), end, n);
                const bool whole = !value.empty() && error == std::errc() && at == end;
                return whole ? "" : "N is a whole number from 0 to 18446744073709551615";
            },
            "");
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
        try {
            allLoaded = scq::dump::DumpFile(file.c_str(), options, stdout) && allLoaded;
        } catch (const std::bad_alloc&) {
            // A load that runs out of memory is a failed load with a document of its own; this
            // is memory running out while a loaded song is written, which ends the run.
            std::fflush(stdout);
            std::fprintf(stderr, "scqdump: %s: out of memory\n", file.c_str());
            return 1;
        }
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
