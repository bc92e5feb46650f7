#include "support/hive_changes.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "hive/bytes.h"
#include "hive/cells.h"
#include "hive/hive.h"
#include "hive/names.h"

namespace test {

using namespace engine::hive;

namespace {

struct Place {
    std::size_t offset; // in the file
    std::size_t length;
    std::string what;
    bool text = false; // UTF-16 string data, kept well-formed when changed
};

bool isText(std::uint32_t type) {
    return type == kRegSz || type == kRegExpandSz || type == kRegLink || type == kRegMultiSz;
}

std::optional<Place> findValue(const Hive& hive, KeyRef ref, int depth, std::uint32_t minimum = 1) {
    auto key = hive.key(ref);
    if (!key || depth > 64) {
        return std::nullopt;
    }
    if (auto values = hive.values(*key)) {
        for (const ValueRef v : *values) {
            auto value = hive.value(v);
            if (!value || value->dataSize < minimum) {
                continue;
            }
            const std::string what = toUtf8(key->name) + "\\" + toUtf8(value->name);
            const bool text = isText(value->type);
            if (text) {
                // Only a string with a character to change (an empty one has none).
                auto data = hive.valueData(*value);
                bool letters = false;
                for (std::size_t i = 0; data && i + 1 < data->size(); i += 2) {
                    letters = letters || (*data)[i] != 0 || (*data)[i + 1] != 0;
                }
                if (!letters) {
                    continue;
                }
            }
            if (value->dataInline) {
                return Place{BaseBlock::kSize + v.cell + 4 + vk::kDataOffset,
                             std::min<std::size_t>(value->dataSize, 4), what, text};
            }
            if (hive.baseBlock().hasBigData() && value->dataSize > kBigDataSegment) {
                continue;
            }
            auto cell = hive.cell(value->dataCell);
            if (cell && cell->size() >= value->dataSize) {
                return Place{BaseBlock::kSize + value->dataCell + 4, value->dataSize, what, text};
            }
        }
    }
    if (auto subkeys = hive.subkeys(*key)) {
        for (const KeyRef sub : *subkeys) {
            if (auto place = findValue(hive, sub, depth + 1, minimum)) {
                return place;
            }
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> changeFirstValue(HiveImage& image, std::uint8_t pattern) {
    auto hive = Hive::fromBytes({image.data(), image.size()}, "test");
    if (!hive) {
        throw std::runtime_error(hive.error().describe());
    }
    const auto place = findValue(*hive, hive->root(), 0);
    if (!place) {
        return std::nullopt;
    }
    std::uint8_t* p = image.writable(place->offset, place->length);
    if (place->text) {
        // Each character another Latin letter; the NULs stay where they are.
        for (std::size_t i = 0; i + 1 < place->length; i += 2) {
            if (p[i] != 0 || p[i + 1] != 0) {
                const char16_t letter = static_cast<char16_t>(u'A' + (i / 2 + pattern) % 26);
                put16(p + i, p[i] == letter && p[i + 1] == 0 ? letter + 1 : letter);
            }
        }
    } else {
        for (std::size_t i = 0; i < place->length; ++i) {
            p[i] ^= pattern;
        }
    }
    return place->what;
}

StepPlace stepPlace(const HiveImage& image) {
    auto hive = Hive::fromBytes({image.data(), image.size()}, "test");
    if (!hive) {
        throw std::runtime_error(hive.error().describe());
    }
    const auto place = findValue(*hive, hive->root(), 0, 4);
    if (!place) {
        throw std::runtime_error("no value of four bytes or more to count in");
    }
    return {place->offset, place->length};
}

void applyStep(HiveImage& image, const StepPlace& place, std::uint32_t counter) {
    std::uint8_t* p = image.writable(place.offset, place.length);
    for (std::size_t i = 0; i < place.length; ++i) {
        p[i] = static_cast<std::uint8_t>(counter >> (8 * (i % 4)));
    }
    if (counter % 8 == 0) {
        appendBin(image);
    }
}

void appendBin(HiveImage& image, std::uint32_t size) {
    const std::uint32_t binsSize = le32(image.data() + BaseBlock::kBinsSize);
    const std::size_t at = BaseBlock::kSize + binsSize;
    if (auto grown = image.grow(at + size); !grown) {
        throw std::runtime_error(grown.error().describe());
    }
    // As the change engine does it: only the bin's header and its cell's size
    // are written, so pages of a larger bin after its first stay unwritten
    // (zeros where the file grew).
    std::uint8_t* bin = image.writable(at, kBinHeaderSize + 4);
    std::memset(bin, 0, kBinHeaderSize);
    std::memcpy(bin, "hbin", 4);
    put32(bin + 4, binsSize);
    put32(bin + 8, size);
    put32(bin + kBinHeaderSize, size - static_cast<std::uint32_t>(kBinHeaderSize));
    put32(image.writable(BaseBlock::kBinsSize, 4), binsSize + size);
}

} // namespace test
