#include "support/Process.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include "support/SongBuilder.h"

extern char** environ;

namespace scq::test {

namespace {

std::string Slurp(int fd) {
    std::string text;
    lseek(fd, 0, SEEK_SET);
    char buffer[65536];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    return text;
}

// The peak resident set of a running process in KB, once it runs `program` (its name in
// /proc is the first 15 characters of the program's file name); 0 before that or when the
// process is gone.
long PeakRssKb(pid_t pid, const std::string& name) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    bool running = false;
    while (std::getline(status, line)) {
        if (line.rfind("Name:", 0) == 0) {
            running = line.find(name) != std::string::npos;
        } else if (running && line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

}  // namespace

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& stdinPath, const std::vector<std::string>& env,
                      bool keepOutput, bool mergeOutput) {
    RunSettings settings;
    settings.env = env;
    settings.keepOutput = keepOutput;
    settings.mergeOutput = mergeOutput;
    return RunProgram(program, args, stdinPath, settings);
}

bool BuiltWithAddressSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& stdinPath, const RunSettings& settings) {
    const std::vector<std::string>& env = settings.env;
    const bool keepOutput = settings.keepOutput;
    const bool mergeOutput = settings.mergeOutput;
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
    std::string name = program.substr(program.find_last_of('/') + 1).substr(0, 15);

    const int in = open(stdinPath.c_str(), O_RDONLY);
    const int o = keepOutput && !settings.discardOutput ? open(out.path().c_str(), O_RDWR | O_TRUNC)
                                                        : open("/dev/null", O_WRONLY);
    const int e =
        keepOutput ? open(err.path().c_str(), O_RDWR | O_TRUNC) : open("/dev/null", O_WRONLY);
    if (in >= 0 && o >= 0 && e >= 0) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            if (settings.addressSpaceLimit != 0) {
                const rlimit limit{settings.addressSpaceLimit, settings.addressSpaceLimit};
                if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
            }
            dup2(in, 0);
            dup2(o, 1);
            dup2(mergeOutput ? o : e, 2);
            execve(program.c_str(), argv.data(), envp.data());
            _exit(127);
        }
        int status = 0;
        while (pid > 0) {
            const pid_t done = waitpid(pid, &status, WNOHANG);
            if (done == pid) {
                if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
                if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
                break;
            }
            if (done < 0) break;
            run.peakRssKb = std::max(run.peakRssKb, PeakRssKb(pid, name));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        run.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (keepOutput) {
            if (!settings.discardOutput) run.out = Slurp(o);
            if (!mergeOutput) run.err = Slurp(e);
        }
    }
    if (in >= 0) close(in);
    if (o >= 0) close(o);
    if (e >= 0) close(e);
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
