#pragma once

// Runs the real scqinfo binary (or another program) with arguments, standard input and
// environment, and captures standard output, standard error and the exit code.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/Process.h"

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
    if (!WriteBytes(inPath, options.input)) return result;
    std::vector<std::string> env;
    for (const auto& [name, value] : options.env) env.push_back(name + "=" + value);
    test::ProgramRun run = test::RunProgram(program, args, inPath, env, true, options.merged);
    result.exitCode = run.exitCode;
    result.out = std::move(run.out);
    result.err = std::move(run.err);
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
