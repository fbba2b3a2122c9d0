#include "Hostile.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "perform/PlayTime.h"
#include "song/Staff.h"
#include "staff/Audit.h"
#include "stream/CompressedSongStream.h"
#include "stream/MemoryStream.h"

extern char** environ;

namespace scq::test {

Loaded LoadFromMemory(const Bytes& bytes) {
    Loaded result;
    MemoryStream file(bytes.data(), bytes.size());
    if (IsCompressedSongStream(file)) {
        CompressedSongStream compressed(file);
        result.song = LoadSongFromStream(compressed, result.info);
    } else {
        file.Rewind();
        result.song = LoadSongFromStream(file, result.info);
    }
    return result;
}

bool StatusGivesSong(int status) {
    return status == kLoadEmpty || status == kLoadNewest || status == kLoadOlder ||
           status == kLoadCorrupt;
}

std::string CheckWellFormed(const Song& song) {
    if (song.staffCount() < 1) return "no staff";
    for (int i = 0; i < song.staffCount(); ++i) {
        const Staff* staff = song.staffAt(i);
        const std::string where = "staff " + std::to_string(i) + ": ";
        if (!staff) return where + "missing";
        if (staff->itemCount() < 2) return where + "fewer than two items";
        if (staff->itemAt(0)->typeCode() != kBarLineItem) return where + "no opening bar line";
        if (staff->lastItem()->typeCode() != kBarLineItem) return where + "no closing bar line";
        if (staff->lyrics && staff->lyrics->lines.size() > LyricsBlock::kMaxLines) {
            return where + "more than nine lyric lines";
        }
    }
    return "";
}

void AuditAndPlay(Song& song) {
    auditSong(song, 1);
    PlayTimeSeconds(song, PlayTimeVariant::Scq);
    PlayTimeSeconds(song, PlayTimeVariant::Smf);
}

namespace {

std::string Slurp(int fd) {
    std::string text;
    lseek(fd, 0, SEEK_SET);
    char buffer[65536];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    return text;
}

}  // namespace

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& stdinPath, const std::vector<std::string>& env) {
    ProgramRun run;
    TempFile out, err;
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) environment.emplace_back(*e);
    for (const std::string& entry : env) {
        const std::string name = entry.substr(0, entry.find('=') + 1);
        std::erase_if(environment, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
        environment.push_back(entry);
    }
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);

    const int in = open(stdinPath.c_str(), O_RDONLY);
    const int o = open(out.path().c_str(), O_RDWR | O_TRUNC);
    const int e = open(err.path().c_str(), O_RDWR | O_TRUNC);
    if (in < 0 || o < 0 || e < 0) return run;
    Stopwatch clock;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in, 0);
        dup2(o, 1);
        dup2(e, 2);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid > 0 && wait4(pid, &status, 0, &usage) == pid) {
        run.seconds = clock.seconds();
        run.maxRssKb = usage.ru_maxrss;
        if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
    }
    run.out = Slurp(o);
    run.err = Slurp(e);
    close(in);
    close(o);
    close(e);
    return run;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace scq::test
