#include "Convert.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "load/Repair.h"
#include "common/MaxItemsOption.h"
#include "export/MidiWriter.h"
#include "export/MusicXmlWriter.h"
#include "Mxl.h"
#include "song/Song.h"
#include "song/SongFile.h"

#ifndef SCQ_VERSION
#define SCQ_VERSION "unknown"
#endif

namespace scq::convert {

namespace {

namespace fs = std::filesystem;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

int UsageError(const std::string& what) {
    std::fprintf(stderr, "scqconvert: %s (see --help)\n", what.c_str());
    return kExitUsage;
}

// One line per failure or warning on standard error, naming the song.
void Report(const std::string& song, const std::string& what) {
    std::fflush(stdout);
    std::fprintf(stderr, "scqconvert: %s: %s\n", song.c_str(), what.c_str());
    std::fflush(stderr);
}

std::string ErrnoText(int error) {
    return std::strerror(error);
}

// The temporary file being written, removed when a signal ends the program before it is
// renamed into place.
char gPendingTemp[4096];
volatile std::sig_atomic_t gHavePending = 0;

void RemovePendingAndDie(int sig) {
    if (gHavePending) ::unlink(gPendingTemp);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void InstallSignalHandlers() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, RemovePendingAndDie);
}

// Blocks the signals above while the pending file changes hands.
class SignalBlock {
public:
    SignalBlock() {
        sigset_t set;
        sigemptyset(&set);
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, sig);
        sigprocmask(SIG_BLOCK, &set, &old_);
    }
    ~SignalBlock() { sigprocmask(SIG_SETMASK, &old_, nullptr); }
    SignalBlock(const SignalBlock&) = delete;
    SignalBlock& operator=(const SignalBlock&) = delete;

private:
    sigset_t old_;
};

void ForgetPending(bool remove) {
    SignalBlock block;
    if (remove && gHavePending) ::unlink(gPendingTemp);
    gHavePending = 0;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Hands the output to `write` piece by piece; false when a write failed.
using Producer = std::function<bool(const MusicXmlSink& write)>;

// Writes what `produce` makes to a temporary file beside `path` and renames it into place
// (without `force`, only when `path` does not exist). Returns "" on success, else why not.
std::string WriteInPlace(const std::string& path, const Producer& produce, bool force) {
    const fs::path target(path);
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    const std::string pattern = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
    if (pattern.size() >= sizeof gPendingTemp) return "cannot write " + path + ": name too long";
    int fd;
    {
        SignalBlock block;
        std::memcpy(gPendingTemp, pattern.c_str(), pattern.size() + 1);
        fd = ::mkstemp(gPendingTemp);
        if (fd < 0) return "cannot write " + path + ": " + ErrnoText(errno);
        gHavePending = 1;
    }
    // The permissions of a new file (0666 less the umask), or those of the file replaced.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode_t mode = 0666 & ~mask;
    struct stat old;
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) mode = old.st_mode & 07777;
    const std::string temp = gPendingTemp;
    int error = 0;
    bool written = ::fchmod(fd, mode) == 0;
    if (!written) error = errno;
    try {
        written = written && produce([fd, &error](std::string_view piece) {
                      if (WriteAll(fd, reinterpret_cast<const uint8_t*>(piece.data()), piece.size())) {
                          return true;
                      }
                      error = errno;
                      return false;
                  });
    } catch (const std::bad_alloc&) {
        ::close(fd);
        ForgetPending(true);
        return "out of memory";
    }
    if (::close(fd) != 0 && written) {
        error = errno;
        ForgetPending(true);
        return "cannot write " + path + ": " + ErrnoText(error);
    }
    if (!written) {
        ForgetPending(true);
        return "cannot write " + path + ": " + ErrnoText(error);
    }
    if (force) {
        if (::rename(temp.c_str(), path.c_str()) != 0) {
            error = errno;
            ForgetPending(true);
            return "cannot write " + path + ": " + ErrnoText(error);
        }
        ForgetPending(false);
        return "";
    }
    // A hard link never replaces an existing file; where the file system has no hard links,
    // the file is looked for and the temporary file renamed.
    if (::link(temp.c_str(), path.c_str()) == 0) {
        ForgetPending(true);
        return "";
    }
    error = errno;
    if (error == EEXIST) {
        ForgetPending(true);
        return path + " exists (use --force to overwrite it)";
    }
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0) {
        ForgetPending(true);
        return path + " exists (use --force to overwrite it)";
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        error = errno;
        ForgetPending(true);
        return "cannot write " + path + ": " + ErrnoText(error);
    }
    ForgetPending(false);
    return "";
}

