#pragma once

// Runs a program (scqinfo, for the tests and benchmarks that drive the real binary) and
// measures its wall time and its peak resident memory.

#include <cstdint>
#include <string>
#include <vector>

namespace scq::test {

struct ProgramRun {
    int exitCode = -1;     // -1 when the program did not exit normally
    int signal = 0;        // the signal that ended it, if any
    long peakRssKb = 0;    // the program's own peak resident set (sampled, see RunProgram)
    double seconds = 0;    // wall time
    std::string out, err;  // what it wrote (empty when thrown away)
};

// Runs a program with arguments and standard input read from a file; extra environment
// entries ("NAME=value") replace or extend this process's environment. With `keepOutput`
// false, standard output and error go to /dev/null; with `mergeOutput`, standard error goes
// where standard output goes (into `out`), in the order the program wrote them.
//
// The peak resident set is read from the program's own VmHWM while it runs (every
// millisecond, from the moment it has replaced the forked copy of this process until it
// exits): the kernel's figure for a child would also count the memory of the copy of this
// process it started as.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& stdinPath, const std::vector<std::string>& env = {},
                      bool keepOutput = true, bool mergeOutput = false);

// How RunProgram runs a program, in full.
struct RunSettings {
    std::vector<std::string> env;  // "NAME=value" entries, as above
    bool keepOutput = true;        // false: both streams go to /dev/null
    bool mergeOutput = false;      // standard error into `out`, in order
    bool discardOutput = false;    // standard output to /dev/null, standard error still kept
    // The most address space the program may map (RLIMIT_AS), in bytes; 0 leaves the limit
    // alone. A program built with AddressSanitizer cannot run under such a limit.
    uint64_t addressSpaceLimit = 0;
};
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& stdinPath, const RunSettings& settings);

// Whether this build uses AddressSanitizer (then the programs it runs do too).
bool BuiltWithAddressSanitizer();

// Lines of a text, each without its line feed.
std::vector<std::string> Lines(const std::string& text);

}  // namespace scq::test
