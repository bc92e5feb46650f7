#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <tl/expected.hpp>

#include "platform/drive_table.h"

namespace cli {

// --drive L=DIR, --removable L=DIR, --cdrom L=DIR: the drives a command works
// on. Without any, they are detected from the mounted volumes.
class DriveOptions {
public:
    void addTo(CLI::App& command);
    bool given() const { return !fixed_.empty() || !removable_.empty() || !cdrom_.empty(); }
    // The table the options give; the first bad option's message when one is
    // malformed, names a letter outside a-z or a folder that does not exist.
    tl::expected<engine::platform::DriveTable, std::string> table() const;
    // The table of the options when any is given, else the detected drives.
    tl::expected<engine::platform::DriveTable, std::string> tableOrDetected() const;

private:
    std::vector<std::string> fixed_;
    std::vector<std::string> removable_;
    std::vector<std::string> cdrom_;
};

} // namespace cli
