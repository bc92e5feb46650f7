#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "context/context.h"
#include "support/test_files.h"

namespace test {

// A target's disk for the registry tests: a temporary folder standing for
// drive c:, hive files placed on it at Windows paths, and a fresh context
// over it. The folder outlives the context, whose mounts map files in it.
struct TargetDisk {
    TempDir dir;
    engine::Context context;

    TargetDisk() { context.drives.add('c', engine::platform::DriveType::Fixed, dir.path()); }

    // The host file behind a path on c: as written ("c:\a\b" is DIR/a/b).
    std::filesystem::path hostOf(std::string_view windowsPath) const {
        std::string relative(windowsPath.substr(3));
        for (char& c : relative) {
            if (c == '\\') {
                c = '/';
            }
        }
        return dir.path() / relative;
    }

    // Copies a test data file to a Windows path on c: (folders created) and
    // returns the host file.
    std::filesystem::path place(const std::string& testdataFile, std::string_view windowsPath) {
        const std::filesystem::path host = hostOf(windowsPath);
        std::filesystem::create_directories(host.parent_path());
        std::filesystem::copy_file(testdata(testdataFile), host,
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::permissions(host, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
        return host;
    }
};

inline constexpr std::string_view kSoftwarePath = "c:\\WINDOWS\\system32\\config\\software";
inline constexpr std::string_view kUserPath = "c:\\Documents and Settings\\Admin\\NTUSER.DAT";

} // namespace test
