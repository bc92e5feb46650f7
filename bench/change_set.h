#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "bench/lookup_set.h"
#include "hive/error.h"

namespace bench {

// One value a write benchmark sets: where, and the bytes it gets.
struct Change {
    // The key, the value's name and type, and `expected`: the new data in the
    // engine's text form, which a reader must find once the change is written.
    Lookup after;
    std::vector<std::uint8_t> data;
};

// The changes of a file like bench/changes-software.tsv: lines of key, value
// name (@ for the default), type name and data as `morvalin-cli hive set`
// takes it (hive/value_text.h: parseValueData), separated by tabs; # starts a
// comment.
engine::hive::Result<std::vector<Change>> readChanges(const std::filesystem::path& file);

// What a hive must hold once the changes are written: `lookups`, each value a
// change sets with its new data, followed by the changes to other values.
std::vector<Lookup> lookupsAfter(std::span<const Lookup> lookups, std::span<const Change> changes);

// Writes lookups in the form readLookups reads.
engine::hive::Result<void> writeLookups(const std::filesystem::path& file,
                                        std::span<const Lookup> lookups);

} // namespace bench