std::string LoadFailure(const SongFileInfo& info) {
    switch (info.status) {
        case kLoadNotSong:
            return "not a Staveforge Engraver song file";
        case kLoadCorrupt:
            return "the file is corrupt";
        case kLoadOutOfMemory:
            return "out of memory";
        default:
            return "the file is from a newer version of Staveforge Engraver";
    }
}

struct Job {
    std::string song;
    std::string output;  // "-": standard output
    Format format = Format::Midi;
};

// The key under which two names of one file compare equal (as far as the file system tells).
std::string PathKey(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(path, ec);
    if (ec) p = fs::absolute(path, ec).lexically_normal();
    return p.string();
}

// Converts one song; false when it could not be loaded or written.
bool ConvertOne(const Job& job, bool force, const LoadOptions& load) {
    const std::string& song = job.song;
    struct stat st;
    if (::stat(song.c_str(), &st) != 0) {
        Report(song, errno == ENOENT ? "no such file" : "cannot read: " + ErrnoText(errno));
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        Report(song, "is a directory");
        return false;
    }
    const int probe = ::open(song.c_str(), O_RDONLY);
    if (probe < 0) {
        Report(song, "cannot read: " + ErrnoText(errno));
        return false;
    }
    ::close(probe);
    const bool toStandardOutput = job.output == "-";
    if (!toStandardOutput) {
        struct stat out;
        if (::stat(job.output.c_str(), &out) == 0) {
            if (S_ISDIR(out.st_mode)) {
                Report(song, job.output + " is a directory");
                return false;
            }
            if (!force) {
                Report(song, job.output + " exists (use --force to overwrite it)");
                return false;
            }
        }
    }

    SongFileInfo info;
    std::unique_ptr<Song> loaded = LoadSongWithRepair(song.c_str(), info, nullptr, load, RepairCopy::kMemory);
    if (!loaded) {
        Report(song, LoadFailure(info));
        return false;
    }
    // A MIDI file or a compressed score is made whole first; a MusicXML document is written
    // as it is made, never held whole.
    std::vector<uint8_t> bytes;
    MidiWriteResult result;
    try {
        if (job.format == Format::Midi) {
            result = WriteMidi(*loaded, bytes);
        } else if (job.format == Format::Mxl) {
            std::string failure;
            if (!PackScore(*loaded, bytes, failure)) {
                Report(song, "cannot compress the score: " + failure);
                return false;
            }
        }
    } catch (const std::bad_alloc&) {
        Report(song, "out of memory");
        return false;
    }
    if (!result.written()) {
        Report(song, std::to_string(loaded->staffCount()) + " staffs; a MIDI file holds at most " +
                         std::to_string(kMaxMidiStaffs));
        return false;
    }
    if (info.stop == kStopTooManyItems) {
        Report(song, "warning: the load stopped at " + std::to_string(load.maxItems) +
                         " items (--max-items); converted what was read");
    } else if (info.status == kLoadCorrupt) {
        Report(song, "warning: the file is damaged; converted what could be read");
    }
    if (result.budgetReached) {
        Report(song,
               "warning: rendering stopped at a work budget that no real song reaches; the file "
               "holds the events stored until then");
    } else if (result.full) {
        Report(song,
               "warning: the performance filled the event store; the file holds the events "
               "stored until then");
    }

    const Producer produce = [&](const MusicXmlSink& write) {
        if (job.format == Format::MusicXml) return WriteMusicXml(*loaded, write).written;
        return write(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    };
    if (toStandardOutput) {
        try {
            produce([](std::string_view piece) {
                return std::fwrite(piece.data(), 1, piece.size(), stdout) == piece.size();
            });
        } catch (const std::bad_alloc&) {
            Report(song, "out of memory");
            return false;
        }
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            Report(song, "cannot write to standard output: " + ErrnoText(errno));
            return false;
        }
        return true;
    }
    const std::string failure = WriteInPlace(job.output, produce, force);
    if (!failure.empty()) {
        Report(song, failure);
        return false;
    }
    return true;
}

}  // namespace

