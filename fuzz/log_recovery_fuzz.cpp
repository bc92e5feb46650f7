// Any bytes as a dirty primary and up to two transaction logs: recovery either
// refuses or leaves a hive the structural check can walk. Nothing may crash,
// read outside the input or loop for ever.
//
// Input: one byte of switches, two 32-bit lengths (primary, first log), then
// the primary, the first log and, with what is left, the second log. The
// switches make the checksums and log entry hashes right, so that the fuzzer
// gets past them to the code behind; sizes of hive bins are kept below 16 MiB
// there, so that honest growth does not look like a leak.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "hive/base_block.h"
#include "hive/bytes.h"
#include "hive/hive.h"
#include "hive/log_recovery.h"
#include "hive/marvin32.h"
#include "hive/validate.h"

namespace {

using namespace engine::hive;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kMaxBins = 16u << 20;
constexpr std::uint64_t kEntrySeed = 0x82EF4D887A4E55C5ull;

void limitBins(std::uint8_t* field) {
    put32(field, le32(field) % kMaxBins);
}

void sealHeader(Bytes& file, std::size_t length) {
    if (file.size() >= length) {
        limitBins(file.data() + BaseBlock::kBinsSize);
        put32(file.data() + BaseBlock::kChecksum, baseBlockChecksum({file.data(), 512}));
    }
}

void hashEntries(Bytes& log) {
    for (std::size_t at = 512; at + 40 <= log.size(); at += 512) {
        std::uint8_t* e = log.data() + at;
        if (e[0] != 'H' || e[1] != 'v' || e[2] != 'L' || e[3] != 'E') {
            continue;
        }
        const std::uint32_t size = le32(e + 4);
        if (size < 40 || size > log.size() - at) {
            continue;
        }
        limitBins(e + 16);
        put64(e + 24, marvin32({e + 40, size - 40}, kEntrySeed));
        put64(e + 32, marvin32({e, 32}, kEntrySeed));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 9) {
        return 0;
    }
    const std::uint8_t switches = data[0];
    std::size_t rest = size - 9;
    const std::size_t primaryLength = std::min<std::size_t>(le32(data + 1), rest);
    rest -= primaryLength;
    const std::size_t log1Length = std::min<std::size_t>(le32(data + 5), rest);
    const std::uint8_t* p = data + 9;
    Bytes primary(p, p + primaryLength);
    std::vector<LogFile> logs{
        {"fuzz.LOG1", Bytes(p + primaryLength, p + primaryLength + log1Length)},
        {"fuzz.LOG2", Bytes(p + primaryLength + log1Length, data + size)}};

    if (switches & 1) {
        sealHeader(primary, BaseBlock::kSize);
    }
    for (auto& log : logs) {
        if (switches & 2) {
            hashEntries(log.bytes);
        }
        if (switches & 4) {
            sealHeader(log.bytes, 512);
        }
    }
    if (primary.size() >= BaseBlock::kSize) {
        limitBins(primary.data() + BaseBlock::kBinsSize);
    }

    auto image = HiveImage::fromBytes(primary);
    if (!image) {
        return 0;
    }
    if (auto report = recoverHive(*image, logs); !report) {
        return 0;
    }
    auto hive = Hive::fromBytes({image->data(), image->size()}, "fuzz");
    if (hive) {
        (void)validateHive(*hive);
    }
    return 0;
}
