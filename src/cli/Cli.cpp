#include "cli/Cli.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "load/FileSystem.h"
#include "cli/PlayTimeFormat.h"
#include "load/Repair.h"
#include "perform/PlayTime.h"
#include "song/Song.h"
#include "song/SongFile.h"

namespace scq {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitHelp = 2;

// The list-mode line buffer: a line keeps at most kLineBufferSize - 1 characters.
constexpr size_t kLineBufferSize = 2048;
// Names shorter than this are skipped in list mode.
constexpr size_t kShortestName = 3;

constexpr char kHelpText[] =
    "SCQINFO Version 1.75b: This program displays information about files\n"
    "created by Staveforge Engraver Version 1.75 or earlier. More details\n"
    "can be found at http://www.staveforge.example on the web.\n"
    "\n"
    "Usage: SCQINFO [/?] [/list] [\"<scq-filename>\"]\n"
    "\n"
    "       SCQINFO can be used in three different modes:\n"
    "\n"
    "       /?\n"
    "         This simply shows this help message.\n"
    "\n"
    "       /list\n"
    "         In list mode, a list of SCQ files should be provided on\n"
    "         Standard Input (one file per line), and a tab delimited\n"
    "         list of results are sent to Standard Output.\n"
    "\n"
    "       \"<scq-filename>\"\n"
    "         In the absence of other options, an SCQ file should be\n"
    "         on the command line. You must quote the filename if it\n"
    "         contains any spaces.\n";

bool EqualsIgnoringCase(const char* a, const char* b) {
    auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; };
    for (; *a && *b; ++a, ++b) {
        if (lower(static_cast<unsigned char>(*a)) != lower(static_cast<unsigned char>(*b))) {
            return false;
        }
    }
    return *a == *b;
}

// Writes a text field of a fixed-size buffer, byte for byte, never reading past the buffer.
template <size_t N>
void PutField(const char (&text)[N], FILE* out) {
    std::fwrite(text, 1, strnlen(text, N), out);
}

// Everything on standard output appears before what follows on standard error.
void PutError(const char* name, const char* what) {
    std::fflush(stdout);
    std::fputs(name, stderr);
    std::fputs(what, stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

// A failed write of standard output turns a successful run into a failed one.
int CheckOutput(int code) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fputs("scqinfo: could not write to standard output\n", stderr);
        std::fflush(stderr);
        return kExitFailed;
    }
    return code;
}

int ShowHelp() {
    std::fputs(kHelpText, stdout);
    return CheckOutput(kExitHelp);
}

int ReportOneFile(const char* name) {
    if (!FileExists(name)) {
        std::printf("Error: The file \"%s\" could not be found.\n", name);
        return CheckOutput(kExitFailed);
    }
    SongFileInfo info;
    std::unique_ptr<Song> song = LoadSongWithRepair(name, info);
    if (!song) {
        if (info.status == kLoadNotSong) {
            std::printf(
                "Error: The file \"%s\" does not appear to be a valid Staveforge Engraver "
                "file.\n",
                name);
        } else if (info.status == kLoadCorrupt) {
            std::printf("Error: The file \"%s\" appears to be corrupt.\n", name);
        } else if (info.status == kLoadOutOfMemory) {
            std::printf("Error: The file \"%s\" could not be loaded: out of memory.\n", name);
        } else {
            std::printf(
                "Error: The file \"%s\" appears to be from a new version of Staveforge "
                "Engraver.\n",
                name);
        }
        return CheckOutput(kExitFailed);
    }

    std::fputs("Title:\t", stdout);
    PutField(song->title, stdout);
    std::fputs("\nAuthor:\t", stdout);
    PutField(song->author, stdout);
    std::fputs("\nCopyright1:\t", stdout);
    PutField(song->copyright1, stdout);
    std::fputs("\nCopyright2:\t", stdout);
    PutField(song->copyright2, stdout);
    std::fputs("\n", stdout);

    // The song's own rules first, then the Standard MIDI File rendering.
    char time[kPlayTimeBufferSize];
    const PlayTimes times = BothPlayTimes(*song);
    const int scqSeconds = static_cast<int>(WholeSeconds(times.scqMilliseconds));
    std::printf("SCQ Play Time:\t%s\n", FormatPlayTime(scqSeconds, time));
    const int smfSeconds = static_cast<int>(WholeSeconds(times.smfMilliseconds));
    std::printf("SMF Play Time:\t%s\n", FormatPlayTime(smfSeconds, time));

    // Truncating division: the remainder takes the sign of the version word.
    std::printf("SCQ Version:\t%d.%d\n", static_cast<int>(info.productVersion / 256),
                static_cast<int>(info.productVersion % 256));
    if (song->comments[0] != 0) {
        std::fputs("\nComments:\n", stdout);
        PutField(song->comments, stdout);
        std::fputs("\n", stdout);
    }
    // The program ends with this report. The song is left for the system to take back with
    // the process, at once, where destroying it item by item takes a tenth of a second for a
    // song of millions of items. Held by a static pointer, it stays reachable, not leaked.
    [[maybe_unused]] static Song* leftToExit = nullptr;
    leftToExit = song.release();
    return CheckOutput(kExitOk);
}

