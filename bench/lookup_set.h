#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "hive/error.h"
#include "hive/hive.h"

namespace bench {

// One value the benchmarks look up, and the data it must have.
struct Lookup {
    std::string key;   // path from the hive's root
    std::string value; // empty for the default value
    std::uint32_t type = 0;
    std::string expected; // the data in the engine's text form (hive/value_text.h)
};

// The lookups of a file like bench/lookups.tsv: lines of key, value name (@ for
// the default), type name and data, separated by tabs; # starts a comment.
engine::hive::Result<std::vector<Lookup>> readLookups(const std::filesystem::path& file);

// Looks up every value by its key path and name, reads its data and compares
// it with what is expected: fails on the first that is missing or differs, so
// a benchmark never times lookups that found nothing.
engine::hive::Result<void> runLookups(const engine::hive::Hive& hive,
                                      std::span<const Lookup> lookups);

} // namespace bench
