// The twelve value operations over the offline registry. Each one finds its
// key afresh, does one thing, and turns whatever goes wrong into the quiet
// default result plus its own failure code in the record.
#include "registry/reg_engine.h"

#include <optional>

#include "hive/hive.h"
#include "hive/names.h"
#include "registry/offline_registry.h"

namespace engine::registry {

namespace {

// A key opened for one operation: inside a mounted hive, or one of the two
// roots themselves (no mount: HKEY_LOCAL_MACHINE, whose subkeys are the
// mounts, or the empty HKEY_CURRENT_USER).
struct OpenKey {
    Mount* mount = nullptr;
    hive::KeyRef key;
};

// How opening ended: the key, no such key (not an error by itself), or an
// error of the registry.
struct Opening {
    std::optional<OpenKey> key;
    bool failed = false;
};

bool isRootPath(std::string_view path) {
    return path.find_first_not_of('\\') == std::string_view::npos;
}

Opening openForReading(OfflineRegistry& registry, const TRegEngine& record) {
    if (isRootPath(record.KeyPath)) {
        return {OpenKey{}, false};
    }
    if (record.RootIsCurrentUser) {
        return {};
    }
    const auto resolved = registry.resolve(record.KeyPath);
    if (resolved.mount == nullptr || !hive::fromUtf8(resolved.inner)) {
        return {};
    }
    auto found = resolved.mount->hive.findKey(resolved.inner);
    if (!found) {
        return {std::nullopt, true};
    }
    if (!*found) {
        return {};
    }
    return {OpenKey{resolved.mount, **found}, false};
}

// Opens the key with every missing parent created; nullopt when the registry
// refuses: a path outside the mounted hives (the roots themselves included,
// which hold no values here), or a hive that cannot be changed.
std::optional<OpenKey> openForWriting(OfflineRegistry& registry, const TRegEngine& record) {
    if (record.RootIsCurrentUser) {
        return std::nullopt;
    }
    const auto resolved = registry.resolve(record.KeyPath);
    if (resolved.mount == nullptr) {
        return std::nullopt;
    }
    auto key = resolved.mount->hive.createKeyPath(resolved.inner);
    if (!key) {
        return std::nullopt;
    }
    return OpenKey{resolved.mount, *key};
}

// The value named by the record in an opened key; nullopt inside when absent.
hive::Result<std::optional<hive::ValueNode>> findValue(const OpenKey& key,
                                                       const std::string& valueName) {
    if (key.mount == nullptr) {
        return std::optional<hive::ValueNode>{}; // the roots hold no values
    }
    const auto name = hive::fromUtf8(valueName);
    if (!name) {
        return std::optional<hive::ValueNode>{};
    }
    hive::Hive& h = key.mount->hive;
    auto node = h.key(key.key);
    if (!node) {
        return tl::unexpected(node.error());
    }
    auto ref = h.findValue(*node, *name);
    if (!ref) {
        return tl::unexpected(ref.error());
    }
    if (!*ref) {
        return std::optional<hive::ValueNode>{};
    }
    auto value = h.value(**ref);
    if (!value) {
        return tl::unexpected(value.error());
    }
    return std::optional<hive::ValueNode>{*value};
}

// A REG_DWORD of at most four bytes (fewer are widened with zeros); nullopt
// for anything else: no key, no value, no data, another type, more bytes.
std::optional<std::int32_t> readDword(OfflineRegistry& registry, const TRegEngine& record) {
    const Opening opened = openForReading(registry, record);
    if (!opened.key) {
        return std::nullopt;
    }
    auto value = findValue(*opened.key, record.ValueName);
    if (!value || !*value) {
        return std::nullopt;
    }
    const hive::ValueNode& v = **value;
    if (v.type != hive::kRegDword || v.dataSize == 0 || v.dataSize > 4) {
        return std::nullopt;
    }
    auto data = opened.key->mount->hive.valueData(v);
    if (!data || data->empty() || data->size() > 4) {
        return std::nullopt;
    }
    std::uint32_t number = 0;
    for (std::size_t i = 0; i < data->size(); ++i) {
        number |= std::uint32_t{(*data)[i]} << (8 * i);
    }
    return static_cast<std::int32_t>(number);
}

// Text as a REG_SZ stores it: UTF-16LE with one terminating NUL.
std::optional<std::vector<std::uint8_t>> storedString(const std::string& text) {
    const auto units = hive::fromUtf8(text);
    if (!units) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve((units->size() + 1) * 2);
    for (const char16_t unit : *units) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

// A stored string's text: up to its first NUL (an odd last byte is no unit).
std::string textOf(const std::vector<std::uint8_t>& data) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        const auto unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (unit == u'\0') {
            break;
        }
        units.push_back(unit);
    }
    return hive::toUtf8(units);
}

bool writeValue(OfflineRegistry& registry, const TRegEngine& record, std::uint32_t type,
                const std::vector<std::uint8_t>& data) {
    const auto name = hive::fromUtf8(record.ValueName);
    if (!name) {
        return false;
    }
    const auto key = openForWriting(registry, record);
    if (!key) {
        return false;
    }
    return key->mount->hive.setValue(key->key, *name, type, data).has_value();
}

std::vector<std::uint8_t> dwordBytes(std::uint32_t number) {
    return {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
            static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)};
}

} // namespace

