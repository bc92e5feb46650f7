#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "hive/error.h"
#include "hive/image.h"

namespace engine::hive {

// The two formats of hive transaction logs: the old one (a base block copy, a
// DIRT bitmap of dirty 512-byte pages, the pages; XP's .LOG, Vista's and 7's
// .LOG1/.LOG2) and the new one (HvLE log entries; Windows 8.1 and later).
enum class LogFormat { Old, New };

// One transaction log file beside a primary hive file, read whole.
struct LogFile {
    std::filesystem::path path;
    std::vector<std::uint8_t> bytes;
};

// What recovery did.
struct RecoveryReport {
    LogFormat format = LogFormat::New;
    std::vector<std::filesystem::path> applied; // the logs used, in order
    std::uint32_t sequence = 0;                 // the sequence number the hive now has
    bool baseBlockFromLog = false;              // the primary's base block was invalid
};

// The transaction logs of a primary file: the files named like it with the
// suffix .LOG, .LOG1 or .LOG2, matched without case, in the order .LOG,
// .LOG1, .LOG2. Missing logs are simply not listed.
Result<std::vector<LogFile>> readLogFiles(const std::filesystem::path& primary);

// Applies the transaction logs of a dirty hive to its image, in memory, as
// Windows does when it loads the hive: picks the eligible logs, applies them
// in Windows' order, stops where Windows stops, grows the image where a log
// says so, and leaves a clean base block (equal sequence numbers, a valid
// checksum). Only the pages recovery writes are marked dirty in the image.
// Fails, with the reason, when the hive cannot be recovered (no eligible log,
// damaged logs); the image may then hold partial changes and must be thrown
// away. A clean hive is not touched.
Result<RecoveryReport> recoverHive(HiveImage& image, std::span<const LogFile> logs);

} // namespace engine::hive
