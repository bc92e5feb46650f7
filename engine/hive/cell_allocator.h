#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "hive/change_journal.h"
#include "hive/error.h"

namespace engine::hive {

// Free space of a hive's bins: hands out cells for new records, takes freed
// cells back and merges them with free neighbours in the same bin, and
// appends a bin only when no free cell is large enough. Offsets are relative
// to the first hive bin, as in the hive's own references.
class CellAllocator {
public:
    // Reads the cell layout of bins that the structural check accepted.
    static CellAllocator scan(const std::uint8_t* bins, std::uint32_t binsSize);

    // An allocated cell with room for dataSize bytes (its size field excluded).
    // May append a bin, in which case binsSize() grows and the base block's
    // bins size is updated through the journal.
    Result<std::uint32_t> allocate(ChangeJournal& journal, std::uint32_t dataSize);
    // Frees an allocated cell.
    void release(ChangeJournal& journal, std::uint32_t cell);

    std::uint32_t binsSize() const { return binsSize_; }
    // Bytes of data the cell can hold.
    std::uint32_t capacity(std::uint32_t cell) const;
    std::size_t freeCellCount() const { return freeByOffset_.size(); }

    // A free cell, or a bin: where it starts and how long it is.
    struct Span {
        std::uint32_t offset;
        std::uint32_t size;
    };

private:
    CellAllocator() = default;
    const std::uint8_t* cellAt(std::uint32_t offset) const;
    void addFree(ChangeJournal& journal, std::uint32_t offset, std::uint32_t size);
    void dropFree(std::uint32_t offset);
    std::uint32_t binEnd(std::uint32_t offset) const;
    Result<std::uint32_t> appendBin(ChangeJournal& journal, std::uint32_t cellSize);

    const std::uint8_t* bins_ = nullptr;
    std::uint32_t binsSize_ = 0;
    // Sorted vectors rather than trees: a large hive has hundreds of
    // thousands of free cells, and a change moves only a few of them.
    std::vector<Span> binSpans_;     // by offset
    std::vector<Span> freeByOffset_; // by offset
    std::vector<Span> freeBySize_;   // by size, then offset: the best fit first
};

} // namespace engine::hive
