#pragma once

namespace scq {

// The program entry of scqinfo: selects the mode from the arguments and returns the exit code.
int RunScqinfo(int argc, char** argv);

}  // namespace scq
