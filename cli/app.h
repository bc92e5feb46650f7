#pragma once

#include <iosfwd>

namespace cli {

// Exit codes of morvalin-cli.
enum Exit : int {
    kExitOk = 0,
    kExitRefused = 1, // the answer is "no": a check failed, a value is absent
    kExitError = 2,   // the work could not be done: a file unreadable, bad input
};

// Where a run reads and writes, and whether its input and output are
// terminals (a command may ask questions or colour its output then).
struct Terminal {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    bool inIsTerminal = false;
    bool outIsTerminal = false;
};

// Parses the command line and runs the command; returns the exit code. The
// first form works on the process's standard streams; the second on the given
// output streams with an empty input, neither a terminal.
int run(int argc, char** argv);
int run(int argc, char** argv, std::ostream& out, std::ostream& err);
int run(int argc, char** argv, const Terminal& terminal);

} // namespace cli
