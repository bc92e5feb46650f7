#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "cli/app.h"
#include "cli/drive_options.h"

namespace cli {

// `morvalin-cli auto`: the automatic unlock pass over every installation on
// the drives, its log on standard output. Exit status 0 when the pass ran to
// its end (whatever it found), 1 when it could not run (the reason on
// standard error), 2 for bad usage, kExitNotWritten when it ran but some of
// its changes did not reach the disk (the log says which).
inline constexpr int kExitNotWritten = 3;

class AutoCommand {
public:
    AutoCommand(CLI::App& app, const Terminal& terminal);
    bool chosen() const { return auto_->parsed(); }
    int run();

private:
    bool colourLines() const;

    const Terminal& terminal_;
    CLI::App* auto_ = nullptr;
    DriveOptions drives_;
    std::string format_ = "text";
    std::string color_ = "auto";
    std::string restoreFiles_;
    std::string backupDir_ = "BACKUP";
};

} // namespace cli
