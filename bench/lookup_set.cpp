#include "bench/lookup_set.h"

#include <fstream>
#include <string_view>

#include <fmt/format.h>

#include "hive/names.h"
#include "hive/value_text.h"

namespace bench {

using engine::hive::Error;
using engine::hive::fail;
using engine::hive::Result;

namespace {

std::vector<std::string_view> splitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    while (true) {
        const std::size_t tab = line.find('\t', pos);
        fields.push_back(line.substr(pos, tab == std::string_view::npos ? tab : tab - pos));
        if (tab == std::string_view::npos) {
            return fields;
        }
        pos = tab + 1;
    }
}

} // namespace

Result<std::vector<Lookup>> readLookups(const std::filesystem::path& file) {
    std::ifstream in(file);
    if (!in) {
        return tl::unexpected(Error{"не удалось открыть список поисков", file.string(), {}, false});
    }
    std::vector<Lookup> lookups;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const auto fields = splitTabs(line);
        const auto type = fields.size() == 4 ? engine::hive::parseTypeName(fields[2])
                                             : std::optional<std::uint32_t>{};
        if (!type) {
            return tl::unexpected(
                Error{fmt::format("строка {}: нужны раздел, параметр, тип и данные через табуляцию",
                                  number),
                      file.string(),
                      {},
                      false});
        }
        lookups.push_back({std::string(fields[0]), fields[1] == "@" ? "" : std::string(fields[1]),
                           *type, std::string(fields[3])});
    }
    if (lookups.empty()) {
        return tl::unexpected(
            Error{"в списке поисков нет ни одной строки", file.string(), {}, false});
    }
    return lookups;
}

Result<void> runLookups(const engine::hive::Hive& hive, std::span<const Lookup> lookups) {
    for (const Lookup& lookup : lookups) {
        auto keyRef = hive.findKey(lookup.key);
        if (!keyRef) {
            return tl::unexpected(keyRef.error());
        }
        if (!*keyRef) {
            return tl::unexpected(hive.error("нет раздела " + lookup.key));
        }
        auto key = hive.key(**keyRef);
        if (!key) {
            return tl::unexpected(key.error());
        }
        const auto name = engine::hive::fromUtf8(lookup.value);
        if (!name) {
            return fail("имя параметра не в кодировке UTF-8: " + lookup.value);
        }
        auto valueRef = hive.findValue(*key, *name);
        if (!valueRef) {
            return tl::unexpected(valueRef.error());
        }
        if (!*valueRef) {
            return tl::unexpected(
                hive.error(fmt::format("нет параметра «{}» в {}", lookup.value, lookup.key)));
        }
        auto value = hive.value(**valueRef);
        if (!value) {
            return tl::unexpected(value.error());
        }
        auto data = hive.valueData(*value);
        if (!data) {
            return tl::unexpected(data.error());
        }
        const std::string text = engine::hive::formatValueData(value->type, *data);
        if (value->type != lookup.type || text != lookup.expected) {
            return tl::unexpected(
                hive.error(fmt::format("параметр «{}» в {}: {} {} вместо {} {}", lookup.value,
                                       lookup.key, engine::hive::typeName(value->type), text,
                                       engine::hive::typeName(lookup.type), lookup.expected)));
        }
    }
    return {};
}

} // namespace bench
