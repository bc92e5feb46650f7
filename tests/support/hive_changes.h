#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "hive/image.h"

namespace test {

// Changes made directly to a hive image for the write-back tests, each
// keeping the hive valid.

// A value's data overwritten in place with the same length: the first value,
// keys depth first, whose data is inline or in one cell (big data is left
// alone). A string's characters become Latin letters picked by `pattern`
// (its NULs stay, so it stays a well-formed string); other data is XORed with
// `pattern`. Calling it again with another pattern makes yet another content.
// Returns a description of the value changed, or nullopt when the hive has
// no such value.
std::optional<std::string> changeFirstValue(engine::hive::HiveImage& image,
                                            std::uint8_t pattern = 0xA5);

// Where the kill test counts its steps: the first value, keys depth first,
// with at least four bytes of data inline or in one cell.
struct StepPlace {
    std::size_t offset = 0; // in the file
    std::size_t length = 0;
};
StepPlace stepPlace(const engine::hive::HiveImage& image);

// One step of a run of write-backs: `counter` written into the data at
// `place` over and over (little-endian, cut at its end), and every eighth
// step a bin appended. Steps 1..n applied to a hive always make the same
// content, so a test can tell which step a file holds.
void applyStep(engine::hive::HiveImage& image, const StepPlace& place, std::uint32_t counter);

// A new hive bin of `size` bytes (a multiple of 4096) appended after the last
// one, holding one free cell, and the base block's bins size raised by it.
// Only its first page is marked changed, as with the change engine.
void appendBin(engine::hive::HiveImage& image, std::uint32_t size = 8192);

} // namespace test
