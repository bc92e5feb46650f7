#include "support/hive_content.h"

#include <algorithm>

#include "hive/bytes.h"
#include "hive/dump.h"
#include "hive/hive.h"
#include "hive/validate.h"

namespace test {

using namespace engine::hive;

namespace {
constexpr std::size_t kFirstBinTimestamp = 20;
constexpr std::size_t kFirstBinTimestampEnd = 28;
} // namespace

HiveContent binsOf(std::span<const std::uint8_t> bytes) {
    HiveContent c;
    if (bytes.size() < BaseBlock::kSize) {
        return c;
    }
    c.binsSize = le32(bytes.data() + BaseBlock::kBinsSize);
    const std::size_t end = std::min(bytes.size(), BaseBlock::kSize + std::size_t{c.binsSize});
    c.bins.assign(bytes.begin() + BaseBlock::kSize, bytes.begin() + end);
    // Every write sets the first bin's copy of the last-written time.
    if (c.bins.size() >= kFirstBinTimestampEnd) {
        std::fill(c.bins.begin() + kFirstBinTimestamp, c.bins.begin() + kFirstBinTimestampEnd, 0);
    }
    return c;
}

bool sameBins(const HiveContent& a, const HiveContent& b) {
    return a.binsSize == b.binsSize && a.bins == b.bins;
}

Result<HiveContent> contentOf(std::span<const std::uint8_t> bytes) {
    auto hive = Hive::fromBytes(bytes, "hive");
    if (!hive) {
        return tl::unexpected(hive.error());
    }
    HiveContent c = binsOf(bytes);
    auto dumped = dumpHive(*hive, "", [&](std::string_view line) {
        c.dump += line;
        c.dump += '\n';
    });
    if (!dumped) {
        return tl::unexpected(dumped.error());
    }
    const Validation v = validateHive(*hive);
    c.canChange = v.canChange();
    if (const Finding* f = v.firstBlocking()) {
        c.firstFinding = f->describe();
    }
    return c;
}

Result<HiveContent> contentOf(const HiveImage& image) {
    return contentOf({image.data(), image.size()});
}

Result<HiveContent> recoveredContent(std::span<const std::uint8_t> primary,
                                     std::span<const LogFile> logs) {
    auto image = HiveImage::fromBytes(primary);
    if (!image) {
        return tl::unexpected(image.error());
    }
    auto header = parseBaseBlock(primary);
    if (!header) {
        return tl::unexpected(header.error());
    }
    if (header->dirty()) {
        auto report = recoverHive(*image, logs);
        if (!report) {
            return tl::unexpected(report.error());
        }
    }
    return contentOf(*image);
}

Result<HiveContent> recoveredContent(const std::filesystem::path& primary) {
    auto image = HiveImage::mapFile(primary);
    if (!image) {
        return tl::unexpected(image.error());
    }
    auto logs = readLogFiles(primary);
    if (!logs) {
        return tl::unexpected(logs.error());
    }
    return recoveredContent({image->data(), image->size()}, *logs);
}

} // namespace test
