#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "hive/base_block.h"
#include "hive/error.h"
#include "hive/log_recovery.h"

namespace engine::hive {

// Which Windows an installation is, as far as its hive logs go: XP keeps one
// .LOG in the old format; Vista, 7 and 8 keep .LOG1 and .LOG2 in the old
// format; 8.1 and later keep .LOG1 and .LOG2 in the new format.
enum class WindowsGeneration { Xp, VistaTo8, Win81OrLater };

// The log a write-back writes into.
struct LogTarget {
    std::filesystem::path path;
    LogFormat format = LogFormat::Old;
    // The other log of a .LOG1/.LOG2 pair when it does not exist yet: created
    // empty, as Windows keeps both.
    std::optional<std::filesystem::path> companion;
};

// Picks the format and the file for the next write of a hive whose logs are
// `logs` (as readLogFiles found them) and whose base block is `header`.
//
// Format: that of the hive's own logs (file type 1 or 2: old, 6: new; the
// newest valid one decides); without a valid log, that of `generation`; without
// either, the old one, which every Windows from XP on reads.
// Scheme: .LOG alone for XP, .LOG1/.LOG2 otherwise; with `generation` unknown,
// the files the hive already has tell, else its format version (1.3 and older:
// XP's .LOG).
// File: of a pair, a missing or invalid one first, else the one holding the
// older write, so that the newer log stays as it was (Windows alternates the
// same way).
LogTarget chooseLog(const std::filesystem::path& primary, std::span<const LogFile> logs,
                    std::optional<WindowsGeneration> generation, const BaseBlock& header);

// The highest sequence number any log holds: in a valid base block, or in a
// log entry whose header hash is right wherever it lies (applied, stale, left
// over, or in a log whose base block is damaged); 0 when none.
std::uint32_t highestLogSequence(std::span<const LogFile> logs);
// The latest last-written time in a valid log base block; 0 when none.
std::uint64_t latestLogTime(std::span<const LogFile> logs);

// What a log is made of.
struct LogContent {
    LogFormat format = LogFormat::Old;
    // The hive's base block as it will be once written (4096 bytes): the log
    // keeps its first sector with the file type, the sequence numbers and the
    // last-written time below put in and the checksum made anew.
    std::span<const std::uint8_t> baseBlock;
    std::uint32_t sequence = 0;
    std::uint64_t lastWritten = 0;
    // The hive's bytes, base block first, and the 4096-byte pages of it to log
    // (indices in the file, so 1 is the first page of the hive bins),
    // ascending, all inside the hive bins the base block counts.
    std::span<const std::uint8_t> hive;
    std::span<const std::size_t> pages;
};

// The bytes of a transaction log holding those pages, from offset 0:
//  - old format: the base block copy (file type 1, both sequence numbers
//    `sequence`) in the first sector, the "DIRT" bitmap of the 512-byte pages
//    of the hive bins from the second, the pages from the next sector on;
//  - new format: the base block copy (file type 6, both sequence numbers
//    `sequence`), then one "HvLE" entry with that sequence number, the base
//    block's flags and hive bins size, runs of consecutive pages and the two
//    Marvin32 hashes, padded to end on a 4096-byte boundary as Windows pads.
Result<std::vector<std::uint8_t>> buildLog(const LogContent& content);

} // namespace engine::hive
