#pragma once

#include <ostream>

#include <CLI/CLI.hpp>

#include "cli/drive_options.h"

namespace cli {

// `morvalin-cli scan`: the Windows installations on the drives.
class ScanCommand {
public:
    ScanCommand(CLI::App& app, std::ostream& out, std::ostream& err);
    bool chosen() const { return scan_->parsed(); }
    int run();

private:
    std::ostream& out_;
    std::ostream& err_;
    CLI::App* scan_ = nullptr;
    DriveOptions drives_;
};

} // namespace cli
