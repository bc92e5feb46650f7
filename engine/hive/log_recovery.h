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

// What recovery did. For a clean hive `applied` is empty and `sequence` is
// the hive's own.
struct RecoveryReport {
    LogFormat format = LogFormat::New;
    std::vector<std::filesystem::path> applied; // the logs used, in order
    std::uint32_t sequence = 0;                 // the sequence number the hive now has
    bool baseBlockFromLog = false;              // the primary's base block was invalid
};

// The transaction logs of a primary file: the files named like it with the
// suffix .LOG, .LOG1 or .LOG2, matched without case, in the order .LOG,
// .LOG1, .LOG2. Missing logs are simply not listed; empty ones are (Windows
// keeps an empty .LOG beside .LOG1 and .LOG2). Where two names differ only in
// case (possible on a case-sensitive volume), the exact spelling wins, else
// the first in name order. Fails when the folder or a log cannot be read.
Result<std::vector<LogFile>> readLogFiles(const std::filesystem::path& primary);

// Applies the transaction logs of a dirty hive to its image, in memory, as
// Windows does when it loads the hive: picks the eligible logs, applies them
// in Windows' order, stops where Windows stops, grows the image where a log
// says so, and leaves a clean base block (equal sequence numbers, a valid
// checksum). Only the pages recovery writes are marked dirty in the image
// (a page that already held the recovered bytes is not written).
// Fails, with the reason, when the hive cannot be recovered (no eligible log,
// damaged logs); the image may then hold partial changes and must be thrown
// away. A clean hive is not touched.
//
// After recovery both sequence numbers are those the interrupted writes were
// giving the primary: one past the last log entry applied (new format; what
// Windows 10 writes), the primary's own primary sequence number (old format).
// Where Windows would stop part-way and keep the rest, recovery refuses: a
// damaged old-format log, or new-format entries that exist beyond a gap or a
// damaged entry (their changes would be lost once the hive is written). A
// torn last entry with nothing newer behind it is the normal end of a log.
Result<RecoveryReport> recoverHive(HiveImage& image, std::span<const LogFile> logs);

} // namespace engine::hive
