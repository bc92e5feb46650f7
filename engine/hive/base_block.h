#pragma once

#include <cstdint>
#include <span>

#include "hive/error.h"

namespace engine::hive {

// The 4096-byte header of a hive file (the "base block" of the registry file
// format description).
struct BaseBlock {
    static constexpr std::size_t kSize = 4096;
    // Offsets of the fields used here.
    static constexpr std::size_t kPrimarySequence = 4;
    static constexpr std::size_t kSecondarySequence = 8;
    static constexpr std::size_t kLastWritten = 12;
    static constexpr std::size_t kMajor = 20;
    static constexpr std::size_t kMinor = 24;
    static constexpr std::size_t kFileType = 28;
    static constexpr std::size_t kFileFormat = 32;
    static constexpr std::size_t kRootCell = 36;
    static constexpr std::size_t kBinsSize = 40;
    static constexpr std::size_t kClustering = 44;
    static constexpr std::size_t kFlags = 144;
    static constexpr std::size_t kChecksum = 508;

    static constexpr std::uint32_t kFileTypePrimary = 0;
    static constexpr std::uint32_t kFlagPendingTransactions = 1;

    std::uint32_t primarySequence = 0;
    std::uint32_t secondarySequence = 0;
    std::uint64_t lastWritten = 0;
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t fileType = 0;
    std::uint32_t fileFormat = 0;
    std::uint32_t rootCell = 0;
    std::uint32_t binsSize = 0;
    std::uint32_t clustering = 0;
    std::uint32_t flags = 0;
    std::uint32_t checksum = 0;
    bool checksumValid = false;

    // Sequence numbers that differ, or a wrong checksum: the hive's logs hold
    // changes its primary file lacks.
    bool dirty() const { return primarySequence != secondarySequence || !checksumValid; }
    // Big data (`db`) cells exist from format 1.4 on.
    bool hasBigData() const { return minor >= 4; }
};

// The checksum rule: XOR of the first 508 bytes as 32-bit words, with 0 written
// as 1 and 0xFFFFFFFF as 0xFFFFFFFE.
std::uint32_t baseBlockChecksum(std::span<const std::uint8_t> header);

// Reads the fields of a base block; fails only when the bytes are not a hive
// header at all (too short, no "regf" signature).
Result<BaseBlock> parseBaseBlock(std::span<const std::uint8_t> bytes);

} // namespace engine::hive
