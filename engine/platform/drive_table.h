#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <tl/expected.hpp>

namespace engine::platform {

// Drive types with the numbers Windows gives them (GetDriveType).
enum class DriveType : unsigned {
    Unknown = 0,
    NoRootDir = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    Cdrom = 5,
    RamDisk = 6,
};

// A drive letter in lower case; nullopt for anything but a to z in either case.
std::optional<char> driveLetter(char c);

// One drive letter and the host folder that stands for its root.
struct Drive {
    char letter = 'c'; // always lower case, a to z
    DriveType type = DriveType::Fixed;
    std::filesystem::path root;
};

// The drives the Windows side sees: letter, type and the host folder behind
// each. Given on the command line (--drive, --removable, --cdrom) or detected
// from the mounted volumes (drive_detection.h).
class DriveTable {
public:
    // Adds a drive, replacing one with the same letter. The letter is taken
    // without case; anything but a to z is ignored.
    void add(char letter, DriveType type, std::filesystem::path root);

    // Drives in letter order.
    const std::vector<Drive>& drives() const { return drives_; }
    const Drive* find(char letter) const;
    bool empty() const { return drives_.empty(); }

    // GetLogicalDrives: bit n set when the letter 'a' + n is present.
    std::uint32_t logicalDrives() const;
    // GetDriveType for a drive string such as "c:" (or "c:\"); NoRootDir for
    // a letter that is not there, Unknown for a string that is not a drive.
    DriveType type(std::string_view drive) const;

private:
    std::vector<Drive> drives_;
};

// A drive given on the command line: "L=DIR". The folder must exist. The
// error is one line of Russian for the operator.
tl::expected<Drive, std::string> parseDriveOption(std::string_view text, DriveType type);

} // namespace engine::platform
