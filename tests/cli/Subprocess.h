#pragma once

// Runs the real scqinfo binary (or another program) with arguments, standard input and
// environment, and captures standard output, standard error and the exit code.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace scq::testing {

struct RunResult {
    int exitCode = -1;  // -1: did not exit normally
    std::string out;    // standard output, or both streams when merged
    std::string err;
};

// A fresh directory, removed with everything in it at the end.
class TempDir {
public:
    TempDir() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/scqcli_XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    // The names in the directory.
    std::vector<std::string> List() const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(path_, ec)) {
            names.push_back(e.path().filename().string());
        }
        return names;
    }

private:
    std::string path_;
};

inline bool WriteBytes(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

inline std::string ReadBytes(const std::string& path) {
    std::string out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
    return out;
}

struct RunOptions {
    std::string input;                                     // standard input
    std::vector<std::pair<std::string, std::string>> env;  // set or override
    bool merged = false;  // standard output and standard error into one pipe
};

inline RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                            const RunOptions& options = {}) {
    RunResult result;
    TempDir io;
    const std::string inPath = io / "stdin";
    const std::string outPath = io / "stdout";
    const std::string errPath = io / "stderr";
    if (!WriteBytes(inPath, options.input)) return result;

    // Everything the child needs is prepared before the fork.
    std::vector<std::string> argStore;
    argStore.push_back(program);
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e) {
        std::string entry(*e);
        bool overridden = false;
        for (const auto& [name, value] : options.env) {
            if (entry.compare(0, name.size() + 1, name + "=") == 0) overridden = true;
        }
        if (!overridden) envStore.push_back(entry);
    }
    for (const auto& [name, value] : options.env) envStore.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);

    int in = ::open(inPath.c_str(), O_RDONLY | O_CLOEXEC);
    int out = -1, err = -1;
    int pipeFds[2] = {-1, -1};
    if (options.merged) {
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) return result;
    } else {
        out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    }
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in, 0);
        if (options.merged) {
            ::dup2(pipeFds[1], 1);
            ::dup2(pipeFds[1], 2);
        } else {
            ::dup2(out, 1);
            ::dup2(err, 2);
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(in);
    if (options.merged) {
        ::close(pipeFds[1]);
        char buf[4096];
        ssize_t n;
        while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0) {
            result.out.append(buf, static_cast<size_t>(n));
        }
        ::close(pipeFds[0]);
    } else {
        ::close(out);
        ::close(err);
    }
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
    if (!options.merged) {
        result.out = ReadBytes(outPath);
        result.err = ReadBytes(errPath);
    }
    return result;
}

inline RunResult RunScqinfoBinary(const std::vector<std::string>& args,
                                  const RunOptions& options = {}) {
    return RunProgram(SCQINFO_PATH, args, options);
}

// A working directory for test files, and scqinfo run with TMPDIR pointed at a fresh
// directory of its own. `tmpLeftEmpty` tells whether that directory was empty after the last
// run: a repair must never leave its temporary file behind.
class ScqinfoRunner {
public:
    RunResult Run(const std::vector<std::string>& args, RunOptions options = {}) {
        options.env.emplace_back("TMPDIR", tmp_.path());
        RunResult r = RunScqinfoBinary(args, options);
        tmpLeftEmpty_ = tmp_.List().empty();
        return r;
    }
    bool tmpLeftEmpty() const { return tmpLeftEmpty_; }

protected:
    TempDir dir_;
    TempDir tmp_;

private:
    bool tmpLeftEmpty_ = true;
};

}  // namespace scq::testing
