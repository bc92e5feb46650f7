#include "hive/marvin32.h"

#include <bit>

#include "hive/bytes.h"

namespace engine::hive {

namespace {

struct State {
    std::uint32_t lo;
    std::uint32_t hi;

    // Adds one 32-bit word and mixes it in.
    void mix(std::uint32_t word) {
        lo += word;
        hi ^= lo;
        lo = std::rotl(lo, 20) + hi;
        hi = std::rotl(hi, 9) ^ lo;
        lo = std::rotl(lo, 27) + hi;
        hi = std::rotl(hi, 19);
    }
};

} // namespace

std::uint64_t marvin32(std::span<const std::uint8_t> data, std::uint64_t seed) {
    State s{static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(seed >> 32)};
    std::size_t i = 0;
    for (; data.size() - i >= 4; i += 4) {
        s.mix(le32(data.data() + i));
    }
    // The last 0-3 bytes, little-endian, followed by a 0x80 byte.
    std::uint32_t last = 0x80;
    for (std::size_t k = data.size(); k > i; --k) {
        last = (last << 8) | data[k - 1];
    }
    s.mix(last);
    s.mix(0);
    return (static_cast<std::uint64_t>(s.hi) << 32) | s.lo;
}

} // namespace engine::hive
