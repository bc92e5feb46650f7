#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <utility>

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

private:
    CellAllocator() = default;
    const std::uint8_t* cellAt(std::uint32_t offset) const;
    void addFree(ChangeJournal& journal, std::uint32_t offset, std::uint32_t size);
    void dropFree(std::uint32_t offset);
    std::uint32_t binEnd(std::uint32_t offset) const;
    Result<std::uint32_t> appendBin(ChangeJournal& journal, std::uint32_t cellSize);

    const std::uint8_t* bins_ = nullptr;
    std::uint32_t binsSize_ = 0;
    std::map<std::uint32_t, std::uint32_t> binSizes_;     // bin offset -> size
    std::map<std::uint32_t, std::uint32_t> freeByOffset_; // free cell -> size
    std::set<std::pair<std::uint32_t, std::uint32_t>> freeBySize_;
};

} // namespace engine::hive
