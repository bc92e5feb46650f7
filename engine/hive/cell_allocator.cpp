#include "hive/cell_allocator.h"

#include <algorithm>
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

using Span = CellAllocator::Span;

bool byOffset(const Span& a, const Span& b) {
    return a.offset < b.offset;
}

bool bySize(const Span& a, const Span& b) {
    return a.size != b.size ? a.size < b.size : a.offset < b.offset;
}

} // namespace

CellAllocator CellAllocator::scan(const std::uint8_t* bins, std::uint32_t binsSize) {
    CellAllocator a;
    a.bins_ = bins;
    a.binsSize_ = binsSize;
    std::uint32_t pos = 0;
    while (pos + kBinHeaderSize <= binsSize) {
        const std::uint32_t size = le32(bins + pos + 8);
        a.binSpans_.push_back({pos, size});
        for (std::uint32_t c = pos + kBinHeaderSize; c < pos + size;) {
            const std::int32_t raw = rawSize(bins + c);
            const std::uint32_t cellSize =
                raw < 0 ? static_cast<std::uint32_t>(-raw) : static_cast<std::uint32_t>(raw);
            if (raw > 0) {
                a.freeByOffset_.push_back({c, cellSize});
            }
            c += cellSize;
        }
        pos += size;
    }
    a.freeBySize_ = a.freeByOffset_;
    std::sort(a.freeBySize_.begin(), a.freeBySize_.end(), bySize);
    return a;
}

const std::uint8_t* CellAllocator::cellAt(std::uint32_t offset) const {
    return bins_ + offset;
}

std::uint32_t CellAllocator::binEnd(std::uint32_t offset) const {
    auto it = std::upper_bound(binSpans_.begin(), binSpans_.end(), Span{offset, 0}, byOffset);
    --it;
    return it->offset + it->size;
}

std::uint32_t CellAllocator::capacity(std::uint32_t cell) const {
    const std::int32_t raw = rawSize(cellAt(cell));
    return static_cast<std::uint32_t>(raw < 0 ? -raw : raw) - 4;
}

void CellAllocator::addFree(ChangeJournal& journal, std::uint32_t offset, std::uint32_t size) {
    journal.put32(BaseBlock::kSize + offset, size);
    const Span span{offset, size};
    freeByOffset_.insert(
        std::lower_bound(freeByOffset_.begin(), freeByOffset_.end(), span, byOffset), span);
    freeBySize_.insert(std::lower_bound(freeBySize_.begin(), freeBySize_.end(), span, bySize),
                       span);
}

void CellAllocator::dropFree(std::uint32_t offset) {
    const auto it =
        std::lower_bound(freeByOffset_.begin(), freeByOffset_.end(), Span{offset, 0}, byOffset);
    const Span span = *it;
    freeByOffset_.erase(it);
    freeBySize_.erase(std::lower_bound(freeBySize_.begin(), freeBySize_.end(), span, bySize));
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
    binSpans_.push_back({binOffset, binSize});
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
    if (auto it = std::lower_bound(freeBySize_.begin(), freeBySize_.end(), Span{0, needed}, bySize);
        it != freeBySize_.end()) {
        size = it->size;
        offset = it->offset;
    } else {
        auto appended = appendBin(journal, needed);
        if (!appended) {
            return tl::unexpected(appended.error());
        }
        offset = *appended;
        size =
            std::lower_bound(freeByOffset_.begin(), freeByOffset_.end(), Span{offset, 0}, byOffset)
                ->size;
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
    auto after = std::lower_bound(freeByOffset_.begin(), freeByOffset_.end(),
                                  Span{offset + size, 0}, byOffset);
    if (offset + size < end && after != freeByOffset_.end() && after->offset == offset + size) {
        size += after->size;
        dropFree(after->offset);
    }
    after = std::lower_bound(freeByOffset_.begin(), freeByOffset_.end(), Span{offset, 0}, byOffset);
    if (after != freeByOffset_.begin()) {
        const Span before = *std::prev(after);
        if (before.offset + before.size == offset && binEnd(before.offset) == end) {
            offset = before.offset;
            size += before.size;
            dropFree(offset);
        }
    }
    addFree(journal, offset, size);
}

} // namespace engine::hive
