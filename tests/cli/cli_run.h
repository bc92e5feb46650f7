#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/app.h"

namespace cli {

// One run of morvalin-cli in this process: its exit code and what it printed.
struct CliRun {
    int status;
    std::string out;
    std::string err;
};

// What the run's standard input holds, and which streams pretend to be a
// terminal.
struct CliInput {
    std::string in = {};
    bool inIsTerminal = false;
    bool outIsTerminal = false;
};

inline CliRun runCli(std::vector<std::string> args, const CliInput& input = {}) {
    args.insert(args.begin(), "morvalin-cli");
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    std::istringstream in(input.in);
    std::ostringstream out;
    std::ostringstream err;
    const int status = run(static_cast<int>(argv.size()), argv.data(),
                           Terminal{in, out, err, input.inIsTerminal, input.outIsTerminal});
    return {status, out.str(), err.str()};
}

} // namespace cli
