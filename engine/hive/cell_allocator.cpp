#include "hive/cell_allocator.h"

#include <cstring>

#include "hive/base_block.h"
#include "hive/bytes.h"
#include "hive/cells.h"

namespace engine::hive {

namespace {

// Windows keeps a hive below 2 GiB; so do we, with room to spare.
constexpr std::uint64_t kMaxBinsSize = 0x7FF00000;

std::uint32_t cellSizeFor(std::uint32_t dataSize) {
    return std::max<std::uint32_t>(8, (dataSize + 4 + 7) & ~7u);
}

std::int32_t rawSize(const std::uint8_t* p) {
    return static_cast<std::int32_t>(le32(p));
}

} // namespace

CellAllocator CellAllocator::scan(const std::uint8_t* bins, std::uint32_t binsSize) {
    CellAllocator a;
    a.bins_ = bins;
    a.binsSize_ = binsSize;
    std::uint32_t pos = 0;
    while (pos + kBinHeaderSize <= binsSize) {
        const std::uint32_t size = le32(bins + pos + 8);
        a.binSizes_[pos] = size;
        for (std::uint32_t c = pos + kBinHeaderSize; c < pos + size;) {
            const std::int32_t raw = rawSize(bins + c);
            const std::uint32_t cellSize =
                raw < 0 ? static_cast<std::uint32_t>(-raw) : static_cast<std::uint32_t>(raw);
            if (raw > 0) {
                a.freeByOffset_[c] = cellSize;
                a.freeBySize_.insert({cellSize, c});
            }
            c += cellSize;
        }
        pos += size;
    }
    return a;
}

const std::uint8_t* CellAllocator::cellAt(std::uint32_t offset) const {
    return bins_ + offset;
}

std::uint32_t CellAllocator::binEnd(std::uint32_t offset) const {
    auto it = binSizes_.upper_bound(offset);
    --it;
    return it->first + it->second;
}

std::uint32_t CellAllocator::capacity(std::uint32_t cell) const {
    const std::int32_t raw = rawSize(cellAt(cell));
    return static_cast<std::uint32_t>(raw < 0 ? -raw : raw) - 4;
}

void CellAllocator::addFree(ChangeJournal& journal, std::uint32_t offset, std::uint32_t size) {
    journal.put32(BaseBlock::kSize + offset, size);
    freeByOffset_[offset] = size;
    freeBySize_.insert({size, offset});
}

void CellAllocator::dropFree(std::uint32_t offset) {
    auto it = freeByOffset_.find(offset);
    freeBySize_.erase({it->second, offset});
    freeByOffset_.erase(it);
}

Result<std::uint32_t> CellAllocator::appendBin(ChangeJournal& journal, std::uint32_t cellSize) {
    const std::uint32_t binSize = static_cast<std::uint32_t>(
        (std::uint64_t{cellSize} + kBinHeaderSize + HiveImage::kPageSize - 1) /
        HiveImage::kPageSize * HiveImage::kPageSize);
    if (std::uint64_t{binsSize_} + binSize > kMaxBinsSize) {
        return fail("куст достиг предельного размера");
    }
    const std::uint32_t binOffset = binsSize_;
    if (auto grown = journal.grow(BaseBlock::kSize + std::size_t{binOffset} + binSize); !grown) {
        return tl::unexpected(grown.error());
    }
    std::uint8_t* header = journal.write(BaseBlock::kSize + binOffset, kBinHeaderSize);
    std::memset(header, 0, kBinHeaderSize);
    std::memcpy(header, "hbin", 4);
    put32(header + 4, binOffset);
    put32(header + 8, binSize);
    binsSize_ = binOffset + binSize;
    journal.put32(BaseBlock::kBinsSize, binsSize_);
    binSizes_[binOffset] = binSize;
    addFree(journal, binOffset + static_cast<std::uint32_t>(kBinHeaderSize),
            binSize - static_cast<std::uint32_t>(kBinHeaderSize));
    return binOffset + static_cast<std::uint32_t>(kBinHeaderSize);
}

Result<std::uint32_t> CellAllocator::allocate(ChangeJournal& journal, std::uint32_t dataSize) {
    if (dataSize > kMaxBinsSize) {
        return fail("запись слишком велика для куста");
    }
    const std::uint32_t needed = cellSizeFor(dataSize);
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    if (auto it = freeBySize_.lower_bound({needed, 0}); it != freeBySize_.end()) {
        size = it->first;
        offset = it->second;
    } else {
        auto appended = appendBin(journal, needed);
        if (!appended) {
            return tl::unexpected(appended.error());
        }
        offset = *appended;
        size = freeByOffset_.at(offset);
    }
    dropFree(offset);
    if (size - needed >= 8) {
        addFree(journal, offset + needed, size - needed);
        size = needed;
    }
    journal.put32(BaseBlock::kSize + offset,
                  static_cast<std::uint32_t>(-static_cast<std::int32_t>(size)));
    return offset;
}

void CellAllocator::release(ChangeJournal& journal, std::uint32_t cell) {
    std::uint32_t offset = cell;
    std::uint32_t size = static_cast<std::uint32_t>(-rawSize(cellAt(cell)));
    const std::uint32_t end = binEnd(cell);
    // Merge with the free cell that follows, then with the one before.
    if (offset + size < end) {
        if (auto next = freeByOffset_.find(offset + size); next != freeByOffset_.end()) {
            size += next->second;
            dropFree(next->first);
        }
    }
    if (auto after = freeByOffset_.lower_bound(offset); after != freeByOffset_.begin()) {
        auto before = std::prev(after);
        if (before->first + before->second == offset && binEnd(before->first) == end) {
            offset = before->first;
            size += before->second;
            dropFree(offset);
        }
    }
    addFree(journal, offset, size);
}

} // namespace engine::hive
