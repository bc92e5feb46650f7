#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "hive/error.h"
#include "hive/hive.h"

namespace test {

// What a hive should hold, kept in memory by the tests beside the engine's
// hive: its keys and values with the rules Windows gives them (names compare
// without case, a replaced value keeps its name's spelling and its place, a
// key's subkeys are ordered by the upper-cased name), so that a test can
// predict the effect of every change and compare.

// The upper-case form of a name by the rules Windows compares names with,
// written here independently of the engine for the letters the tests use and
// the test hives hold: ASCII, Latin-1, Greek and Cyrillic. Every other code
// unit (surrogates included) is left as it is.
char16_t modelUpcase(char16_t unit);
// The lower-case partner of a letter modelUpcase maps, else the unit itself.
char16_t modelDowncase(char16_t unit);
std::u16string foldName(std::u16string_view name);
bool sameName(std::u16string_view a, std::u16string_view b);

struct ModelValue {
    std::u16string name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

struct ModelKey {
    std::u16string name;
    std::vector<ModelValue> values; // in value-list order
    std::vector<ModelKey> subkeys;  // ordered by foldName

    ModelKey* subkey(std::u16string_view wanted);
    const ModelKey* subkey(std::u16string_view wanted) const;
    const ModelValue* value(std::u16string_view wanted) const;
    std::size_t treeSize() const; // this key and all below it
};

// A key's place: the names of the keys from the root down (empty: the root).
using ModelPath = std::vector<std::u16string>;

class HiveModel {
public:
    // The model of what the hive holds now, read through the engine.
    static engine::hive::Result<HiveModel> read(const engine::hive::Hive& hive);

    ModelKey& root() { return root_; }
    const ModelKey& root() const { return root_; }
    ModelKey* find(std::span<const std::u16string> path);
    const ModelKey* find(std::span<const std::u16string> path) const;

    // Changes as Windows makes them. The key arguments must exist.
    void setValue(ModelKey& key, std::u16string_view name, std::uint32_t type,
                  std::span<const std::uint8_t> data);
    bool deleteValue(ModelKey& key, std::u16string_view name);
    // The subkey of that name (an existing one keeps its spelling).
    ModelKey& createKey(ModelKey& parent, std::u16string_view name);
    // Renames parent's subkey `name`; false when another subkey already has
    // the new name. Returns the key's place afterwards through `renamed`.
    bool renameKey(ModelKey& parent, std::u16string_view name, std::u16string_view newName,
                   ModelKey** renamed);
    void deleteKey(ModelKey& parent, std::u16string_view name);

    // The whole hive in engine::hive::dumpHive's text form, a newline after
    // every line.
    std::string dump() const;

private:
    ModelKey root_;
};

// A path in the engine's form: UTF-8 names joined by backslashes.
std::string pathText(std::span<const std::u16string> path);

} // namespace test
