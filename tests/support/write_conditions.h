#pragma once

// The conditions under which nothing may be written to a target's file, for
// the tables of the writers that keep the one write policy.
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "hive/file_io.h"
#include "support/faulty_file_io.h"

namespace test {

enum class WriteCondition { Fine, HibernatedVolume, ReadOnlyFile, ReadOnlyVolume };

struct WriteCase {
    const char* what;
    WriteCondition condition;
};
inline constexpr WriteCase kWriteCases[] = {
    {"a volume holding a hibernation image", WriteCondition::HibernatedVolume},
    {"a file without write permission", WriteCondition::ReadOnlyFile},
    {"a read-only volume", WriteCondition::ReadOnlyVolume},
    {"a file that may be written", WriteCondition::Fine},
};

// A Fast Startup image at the root of a volume.
inline void plantHibernationImage(const std::filesystem::path& volumeRoot) {
    std::ofstream(volumeRoot / "hiberfil.sys", std::ios::binary)
        << "HIBR" << std::string(4092, '\0');
}

// Makes `file` on the volume whose root is `volumeRoot` unwritable as the
// condition says; the file operations to use over `real`, whose facts show a
// read-only volume for that condition.
inline std::unique_ptr<engine::hive::FileIo>
imposeWriteCondition(WriteCondition condition, const std::filesystem::path& volumeRoot,
                     const std::filesystem::path& file, engine::hive::FileIo& real) {
    namespace fs = std::filesystem;
    switch (condition) {
    case WriteCondition::HibernatedVolume:
        plantHibernationImage(volumeRoot);
        break;
    case WriteCondition::ReadOnlyFile:
        fs::permissions(file,
                        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        break;
    case WriteCondition::ReadOnlyVolume:
        return std::make_unique<FaultyFileIo>(
            real, [](engine::hive::FileFacts& facts) { facts.readOnlyVolume = true; });
    case WriteCondition::Fine:
        break;
    }
    return std::make_unique<FaultyFileIo>(real, [](engine::hive::FileFacts&) {});
}

} // namespace test
