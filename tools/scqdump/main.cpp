// scqdump: the whole song and its performance as JSON (format scqdump/1), or one summary record
// per file.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include <CLI/CLI.hpp>

#include "Batch.h"
#include "Dump.h"
#include "common/MaxItemsOption.h"
#include "song/Song.h"

namespace {

int UsageError(const std::string& what) {
    std::fprintf(stderr, "scqdump: %s (see --help)\n", what.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    scq::InitSongDefaults();
    scq::dump::Options options;
    scq::dump::BatchOptions batch;
    std::vector<std::string> files;
    std::string filesFrom;
    bool nul = false;
    bool recursive = false;
    bool progress = false;

    // Any argument before "--" that starts with '-' and is not one of the options is a usage
    // error, even where the option parser would take it as a file name (a lone "-"). The value
    // of an option that takes one is the argument after it, whatever it looks like.
    static const char* const kFlags[] = {"--performance", "--events", "--pretty", "--help",
                                         "-h",            "--summary", "--csv",   "-0",
                                         "--null",        "-r",        "--recursive",
                                         "--progress",    "--version"};
    static const char* const kTakesValue[] = {"--max-items", "--files-from", "-j", "--jobs"};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) break;
        if (argv[i][0] != '-') continue;
        bool known = false;
        for (const char* k : kFlags) known = known || std::strcmp(argv[i], k) == 0;
        for (const char* k : kTakesValue) {
            const size_t n = std::strlen(k);
            if (std::strcmp(argv[i], k) == 0) {
                known = true;
                ++i;
                break;
            }
            // --name=value, and -jN
            const bool joined = std::strncmp(argv[i], k, n) == 0 &&
                                (argv[i][n] == '=' || (k[1] != '-' && argv[i][n] != 0));
            if (joined) {
                known = true;
                break;
            }
        }
        if (!known) return UsageError(std::string("unknown option '") + argv[i] + "'");
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("scqdump %s\n", SCQ_VERSION);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
    }

    CLI::App app{"scqdump: prints Staveforge Engraver song files as JSON (format scqdump/1)",
                 "scqdump"};
    app.set_help_flag("-h,--help", "print this help and exit");
    app.footer(
        "Exit status: 0 when every FILE produced a song, 1 when any did not (its document or "
        "record is still printed, and a line on standard error says why), a folder could not "
        "be walked whole or the output could not be written, 2 for a usage error.");
    app.add_flag("--performance", options.performance, "add the two play times");
    app.add_flag("--events", options.events, "add the event lists (implies --performance)");
    app.add_flag("--pretty", options.pretty, "indent the documents for people");
    scq::tools::AddMaxItemsOption(
        app, options.maxItems,
        "stop a load as damaged (status 7) past N items, chord members included; 0: no limit");
    app.add_flag("--summary", options.summary,
                 "one flat record per file (JSON Lines) instead of the whole song");
    app.add_flag("--csv", options.csv, "with --summary: CSV with a header row (RFC 4180)");
    app.add_option("--files-from", filesFrom,
                   "read the names of more files from LIST (- for standard input), one a line")
        ->type_name("LIST");
    app.add_flag("-0,--null", nul, "with --files-from: names end with a NUL byte, not a line feed");
    app.add_flag("-r,--recursive", recursive,
                 "for a folder, every .scq file under it and its subfolders, in sorted order");
    const unsigned processors = std::thread::hardware_concurrency();
    batch.jobs = processors > 0 ? processors : 1;
    app.add_option("-j,--jobs", batch.jobs, "load N files at once (default: the processors)")
        ->type_name("N")
        ->check(CLI::Range(1u, 1024u));
    app.add_flag("--progress", progress,
                 "show progress on standard error (the default when it is a terminal)");
    bool version = false;  // answered before the parser
    app.add_flag("--version", version, "print the version and exit");
    app.add_option("FILE", files, "song files (or folders with -r), one document each");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    } catch (const CLI::ParseError& e) {
        return UsageError(e.what());
    }
    if (options.csv && !options.summary) return UsageError("--csv goes with --summary");
    if (options.csv && options.pretty) return UsageError("--csv and --pretty do not go together");
    if (nul && filesFrom.empty()) return UsageError("-0 goes with --files-from");
    if (files.empty() && filesFrom.empty()) return UsageError("no FILE given");

    if (!filesFrom.empty()) {
        const bool fromStdin = filesFrom == "-";
        std::FILE* list = fromStdin ? stdin : std::fopen(filesFrom.c_str(), "rb");
        if (!list) {
            std::fprintf(stderr, "scqdump: %s: %s\n", filesFrom.c_str(), std::strerror(errno));
            return 2;
        }
        const bool read = scq::dump::ReadNameList(list, nul, files);
        if (!fromStdin) std::fclose(list);
        if (!read) {
            std::fprintf(stderr, "scqdump: %s: cannot be read\n", filesFrom.c_str());
            return 2;
        }
    }
    bool walked = true;
    const std::vector<std::string> names =
        scq::dump::ExpandFolders(files, recursive, stderr, &walked);
    batch.progress = progress || ::isatty(STDERR_FILENO) == 1;

    if (options.summary && options.csv) std::fputs(scq::dump::SummaryCsvHeader().c_str(), stdout);
    const bool allLoaded = scq::dump::RunBatch(names, options, batch, stdout, stderr);
    // Output that never reached its reader is a failure, not a success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fputs("scqdump: cannot write to standard output\n", stderr);
        return 1;
    }
    return allLoaded && walked ? 0 : 1;
}