std::optional<Format> FormatNamed(std::string_view name) {
    if (EqualsIgnoringCase(name, "midi") || EqualsIgnoringCase(name, "mid")) return Format::Midi;
    if (EqualsIgnoringCase(name, "musicxml")) return Format::MusicXml;
    if (EqualsIgnoringCase(name, "mxl")) return Format::Mxl;
    return std::nullopt;
}

std::optional<Format> FormatOfPath(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos || dot == 0) return std::nullopt;
    const std::string_view extension = name.substr(dot + 1);
    if (EqualsIgnoringCase(extension, "mid") || EqualsIgnoringCase(extension, "midi")) {
        return Format::Midi;
    }
    if (EqualsIgnoringCase(extension, "musicxml") || EqualsIgnoringCase(extension, "xml")) {
        return Format::MusicXml;
    }
    if (EqualsIgnoringCase(extension, "mxl")) return Format::Mxl;
    return std::nullopt;
}

const char* ExtensionOf(Format format) {
    switch (format) {
        case Format::MusicXml:
            return ".musicxml";
        case Format::Mxl:
            return ".mxl";
        case Format::Midi:
            break;
    }
    return ".mid";
}

std::string OutputInDirectory(const std::string& directory, const std::string& song,
                              Format format) {
    const size_t slash = song.find_last_of('/');
    std::string name = slash == std::string::npos ? song : song.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot != 0) name.erase(dot);
    name += ExtensionOf(format);
    if (directory.empty() || directory.back() == '/') return directory + name;
    return directory + "/" + name;
}

