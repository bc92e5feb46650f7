#pragma once

#include <iosfwd>

namespace cli {

// Exit codes of morvalin-cli.
enum Exit : int {
    kExitOk = 0,
    kExitRefused = 1, // the answer is "no": a check failed, a value is absent
    kExitError = 2,   // the work could not be done: a file unreadable, bad input
};

// Parses the command line and runs the command; returns the exit code.
int run(int argc, char** argv);
int run(int argc, char** argv, std::ostream& out, std::ostream& err);

} // namespace cli
