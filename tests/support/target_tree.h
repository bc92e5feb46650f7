#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "context/context.h"
#include "platform/drive_table.h"
#include "support/test_files.h"

namespace test {

// A value to plant in a hive: its key's path from the hive's root, its name
// ("" for the default value), type and bytes.
struct PlantedValue {
    std::string key;
    std::string name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};
PlantedValue sz(std::string key, std::string name, const std::string& text);
PlantedValue expandSz(std::string key, std::string name, const std::string& text);
PlantedValue dword(std::string key, std::string name, std::uint32_t value);
// A key with no values (the value name is empty and the type is -1).
PlantedValue keyOnly(std::string key);

// A new hive file grown from the real empty hive Windows wrote, holding the
// planted values.
void makeHive(const std::filesystem::path& file, const std::vector<PlantedValue>& values);
// Plants values into an existing hive file, written back in place by the
// engine, as a later test step would find them.
void plantValues(const std::filesystem::path& file, const std::vector<PlantedValue>& values);

enum class WindowsKind {
    Xp32,    // WINDOWS\system32\config\software, Documents and Settings
    Win7x64, // spelled as Windows 7 spells it: Windows\System32\config\SOFTWARE, Users
    Win10x64,
};

// The disks of a locked computer in a temporary folder: drive folders
// (drive-c, drive-d, ...) holding Windows installations with SOFTWARE hives
// grown from the real empty hive, and user profiles with the real NTUSER.DAT
// files of the test data.
class TargetTree {
public:
    TargetTree();
    // The drives in a folder of the caller's (a mounted NTFS volume, say):
    // drive `letter` is `root` itself.
    TargetTree(char letter, std::filesystem::path root);

    // The host folder of a drive, made (as a fixed drive) when missing.
    std::filesystem::path
    drive(char letter, engine::platform::DriveType type = engine::platform::DriveType::Fixed);
    const engine::platform::DriveTable& drives() const { return drives_; }

    // An installation in `folder` of the drive: its SOFTWARE hive with the
    // product, build and folder of that Windows, its profiles folder, the
    // default Winlogon values (and the 64-bit view's Winlogon key), plus
    // `extra`. Returns the hive's host path.
    std::filesystem::path addInstallation(char letter, const std::string& folder, WindowsKind kind,
                                          const std::vector<PlantedValue>& extra = {});
    // A profile folder `name` in the profiles folder of that Windows
    // ("Documents and Settings" or "Users") holding a copy of a real
    // NTUSER.DAT. Returns the hive's host path.
    std::filesystem::path addProfile(char letter, WindowsKind kind, const std::string& name,
                                     const std::string& ntuser = "hives/xp-ntuser.dat");

    // A context over these drives, with no running system's drive.
    engine::Context context() const;

private:
    std::unique_ptr<TempDir> temp_;
    std::filesystem::path base_;
    engine::platform::DriveTable drives_;
};

} // namespace test
