#include "hive/change_journal.h"

#include <cstring>

#include "hive/bytes.h"

namespace engine::hive {

ChangeJournal::ChangeJournal(HiveImage& image)
    : image_(image)
    , startSize_(image.size())
    , startDirty_(image.dirtyPages()) {}

ChangeJournal::~ChangeJournal() {
    if (!committed_) {
        rollback();
    }
}

std::uint8_t* ChangeJournal::write(std::size_t fileOffset, std::size_t length) {
    const std::uint8_t* old = image_.data() + fileOffset;
    saved_.push_back({fileOffset, std::vector<std::uint8_t>(old, old + length)});
    return image_.writable(fileOffset, length);
}

void ChangeJournal::put16(std::size_t fileOffset, std::uint16_t value) {
    hive::put16(write(fileOffset, 2), value);
}
void ChangeJournal::put32(std::size_t fileOffset, std::uint32_t value) {
    hive::put32(write(fileOffset, 4), value);
}
void ChangeJournal::put64(std::size_t fileOffset, std::uint64_t value) {
    hive::put64(write(fileOffset, 8), value);
}

Result<void> ChangeJournal::grow(std::size_t newSize) {
    return image_.grow(newSize);
}

void ChangeJournal::rollback() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
        if (it->offset + it->bytes.size() <= image_.size()) {
            std::memcpy(image_.writable(it->offset, it->bytes.size()), it->bytes.data(),
                        it->bytes.size());
        }
    }
    saved_.clear();
    image_.restore(startSize_, std::move(startDirty_));
    committed_ = true;
}

} // namespace engine::hive