int Run(int argc, char** argv) {
    // Before the parser: --version, and a lone "-", which would be taken as a song name.
    static const char* const kTakesValue[] = {"-o",          "--output", "-d",
                                              "--directory", "--to",     "--max-items"};
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--") break;
        bool value = false;
        for (const char* k : kTakesValue) value = value || a == k;
        if (value) {
            ++i;
        } else if (a == "--version") {
            std::printf("scqconvert %s\n", SCQ_VERSION);
            return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
        } else if (a == "-") {
            return UsageError("a song cannot come from standard input");
        }
    }

    CLI::App app{"scqconvert: writes Staveforge Engraver songs as Standard MIDI Files or MusicXML",
                 "scqconvert"};
    app.set_help_flag("-h,--help", "print this help and exit");
    std::string output;
    std::string directory;
    std::string to;
    bool force = false;
    bool version = false;
    std::vector<std::string> songs;
    LoadOptions load;
    load.maxItems = kDefaultMaxItems;
    app.add_option("-o,--output", output, "write the one SONG to OUT (- for standard output)")
        ->type_name("OUT");
    app.add_option("-d,--directory", directory,
                   "write each SONG into DIR, named after the song (x.scq -> DIR/x.mid or "
                   "DIR/x.musicxml or DIR/x.mxl)")
        ->type_name("DIR");
    app.add_option("--to", to,
                   "the format: midi, musicxml or mxl (default: from OUT's extension, else midi)")
        ->type_name("FORMAT");
    tools::AddMaxItemsOption(
        app, load.maxItems,
        "stop a load as damaged past N items, chord members included; 0: no limit");
    app.add_flag("--force", force, "overwrite output files that exist")->disable_flag_override();
    app.add_flag("--version", version, "print the version and exit")->disable_flag_override();
    app.add_option("SONG", songs, "song files to convert")->type_name("SONG...");
    app.footer(
        "Exit status: 0 when every SONG was converted, 1 when any could not be loaded or "
        "written (one line on standard error each), 2 for a usage error.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
    } catch (const CLI::ParseError& e) {
        return UsageError(e.what());
    }

    const bool toFile = app.count("--output") > 0;
    const bool toDirectory = app.count("--directory") > 0;
    if (songs.empty()) return UsageError("no SONG given");
    if (toFile && toDirectory) return UsageError("-o and -d cannot be used together");
    if (!toFile && !toDirectory) return UsageError("give -o OUT or -d DIR");
    if (toFile && output.empty()) return UsageError("-o needs a file name");
    if (toDirectory && directory.empty()) return UsageError("-d needs a directory name");
    if (toFile && songs.size() > 1) {
        return UsageError("-o takes one SONG; use -d DIR for several");
    }
    Format format = Format::Midi;
    if (app.count("--to") > 0) {
        const std::optional<Format> named = FormatNamed(to);
        if (!named) return UsageError("unknown format '" + to + "' (known: midi, musicxml, mxl)");
        format = *named;
    } else if (toFile && output != "-") {
        const std::optional<Format> byName = FormatOfPath(output);
        if (!byName) {
            return UsageError("cannot tell the format of '" + output +
                              "' from its extension (use --to midi, musicxml or mxl)");
        }
        format = *byName;
    }
    if (toFile && output == "-" && format == Format::Midi && ::isatty(STDOUT_FILENO)) {
        return UsageError("will not write a MIDI file to a terminal");
    }
    if (toFile && output == "-" && format == Format::Mxl && ::isatty(STDOUT_FILENO)) {
        return UsageError("will not write a compressed MusicXML file to a terminal");
    }
    if (format == Format::Mxl && !CanWriteMxl()) {
        return UsageError("this build cannot write .mxl files: it was built without libzip");
    }
    if (toDirectory) {
        struct stat st;
        std::string problem;
        if (::stat(directory.c_str(), &st) != 0) {
            problem = errno == ENOENT ? "no such directory" : ErrnoText(errno);
        } else if (!S_ISDIR(st.st_mode)) {
            problem = "not a directory";
        }
        if (!problem.empty()) {
            std::fprintf(stderr, "scqconvert: %s: %s\n", directory.c_str(), problem.c_str());
            return kExitFailed;
        }
    }

    std::vector<Job> jobs;
    for (const std::string& song : songs) {
        jobs.push_back(
            {song, toFile ? output : OutputInDirectory(directory, song, format), format});
    }

    // No output may be an input, or the output of an earlier song.
    std::vector<std::string> inputKeys;
    for (const Job& job : jobs) inputKeys.push_back(PathKey(job.song));
    std::vector<std::string> outputKeys;
    InstallSignalHandlers();
    bool all = true;
    for (size_t i = 0; i < jobs.size(); ++i) {
        const Job& job = jobs[i];
        if (job.output != "-") {
            const std::string key = PathKey(job.output);
            bool refused = false;
            for (size_t k = 0; k < jobs.size() && !refused; ++k) {
                if (inputKeys[k] == key) {
                    Report(job.song, "will not overwrite the song " + jobs[k].song);
                    refused = true;
                }
            }
            for (size_t k = 0; k < i && !refused; ++k) {
                if (!outputKeys[k].empty() && outputKeys[k] == key) {
                    Report(job.song, job.output + " is also the output of " + jobs[k].song);
                    refused = true;
                }
            }
            outputKeys.push_back(refused ? std::string() : key);
            if (refused) {
                all = false;
                continue;
            }
        } else {
            outputKeys.emplace_back();
        }
        all = ConvertOne(job, force, load) && all;
    }
    return all ? kExitOk : kExitFailed;
}

}  // namespace scq::convert
