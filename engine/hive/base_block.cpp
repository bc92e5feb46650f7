#include "hive/base_block.h"

#include <cstring>

#include "hive/bytes.h"

namespace engine::hive {

std::uint32_t baseBlockChecksum(std::span<const std::uint8_t> header) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 4 <= BaseBlock::kChecksum && i + 4 <= header.size(); i += 4) {
        sum ^= le32(header.data() + i);
    }
    if (sum == 0) {
        return 1;
    }
    if (sum == 0xFFFFFFFFu) {
        return 0xFFFFFFFEu;
    }
    return sum;
}

Result<BaseBlock> parseBaseBlock(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < BaseBlock::kSize) {
        return fail("не куст реестра: файл короче заголовка куста", bytes.size());
    }
    if (std::memcmp(bytes.data(), "regf", 4) != 0) {
        return fail("не куст реестра: нет подписи \"regf\"");
    }
    const std::uint8_t* p = bytes.data();
    BaseBlock b;
    b.primarySequence = le32(p + BaseBlock::kPrimarySequence);
    b.secondarySequence = le32(p + BaseBlock::kSecondarySequence);
    b.lastWritten = le64(p + BaseBlock::kLastWritten);
    b.major = le32(p + BaseBlock::kMajor);
    b.minor = le32(p + BaseBlock::kMinor);
    b.fileType = le32(p + BaseBlock::kFileType);
    b.fileFormat = le32(p + BaseBlock::kFileFormat);
    b.rootCell = le32(p + BaseBlock::kRootCell);
    b.binsSize = le32(p + BaseBlock::kBinsSize);
    b.clustering = le32(p + BaseBlock::kClustering);
    b.flags = le32(p + BaseBlock::kFlags);
    b.checksum = le32(p + BaseBlock::kChecksum);
    b.checksumValid = b.checksum == baseBlockChecksum(bytes.first(BaseBlock::kSize));
    return b;
}

} // namespace engine::hive
