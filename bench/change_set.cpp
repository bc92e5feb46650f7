#include "bench/change_set.h"

#include <algorithm>
#include <fstream>

#include "hive/hive.h"
#include "hive/value_text.h"

namespace bench {

using engine::hive::Error;
using engine::hive::Result;

Result<std::vector<Change>> readChanges(const std::filesystem::path& file) {
    // The same lines as a lookup list, with the data in the form `set` takes.
    auto rows = readLookups(file);
    if (!rows) {
        Error e = rows.error();
        e.message = "список изменений: " + e.message;
        return tl::unexpected(e);
    }
    std::vector<Change> changes;
    for (Lookup& row : *rows) {
        auto data = engine::hive::parseValueData(row.type, row.expected);
        if (!data) {
            return tl::unexpected(Error{"список изменений: параметр «" + row.value + "» в " +
                                            row.key + ": " + data.error().message,
                                        file.string(),
                                        {},
                                        false});
        }
        row.expected = engine::hive::formatValueData(row.type, *data);
        changes.push_back({std::move(row), std::move(*data)});
    }
    return changes;
}

std::vector<Lookup> lookupsAfter(std::span<const Lookup> lookups, std::span<const Change> changes) {
    std::vector<Lookup> after(lookups.begin(), lookups.end());
    for (const Change& change : changes) {
        const auto same = std::find_if(after.begin(), after.end(), [&](const Lookup& l) {
            return l.key == change.after.key && l.value == change.after.value;
        });
        if (same != after.end()) {
            *same = change.after;
        } else {
            after.push_back(change.after);
        }
    }
    return after;
}

Result<void> writeLookups(const std::filesystem::path& file, std::span<const Lookup> lookups) {
    std::ofstream out(file, std::ios::trunc);
    for (const Lookup& l : lookups) {
        out << l.key << '\t' << (l.value.empty() ? "@" : l.value) << '\t'
            << engine::hive::typeName(l.type) << '\t' << l.expected << '\n';
    }
    out.close();
    if (!out) {
        return tl::unexpected(
            Error{"не удалось записать список поисков", file.string(), {}, false});
    }
    return {};
}

} // namespace bench
