#pragma once

#include <cstdint>
#include <span>

namespace engine::hive {

// The Marvin32 hash (Microsoft's seeded 64-bit hash of a byte string). The
// seed is a 64-bit number: its low half starts the first state word, its high
// half the second. New-format transaction log entries carry two of these.
std::uint64_t marvin32(std::span<const std::uint8_t> data, std::uint64_t seed);

} // namespace engine::hive
