#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

#include "hive/error.h"
#include "hive/image.h"

namespace engine::hive {

// Every byte a change writes goes through here, which keeps what was there
// before: a change that fails half-way is rolled back to exactly the hive it
// started from (bytes, size and dirty pages), so no change is ever half-done.
class ChangeJournal {
public:
    explicit ChangeJournal(HiveImage& image);
    ChangeJournal(const ChangeJournal&) = delete;
    ChangeJournal& operator=(const ChangeJournal&) = delete;
    // Rolls back unless committed.
    ~ChangeJournal();

    // Writable bytes at a file offset; the old bytes are saved first.
    std::uint8_t* write(std::size_t fileOffset, std::size_t length);
    void put16(std::size_t fileOffset, std::uint16_t value);
    void put32(std::size_t fileOffset, std::uint32_t value);
    void put64(std::size_t fileOffset, std::uint64_t value);
    Result<void> grow(std::size_t newSize);

    void commit() { committed_ = true; }
    void rollback();
    // Whether the change wrote anything at all.
    bool wroteAnything() const { return !saved_.empty() || image_.size() != startSize_; }

private:
    struct Saved {
        std::size_t offset;
        std::vector<std::uint8_t> bytes;
    };
    HiveImage& image_;
    std::size_t startSize_;
    std::set<std::size_t> startDirty_;
    std::vector<Saved> saved_;
    bool committed_ = false;
};

} // namespace engine::hive
