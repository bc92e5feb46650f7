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

inline CliRun runCli(std::vector<std::string> args) {
    args.insert(args.begin(), "morvalin-cli");
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    std::ostringstream out;
    std::ostringstream err;
    const int status = run(static_cast<int>(argv.size()), argv.data(), out, err);
    return {status, out.str(), err.str()};
}

} // namespace cli
