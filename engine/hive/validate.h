#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hive/hive.h"

namespace engine::hive {

// One thing the structural check found. A blocking finding means the hive
// cannot be changed safely; the others are remarks about harmless oddities.
struct Finding {
    bool blocking = true;
    std::optional<std::uint32_t> cell; // where, relative to the first hive bin
    std::string message;

    std::string describe() const;
};

struct Validation {
    std::vector<Finding> findings;
    std::size_t keys = 0;
    std::size_t values = 0;

    bool canChange() const;
    // The first blocking finding, for a one-line refusal.
    const Finding* firstBlocking() const;
};

// Checks the whole hive: the base block and its checksum rule, the bins and
// how their cells tile them, every key's subkey list (kinds, order, hashes,
// hints, counts, parent links), value lists and data cells, big data
// segments, security cells (list links and reference counts), and that no
// cell is referenced twice or points inside another cell. Reads every page.
Validation validateHive(const Hive& hive);

} // namespace engine::hive
