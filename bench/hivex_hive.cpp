#include "bench/hivex_hive.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fmt/format.h>

#include "hive/hive.h"
#include "hive/value_text.h"

namespace bench {

using engine::hive::Error;
using engine::hive::Result;

namespace {

struct Free {
    void operator()(char* p) const { std::free(p); }
};

std::vector<std::string> pathComponents(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (pos < path.size()) {
        const std::size_t slash = std::min(path.find('\\', pos), path.size());
        parts.push_back(path.substr(pos, slash - pos));
        pos = slash + 1;
    }
    return parts;
}

} // namespace

tl::unexpected<Error> HivexHive::failure(const std::string& what) const {
    // hivex returns 0 without setting errno for "not found": callers clear
    // errno before each call, so a 0 here means absent, not a system error.
    const std::string reason = errno != 0 ? what + ": " + std::strerror(errno) : what;
    return tl::unexpected(Error{reason, file_, {}, false});
}

Result<HivexHive> HivexHive::open(const std::filesystem::path& file, bool writable) {
    errno = 0;
    hive_h* h = hivex_open(file.c_str(), writable ? HIVEX_OPEN_WRITE : 0);
    if (h == nullptr) {
        return tl::unexpected(Error{fmt::format("hivex_open не удался: {}", std::strerror(errno)),
                                    file.string(),
                                    {},
                                    false});
    }
    return HivexHive(h, file.string());
}

Result<hive_node_h> HivexHive::findKey(const std::string& path) const {
    hive_node_h node = hivex_root(handle_.get());
    if (node == 0) {
        return failure("hivex_root не нашёл корень");
    }
    for (const std::string& part : pathComponents(path)) {
        errno = 0;
        node = hivex_node_get_child(handle_.get(), node, part.c_str());
        if (node == 0) {
            return failure("нет раздела " + path);
        }
    }
    return node;
}

Result<void> HivexHive::runLookups(std::span<const Lookup> lookups) const {
    for (const Lookup& lookup : lookups) {
        auto node = findKey(lookup.key);
        if (!node) {
            return tl::unexpected(node.error());
        }
        errno = 0;
        const hive_value_h value = hivex_node_get_value(handle_.get(), *node, lookup.value.c_str());
        if (value == 0) {
            return failure(fmt::format("нет параметра «{}» в {}", lookup.value, lookup.key));
        }
        hive_type type{};
        std::size_t length = 0;
        errno = 0;
        const std::unique_ptr<char, Free> data(
            hivex_value_value(handle_.get(), value, &type, &length));
        if (!data) {
            return failure(
                fmt::format("hivex_value_value: параметр «{}» в {}", lookup.value, lookup.key));
        }
        const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(data.get()),
                                                  length);
        const auto typeNumber = static_cast<std::uint32_t>(type);
        const std::string text = engine::hive::formatValueData(typeNumber, bytes);
        if (typeNumber != lookup.type || text != lookup.expected) {
            return tl::unexpected(
                Error{fmt::format("параметр «{}» в {}: {} {} вместо {} {}", lookup.value,
                                  lookup.key, engine::hive::typeName(typeNumber), text,
                                  engine::hive::typeName(lookup.type), lookup.expected),
                      file_,
                      {},
                      false});
        }
    }
    return {};
}

Result<void> HivexHive::setValues(std::span<const Change> changes) {
    for (const Change& change : changes) {
        auto node = findKey(change.after.key);
        if (!node) {
            return tl::unexpected(node.error());
        }
        // hive_set_value takes mutable pointers; hivex copies what they point to.
        std::string name = change.after.value;
        std::vector<std::uint8_t> data = change.data;
        hive_set_value value{name.data(), static_cast<hive_type>(change.after.type), data.size(),
                             reinterpret_cast<char*>(data.data())};
        errno = 0;
        if (hivex_node_set_value(handle_.get(), *node, &value, 0) != 0) {
            return failure(fmt::format("hivex_node_set_value: параметр «{}» в {}",
                                       change.after.value, change.after.key));
        }
    }
    return {};
}

Result<void> HivexHive::commit() {
    errno = 0;
    if (hivex_commit(handle_.get(), nullptr, 0) != 0) {
        return failure("hivex_commit не удался");
    }
    return {};
}

Result<void> HivexHive::close() {
    errno = 0;
    if (hivex_close(handle_.release()) != 0) {
        return failure("hivex_close не удался");
    }
    return {};
}

} // namespace bench
