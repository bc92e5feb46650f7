#pragma once

#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace test {

// Seeded random input for changes to a hive: key and value names (ASCII,
// Cyrillic, Latin-1, Greek, CJK, characters outside the BMP as surrogate
// pairs, odd ones with spaces, dots and quotes, the longest allowed) and value
// data of every registry type and size. The same seed gives the same input on
// every run.
class RandomHiveInput {
public:
    // Raw input also puts control characters into value names and arbitrary
    // bytes (odd sizes, no terminating NUL) into string values; plain input
    // keeps to what every independent reader can show (regfexport splits a
    // name at a newline, reads a string past its size up to a NUL, and
    // rounds an odd string size of up to 3 bytes up to even).
    enum class Kind { Plain, Raw };

    RandomHiveInput(std::uint64_t seed, Kind kind)
        : engine_(seed)
        , kind_(kind) {}

    std::size_t below(std::size_t n) { return n == 0 ? 0 : engine_() % n; }
    bool chance(unsigned percent) { return below(100) < percent; }
    template <class T>
    const T& pick(std::span<const T> items) {
        return items[below(items.size())];
    }

    // A valid key name (1 to 255 UTF-16 units, no backslash).
    std::u16string keyName();
    // A valid value name (0 to 16383 units; empty is the default value).
    std::u16string valueName();
    // The same name with the case of its letters changed at random: Windows
    // takes it for the same name.
    std::u16string caseVariant(std::u16string_view name);
    // A name of exactly `units` UTF-16 units, surrogate pairs never split.
    std::u16string nameOfLength(std::size_t units);

    struct Value {
        std::uint32_t type;
        std::vector<std::uint8_t> data;
    };
    // Data of a random type and size: empty, 1-4 bytes (kept in the value's
    // own record), small, around the 16344 bytes where big data begins, a few
    // big-data segments, and now and then a few hundred KB.
    Value value();
    std::vector<std::uint8_t> bytes(std::size_t size);

private:
    std::u16string text(std::size_t maxUnits);
    std::size_t dataSize();

    std::mt19937_64 engine_;
    Kind kind_;
};

} // namespace test