// Reads one line of standard input into the buffer. A line ends at a line feed; a carriage
// return just before it belongs to the line end. A longer line keeps its first size - 1
// characters and the rest is read and dropped; a NUL byte ends the name and the rest of the
// line is ignored. Returns false at the end of input when no character was read.
bool ReadListLine(char* buffer, size_t size) {
    size_t length = 0;
    bool any = false;
    bool ended = false;  // a NUL byte was met
    bool pendingCarriageReturn = false;
    auto store = [&](int c) {
        if (ended) return;
        if (c == 0) {
            ended = true;
        } else if (length + 1 < size) {
            buffer[length++] = static_cast<char>(c);
        }
    };
    int c;
    while ((c = std::getc(stdin)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (pendingCarriageReturn) store('\r');
        pendingCarriageReturn = c == '\r';
        if (!pendingCarriageReturn) store(c);
    }
    // A carriage return at the end of input without a line feed is part of the name.
    if (c == EOF && pendingCarriageReturn) store('\r');
    buffer[length] = 0;
    return any;
}

int RunListMode() {
    auto line = std::make_unique<char[]>(kLineBufferSize);
    std::fputs("SCQ Filename\tTitle\tAuthor\n", stdout);
    std::fflush(stdout);
    while (ReadListLine(line.get(), kLineBufferSize)) {
        const char* name = line.get();
        if (std::strlen(name) < kShortestName) continue;
        if (!FileExists(name)) {
            PutError(name, ": File not found");
            continue;
        }
        SongFileInfo info;
        std::unique_ptr<Song> song = LoadSongWithRepair(name, info);
        if (!song) {
            PutError(name, ": File could not be loaded");
            continue;
        }
        std::fputs(name, stdout);
        std::fputc('\t', stdout);
        PutField(song->title, stdout);
        std::fputc('\t', stdout);
        PutField(song->author, stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    if (std::ferror(stdin)) {
        std::fflush(stdout);
        std::fputs("scqinfo: could not read standard input\n", stderr);
        std::fflush(stderr);
        return kExitFailed;
    }
    return CheckOutput(kExitOk);
}

}  // namespace

int RunScqinfo(int argc, char** argv) {
    InitSongDefaults();
    bool help = argc < 2;
    for (int i = 1; i < argc && !help; ++i) help = std::strcmp(argv[i], "/?") == 0;
    if (help) return ShowHelp();
    if (EqualsIgnoringCase(argv[1], "/list")) return RunListMode();
    return ReportOneFile(argv[1]);
}

}  // namespace scq
