#include "hive/dump.h"

#include <unordered_set>
#include <vector>

#include <fmt/format.h>

#include "hive/names.h"
#include "hive/value_text.h"

namespace engine::hive {

std::string keyPathComponent(std::u16string_view name) {
    std::string out;
    std::size_t runStart = 0;
    auto flush = [&](std::size_t end) { out += toUtf8(name.substr(runStart, end - runStart)); };
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char16_t u = name[i];
        std::string escape;
        if (u == u'%' || u == u'\\' || u < 0x20 || u == 0x7F) {
            escape = fmt::format("%{:02X}", static_cast<unsigned>(u));
        } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 &&
                   name[i + 1] <= 0xDFFF) {
            ++i;
            continue;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            escape = fmt::format("%u{:04X}", static_cast<unsigned>(u));
        } else {
            continue;
        }
        flush(i);
        out += escape;
        runStart = i + 1;
    }
    flush(name.size());
    return out;
}

std::string valueLine(const ValueNode& value, std::span<const std::uint8_t> data) {
    const std::string name = value.name.empty() ? "@" : quoteText(value.name);
    return name + " = " + typeName(value.type) + " " + formatValueData(value.type, data);
}

Result<void> dumpHive(const Hive& hive, std::string_view keyPath,
                      const std::function<void(std::string_view)>& line) {
    auto start = hive.findKey(keyPath);
    if (!start) {
        return tl::unexpected(start.error());
    }
    if (!*start) {
        return tl::unexpected(hive.error("нет такого раздела: " + std::string(keyPath)));
    }

    // The printed path of the starting key is rebuilt from its names, so it
    // reads the same whatever case the caller typed.
    std::string startPath;
    {
        std::vector<std::string> names;
        KeyRef at = **start;
        std::unordered_set<std::uint32_t> seen;
        while (!(at == hive.root())) {
            if (!seen.insert(at.cell).second) {
                return tl::unexpected(hive.error("цикл в ссылках разделов на родителей", at.cell));
            }
            auto node = hive.key(at);
            if (!node) {
                return tl::unexpected(node.error());
            }
            names.push_back(keyPathComponent(node->name));
            at = KeyRef{node->parent};
        }
        for (auto it = names.rbegin(); it != names.rend(); ++it) {
            startPath += (startPath.empty() ? "" : "\\") + *it;
        }
    }

    struct Pending {
        KeyRef ref;
        std::string path;
    };
    std::vector<Pending> stack{{**start, startPath}};
    std::unordered_set<std::uint32_t> visited;
    while (!stack.empty()) {
        Pending item = std::move(stack.back());
        stack.pop_back();
        if (!visited.insert(item.ref.cell).second) {
            return tl::unexpected(hive.error(
                "раздел встречен дважды (цикл или общий список подразделов)", item.ref.cell));
        }
        auto node = hive.key(item.ref);
        if (!node) {
            return tl::unexpected(node.error());
        }
        line("[" + item.path + "]");
        auto values = hive.values(*node);
        if (!values) {
            return tl::unexpected(values.error());
        }
        for (ValueRef ref : *values) {
            auto v = hive.value(ref);
            if (!v) {
                return tl::unexpected(v.error());
            }
            auto data = hive.valueData(*v);
            if (!data) {
                return tl::unexpected(data.error());
            }
            line(valueLine(*v, *data));
        }
        auto subkeys = hive.subkeys(*node);
        if (!subkeys) {
            return tl::unexpected(subkeys.error());
        }
        // Pushed in reverse so that they come out in stored order.
        for (auto it = subkeys->rbegin(); it != subkeys->rend(); ++it) {
            auto child = hive.key(*it);
            if (!child) {
                return tl::unexpected(child.error());
            }
            const std::string component = keyPathComponent(child->name);
            stack.push_back({*it, item.path.empty() ? component : item.path + "\\" + component});
        }
    }
    return {};
}

} // namespace engine::hive
