// Moving an autorun value into or out of its key's AutorunsDisabled subkey,
// with its type and bytes, straight on the mounted hive.
#include "rules/autorun_value_move.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hive/hive.h"
#include "hive/names.h"
#include "registry/offline_registry.h"
#include "rules/startup_folders.h"

namespace engine::rules {

namespace {

// A value as it stands: name as stored, type and bytes.
struct StoredValue {
    std::u16string name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

// The key at `path` inside the hive: nullopt inside when absent; an error
// when the hive could not be read.
hive::Result<std::optional<hive::KeyRef>> findKey(hive::Hive& hive, const std::string& path) {
    return hive.findKey(path);
}

// The value `name` of a key with its bytes; nullopt inside when absent.
hive::Result<std::optional<StoredValue>> readValue(hive::Hive& hive, hive::KeyRef key,
                                                   std::u16string_view name) {
    auto node = hive.key(key);
    if (!node) {
        return tl::unexpected(node.error());
    }
    auto ref = hive.findValue(*node, name);
    if (!ref) {
        return tl::unexpected(ref.error());
    }
    if (!*ref) {
        return std::optional<StoredValue>{};
    }
    auto value = hive.value(**ref);
    if (!value) {
        return tl::unexpected(value.error());
    }
    auto data = hive.valueData(*value);
    if (!data) {
        return tl::unexpected(data.error());
    }
    return std::optional<StoredValue>{StoredValue{value->name, value->type, std::move(*data)}};
}

bool emptyKey(hive::Hive& hive, hive::KeyRef key) {
    const auto node = hive.key(key);
    return node && node->valueCount == 0 && node->subkeyCount == 0;
}

// Deletes the subkey once nothing is left in it; a failure leaves an empty
// subkey, which harms nothing.
void dropIfEmpty(hive::Hive& hive, const std::string& path) {
    const auto key = findKey(hive, path);
    if (key && *key && emptyKey(hive, **key)) {
        (void)hive.deleteKey(**key);
    }
}

} // namespace

ValueMove MoveAutorunValue(registry::OfflineRegistry& registry, std::string_view key,
                           std::string_view name, bool enable) {
    const auto resolved = registry.resolve(key);
    const auto wideName = hive::fromUtf8(name);
    if (resolved.mount == nullptr || !wideName) {
        return ValueMove::Failed;
    }
    hive::Hive& hive = resolved.mount->hive;
    const std::string active = resolved.inner;
    const std::string disabled =
        (active.empty() ? std::string{} : active + "\\") + std::string(kAutorunsDisabled);
    const std::string& from = enable ? disabled : active;
    const std::string& to = enable ? active : disabled;

    // The value as it stands at the source.
    const auto fromKey = findKey(hive, from);
    if (!fromKey) {
        return ValueMove::Failed;
    }
    if (!*fromKey) {
        return ValueMove::Missing;
    }
    const auto source = readValue(hive, **fromKey, *wideName);
    if (!source) {
        return ValueMove::Failed;
    }
    if (!*source) {
        return ValueMove::Missing;
    }
    const StoredValue& value = **source;

    // The destination: written first, unless it holds this very value already.
    const auto toKey = findKey(hive, to);
    if (!toKey) {
        return ValueMove::Failed;
    }
    const bool keyCreated = !*toKey;
    bool written = false;
    if (*toKey) {
        const auto present = readValue(hive, **toKey, value.name);
        if (!present) {
            return ValueMove::Failed;
        }
        if (*present && ((*present)->type != value.type || (*present)->data != value.data)) {
            return ValueMove::NameTaken;
        }
        written = !*present;
    } else {
        written = true;
    }
    if (written) {
        const auto target = hive.createKeyPath(to);
        if (!target || !hive.setValue(*target, value.name, value.type, value.data)) {
            if (keyCreated) {
                dropIfEmpty(hive, to);
            }
            return ValueMove::Failed;
        }
    }

    // Then the source goes (its key found afresh: the write may have moved
    // cells). Should that fail, the copy just written is taken back, so the
    // value stays where it was, once.
    const auto sourceKey = findKey(hive, from);
    bool removed = false;
    if (sourceKey && *sourceKey) {
        const auto deleted = hive.deleteValue(**sourceKey, value.name);
        removed = deleted && *deleted;
    }
    if (!removed) {
        if (written) {
            const auto target = findKey(hive, to);
            if (target && *target) {
                (void)hive.deleteValue(**target, value.name);
            }
            if (keyCreated) {
                dropIfEmpty(hive, to);
            }
        }
        return ValueMove::Failed;
    }
    if (enable) {
        dropIfEmpty(hive, from);
    }
    return ValueMove::Moved;
}

} // namespace engine::rules
