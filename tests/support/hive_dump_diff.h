#pragma once

// A hive file's dump before a change (a save, a pass) and what it must be
// afterwards: the same lines except the values changed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/independent_readers.h"
#include "support/test_files.h"

namespace test::dumpdiff {

using Lines = std::vector<std::string>;

inline Lines dumpOf(const std::filesystem::path& hive) {
    auto dump = test::engineDump(hive);
    EXPECT_TRUE(dump) << hive << ": " << dump.error().describe();
    return dump ? test::splitLines(*dump) : Lines{};
}

// The dump lines of a string and a 32-bit integer value.
inline std::string szLine(const std::string& name, const std::string& text) {
    std::string quoted;
    for (const char c : text) {
        if (c == '\\' || c == '"') {
            quoted += '\\';
        }
        quoted += c;
    }
    return "\"" + name + "\" = REG_SZ \"" + quoted + "\"";
}
inline std::string dwordLine(const std::string& name, std::uint32_t value) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08x", value);
    return "\"" + name + "\" = REG_DWORD " + hex;
}

// One changed value: its key as the dump names it, its name (any letter
// case) and its line afterwards (nullopt: deleted).
struct Change {
    std::string key;
    std::string name;
    std::optional<std::string> line;
};

inline bool startsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

// `before` with the changes made: a line replaced or deleted in place, a new
// value added after its key's other values.
inline Lines applied(Lines lines, const std::vector<Change>& changes) {
    for (const Change& c : changes) {
        const auto header = std::find(lines.begin(), lines.end(), "[" + c.key + "]");
        if (header == lines.end()) {
            ADD_FAILURE() << "no key [" << c.key << "] in the dump before";
            continue;
        }
        auto it = header + 1;
        while (it != lines.end() && !it->starts_with("[") &&
               !startsWithNoCase(*it, "\"" + c.name + "\" = ")) {
            ++it;
        }
        const bool found = it != lines.end() && !it->starts_with("[");
        if (found && c.line) {
            *it = *c.line;
        } else if (found) {
            lines.erase(it);
        } else if (c.line) {
            lines.insert(it, *c.line);
        } else {
            ADD_FAILURE() << "no value " << c.name << " in [" << c.key << "] to delete";
        }
    }
    return lines;
}

// A hive file as it is now, to compare with after a save.
struct HiveSnapshot {
    explicit HiveSnapshot(std::filesystem::path hive)
        : file(std::move(hive))
        , bytes(test::readFile(file))
        , dump(dumpOf(file)) {}

    void expectUntouched() const {
        EXPECT_EQ(test::readFile(file), bytes) << file << " was written";
    }
    // Only these values changed.
    void expectChanged(const std::vector<Change>& changes) const {
        EXPECT_TRUE(
            test::sameLines("expected", applied(dump, changes), "after the change", dumpOf(file)))
            << file;
    }
    // Only these values changed, and the independent readers read the result.
    void expectChangedAndReadable(const std::vector<Change>& changes) const {
        expectChanged(changes);
        EXPECT_TRUE(test::independentReadersAgree(file)) << file;
    }

    std::filesystem::path file;
    std::vector<unsigned char> bytes;
    Lines dump;
};

} // namespace test::dumpdiff
