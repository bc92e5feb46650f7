#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "hive/error.h"
#include "hive/image.h"
#include "hive/log_recovery.h"

namespace test {

// What a hive holds, to tell the old content from the new: the hive bins
// byte for byte (as many as the base block counts; the first bin's copy of the
// last-written time, which every write sets, left out as zeros), their text
// form (dumpHive), and what the structural check says.
struct HiveContent {
    std::uint32_t binsSize = 0;
    std::vector<std::uint8_t> bins;
    std::string dump;
    bool canChange = false;
    std::string firstFinding; // the first blocking finding, if any

    bool sameAs(const HiveContent& other) const {
        return binsSize == other.binsSize && bins == other.bins && dump == other.dump;
    }
};

engine::hive::Result<HiveContent> contentOf(std::span<const std::uint8_t> bytes);
// Only binsSize and bins filled in (no walk over the keys): enough to tell
// two states of the same hive apart, at a fraction of the cost.
HiveContent binsOf(std::span<const std::uint8_t> bytes);
bool sameBins(const HiveContent& a, const HiveContent& b);
engine::hive::Result<HiveContent> contentOf(const engine::hive::HiveImage& image);

// The content of a primary file with its logs once a dirty one is recovered
// as Windows recovers it (recoverHive); a clean one is read as it is.
engine::hive::Result<HiveContent> recoveredContent(std::span<const std::uint8_t> primary,
                                                   std::span<const engine::hive::LogFile> logs);
// The same for files on disk.
engine::hive::Result<HiveContent> recoveredContent(const std::filesystem::path& primary);

} // namespace test