RootKey RegEngineRootKey(TRegEngine& record) {
    record.Status = 0;
    return record.RootIsCurrentUser ? RootKey::CurrentUser : RootKey::LocalMachine;
}

std::string RegEngineReadString(OfflineRegistry& registry, TRegEngine& record) {
    RegEngineRootKey(record);
    const Opening opened = openForReading(registry, record);
    if (opened.failed) {
        record.Status = kStatusReadString;
        return {};
    }
    if (!opened.key) {
        return {};
    }
    auto value = findValue(*opened.key, record.ValueName);
    if (!value) {
        record.Status = kStatusReadString;
        return {};
    }
    // A missing value, or one without data of whatever type, reads as "".
    if (!*value || (*value)->dataSize == 0) {
        return {};
    }
    const hive::ValueNode& v = **value;
    if (v.type != hive::kRegSz && v.type != hive::kRegExpandSz) {
        record.Status = kStatusReadString;
        return {};
    }
    auto data = opened.key->mount->hive.valueData(v);
    if (!data) {
        record.Status = kStatusReadString;
        return {};
    }
    return textOf(*data);
}

bool RegEngineKeyExists(OfflineRegistry& registry, TRegEngine& record) {
    RegEngineRootKey(record);
    const Opening opened = openForReading(registry, record);
    if (opened.failed) {
        record.Status = kStatusKeyExists;
        return false;
    }
    return opened.key.has_value();
}

bool RegEngineValueExists(OfflineRegistry& registry, TRegEngine& record) {
    RegEngineRootKey(record);
    const Opening opened = openForReading(registry, record);
    if (opened.failed) {
        record.Status = kStatusValueExists;
        return false;
    }
    if (!opened.key) {
        return false;
    }
    auto value = findValue(*opened.key, record.ValueName);
    if (!value) {
        record.Status = kStatusValueExists;
        return false;
    }
    return value->has_value();
}

std::int32_t RegEngineReadInteger(OfflineRegistry& registry, TRegEngine& record) {
    RegEngineRootKey(record);
    if (const auto number = readDword(registry, record)) {
        return *number;
    }
    record.Status = kStatusReadInteger;
    return -1;
}

void RegEngineDeleteKey(OfflineRegistry& registry, TRegEngine& record) {
    RegEngineRootKey(record);
    if (record.RootIsCurrentUser) {
        // Nothing below the empty root, and the root itself cannot go.
        if (isRootPath(record.KeyPath)) {
            record.Status = kStatusDeleteKey;
        }
        return;
    }
    const auto resolved = registry.resolve(record.KeyPath);
    if (resolved.mount == nullptr) {
        if (isRootPath(record.KeyPath)) {
            record.Status = kStatusDeleteKey;
        }
        return;
    }
    // A mount's own key is the hive's root: deleting it would empty the
    // whole hive, so it is refused as Windows refuses to delete a hive root.
    if (isRootPath(resolved.inner)) {
        record.Status = kStatusDeleteKey;
        return;
    }
    if (!hive::fromUtf8(resolved.inner)) {
        return;
    }
    hive::Hive& h = resolved.mount->hive;
    auto found = h.findKey(resolved.inner);
    if (!found) {
        record.Status = kStatusDeleteKey;
        return;
    }
    if (!*found) {
        return;
    }
    if (!h.deleteKey(**found)) {
        record.Status = kStatusDeleteKey;
    }
}

void RegEngineDeleteValue(OfflineRegistry& registry, TRegEngine& record) {
    RegEngineRootKey(record);
    const auto name = hive::fromUtf8(record.ValueName);
    const auto key = openForWriting(registry, record);
    if (!name || !key) {
        record.Status = kStatusDeleteValue;
        return;
    }
    if (!key->mount->hive.deleteValue(key->key, *name)) {
        record.Status = kStatusDeleteValue;
    }
}

bool RegEngineReadBool(OfflineRegistry& registry, TRegEngine& record) {
    RegEngineRootKey(record);
    if (const auto number = readDword(registry, record)) {
        return *number != 0;
    }
    record.Status = kStatusReadBool;
    return false;
}

void RegEngineValueNames(OfflineRegistry& registry, TRegEngine& record,
                         std::vector<std::string>& names) {
    names.clear();
    RegEngineRootKey(record);
    const Opening opened = openForReading(registry, record);
    if (opened.failed) {
        record.Status = kStatusValueNames;
        return;
    }
    if (!opened.key || opened.key->mount == nullptr) {
        return;
    }
    hive::Hive& h = opened.key->mount->hive;
    auto node = h.key(opened.key->key);
    auto refs = node ? h.values(*node) : tl::unexpected(node.error());
    if (!refs) {
        record.Status = kStatusValueNames;
        return;
    }
    std::vector<std::string> found;
    for (const hive::ValueRef ref : *refs) {
        auto value = h.value(ref);
        if (!value) {
            record.Status = kStatusValueNames;
            return;
        }
        found.push_back(hive::toUtf8(value->name));
    }
    names = std::move(found);
}

void RegEngineKeyNames(OfflineRegistry& registry, TRegEngine& record,
                       std::vector<std::string>& names) {
    names.clear();
    RegEngineRootKey(record);
    const Opening opened = openForReading(registry, record);
    if (opened.failed) {
        record.Status = kStatusKeyNames;
        return;
    }
    if (!opened.key) {
        return;
    }
    if (opened.key->mount == nullptr) {
        if (!record.RootIsCurrentUser) {
            for (const auto& m : registry.mounts()) {
                names.push_back(m->name);
            }
        }
        return;
    }
    hive::Hive& h = opened.key->mount->hive;
    auto node = h.key(opened.key->key);
    auto refs = node ? h.subkeys(*node) : tl::unexpected(node.error());
    if (!refs) {
        record.Status = kStatusKeyNames;
        return;
    }
    std::vector<std::string> found;
    for (const hive::KeyRef ref : *refs) {
        auto sub = h.key(ref);
        if (!sub) {
            record.Status = kStatusKeyNames;
            return;
        }
        found.push_back(hive::toUtf8(sub->name));
    }
    names = std::move(found);
}

void RegEngineWriteString(OfflineRegistry& registry, TRegEngine& record, const std::string& text) {
    RegEngineRootKey(record);
    const auto data = storedString(text);
    if (!data || !writeValue(registry, record, hive::kRegSz, *data)) {
        record.Status = kStatusWriteString;
    }
}

void RegEngineWriteInteger(OfflineRegistry& registry, TRegEngine& record, std::int32_t value) {
    RegEngineRootKey(record);
    if (!writeValue(registry, record, hive::kRegDword,
                    dwordBytes(static_cast<std::uint32_t>(value)))) {
        record.Status = kStatusWriteInteger;
    }
}

void RegEngineWriteBool(OfflineRegistry& registry, TRegEngine& record, bool value) {
    RegEngineRootKey(record);
    if (!writeValue(registry, record, hive::kRegDword, dwordBytes(value ? 1 : 0))) {
        record.Status = kStatusWriteBool;
    }
}

} // namespace engine::registry
