// The registry editor's decisions and changes over the offline registry: how
// keys and values are listed and shown, how edited text becomes data, and
// creating, renaming and deleting keys and values in the mounted hives.
#include "registry/registry_editing.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include <fmt/format.h>

#include "context/context.h"
#include "hive/bytes.h"
#include "hive/hive.h"
#include "hive/names.h"
#include "hive/value_text.h"
#include "platform/latin_case.h"
#include "registry/offline_registry.h"

namespace engine::registry {

namespace {

using hive::KeyRef;

tl::unexpected<std::string> failure(std::string message) {
    return tl::unexpected(std::move(message));
}

std::string notFound(std::string_view path) {
    return "Раздел не найден: " + std::string(path);
}

// A hive error as the window shows it: what was being done, and why not.
std::string refused(std::string_view what, const hive::Error& error) {
    return std::string(what) + ": " + error.message;
}

// A key the editor points at: one of the two roots (no mount), or a key
// inside a mounted hive. Valid only until the registry changes its mounts.
struct Located {
    EditorPath path;
    Mount* mount = nullptr;
    KeyRef key;
    bool isRoot() const { return mount == nullptr; }
    bool isMountRoot() const { return mount != nullptr && path.keys.size() == 1; }
};

std::string belowRoot(const EditorPath& path) {
    std::string joined;
    for (const auto& key : path.keys) {
        if (!joined.empty()) {
            joined += '\\';
        }
        joined += key;
    }
    return joined;
}

EditResult<Located> locate(Context& context, std::string_view path) {
    auto split = splitEditorPath(path);
    if (!split) {
        return failure(notFound(path));
    }
    Located at{*split, nullptr, {}};
    if (at.path.keys.empty()) {
        return at;
    }
    if (at.path.root != kLocalMachineRoot) {
        return failure(notFound(path));
    }
    const auto resolved = context.registry.resolve(belowRoot(at.path));
    if (resolved.mount == nullptr) {
        return failure(notFound(path));
    }
    auto found = resolved.mount->hive.findKey(resolved.inner);
    if (!found) {
        return failure(refused("Не удается открыть раздел " + std::string(path), found.error()));
    }
    if (!*found) {
        return failure(notFound(path));
    }
    at.mount = resolved.mount;
    at.key = **found;
    return at;
}

// A key inside a hive, where keys and values can be created.
EditResult<Located> locateInHive(Context& context, std::string_view path, std::string_view what) {
    auto at = locate(context, path);
    if (!at) {
        return at;
    }
    if (at->isRoot()) {
        return failure(std::string(what) + ": в разделе " + std::string(path) +
                       " нельзя ничего создавать или изменять");
    }
    return at;
}

EditResult<std::u16string> wide(std::string_view name) {
    auto units = hive::fromUtf8(name);
    if (!units) {
        return failure("Имя не в кодировке UTF-8: " + std::string(name));
    }
    return *units;
}

EditResult<hive::KeyNode> keyNode(const hive::Hive& h, KeyRef ref) {
    auto node = h.key(ref);
    if (!node) {
        return failure(refused("Не удается прочитать раздел", node.error()));
    }
    return std::move(*node);
}

// The key's values, in the order the hive lists them.
EditResult<std::vector<hive::ValueNode>> valueNodes(const hive::Hive& h, KeyRef key) {
    auto node = keyNode(h, key);
    if (!node) {
        return tl::unexpected(node.error());
    }
    auto refs = h.values(*node);
    if (!refs) {
        return failure(refused("Не удается прочитать параметры", refs.error()));
    }
    std::vector<hive::ValueNode> values;
    values.reserve(refs->size());
    for (const auto ref : *refs) {
        auto value = h.value(ref);
        if (!value) {
            return failure(refused("Не удается прочитать параметр", value.error()));
        }
        values.push_back(std::move(*value));
    }
    return values;
}

EditResult<std::vector<std::string>> subkeyNames(const Mount& mount, KeyRef ref) {
    const hive::Hive& h = mount.hive;
    auto node = keyNode(h, ref);
    if (!node) {
        return tl::unexpected(node.error());
    }
    auto children = h.subkeys(*node);
    if (!children) {
        return failure(refused("Не удается прочитать подразделы", children.error()));
    }
    std::vector<std::string> names;
    names.reserve(children->size());
    for (const KeyRef child : *children) {
        auto childNode = h.key(child);
        if (!childNode) {
            return failure(refused("Не удается прочитать подраздел", childNode.error()));
        }
        names.push_back(hive::toUtf8(childNode->name));
    }
    return names;
}

struct FoundValue {
    hive::ValueNode node;
    std::vector<std::uint8_t> data;
};

// The value of that name in the key; nullopt inside when it is absent.
EditResult<std::optional<FoundValue>> findValue(const Mount& mount, KeyRef key,
                                                std::u16string_view name) {
    const hive::Hive& h = mount.hive;
    auto node = keyNode(h, key);
    if (!node) {
        return tl::unexpected(node.error());
    }
    auto ref = h.findValue(*node, name);
    if (!ref) {
        return failure(refused("Не удается прочитать параметры", ref.error()));
    }
    if (!*ref) {
        return std::optional<FoundValue>{};
    }
    auto value = h.value(**ref);
    if (!value) {
        return failure(refused("Не удается прочитать параметр", value.error()));
    }
    auto data = h.valueData(*value);
    if (!data) {
        return failure(refused("Не удается прочитать данные параметра", data.error()));
    }
    return std::optional<FoundValue>{FoundValue{std::move(*value), std::move(*data)}};
}

std::u16string unitsOf(std::span<const std::uint8_t> data) {
    std::u16string units;
    units.reserve(data.size() / 2);
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        units.push_back(static_cast<char16_t>(hive::le16(data.data() + i)));
    }
    return units;
}

// A string value's text: up to its first NUL, as the editor shows it.
std::string stringText(std::span<const std::uint8_t> data) {
    std::u16string units = unitsOf(data);
    units.resize(std::min(units.size(), units.find(u'\0')));
    return hive::toUtf8(units);
}

// A REG_MULTI_SZ's items: the non-empty texts between its NULs.
std::vector<std::string> multiItems(std::span<const std::uint8_t> data) {
    const std::u16string units = unitsOf(data);
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start < units.size()) {
        const std::size_t end = std::min(units.find(u'\0', start), units.size());
        if (end > start) {
            items.push_back(hive::toUtf8(std::u16string_view(units).substr(start, end - start)));
        }
        start = end + 1;
    }
    return items;
}

std::string hexPairs(std::span<const std::uint8_t> data) {
    std::string text;
    text.reserve(data.size() * 3);
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i > 0) {
            text += ' ';
        }
        text += fmt::format("{:02x}", data[i]);
    }
    return text;
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

template <class T>
EditResult<T> parseNumber(std::string_view text) {
    text = trimmed(text);
    int base = 10;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    T value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
        return failure(fmt::format("Введите число, десятичное или шестнадцатеричное с 0x, "
                                   "от 0 до {}.",
                                   std::numeric_limits<T>::max()));
    }
    return value;
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    return (platform::lowerLatin(c) - 'a') + 10;
}

EditResult<std::vector<std::uint8_t>> parseBytes(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = text.find_first_not_of(" \t\r\n,", pos);
        if (start == std::string_view::npos) {
            break;
        }
        std::size_t end = text.find_first_of(" \t\r\n,", start);
        end = end == std::string_view::npos ? text.size() : end;
        const std::string_view word = text.substr(start, end - start);
        for (const char c : word) {
            if (!isHexDigit(c)) {
                return failure("Двоичные данные пишутся парами шестнадцатеричных цифр, "
                               "например: 01 ab ff.");
            }
        }
        if (word.size() % 2 != 0) {
            return failure("Двоичные данные пишутся парами шестнадцатеричных цифр, "
                           "например: 01 ab ff.");
        }
        for (std::size_t i = 0; i < word.size(); i += 2) {
            bytes.push_back(
                static_cast<std::uint8_t>(hexValue(word[i]) * 16 + hexValue(word[i + 1])));
        }
        pos = end;
    }
    return bytes;
}

// The first name prefix + N (N from 1) that none of `taken` has.
std::string firstFreeName(std::string_view prefix, const std::vector<std::u16string>& taken) {
    for (unsigned n = 1;; ++n) {
        const std::string name = std::string(prefix) + std::to_string(n);
        const std::u16string units = *hive::fromUtf8(name);
        bool used = false;
        for (const auto& other : taken) {
            used = used || hive::namesEqual(other, units);
        }
        if (!used) {
            return name;
        }
    }
}

EditResult<std::vector<std::u16string>> valueNames(const Mount& mount, KeyRef key) {
    auto values = valueNodes(mount.hive, key);
    if (!values) {
        return tl::unexpected(values.error());
    }
    std::vector<std::u16string> names;
    names.reserve(values->size());
    for (auto& value : *values) {
        names.push_back(std::move(value.name));
    }
    return names;
}

std::vector<std::uint8_t> emptyDataOf(std::uint32_t type) {
    switch (type) {
    case hive::kRegSz:
    case hive::kRegExpandSz:
    case hive::kRegMultiSz:
        return {0, 0};
    case hive::kRegDword:
        return std::vector<std::uint8_t>(4, 0);
    case hive::kRegQword:
        return std::vector<std::uint8_t>(8, 0);
    default:
        return {};
    }
}

} // namespace

std::string editorTypeName(std::uint32_t type) {
    return hive::typeName(type);
}

std::string valueDataText(std::uint32_t type, std::span<const std::uint8_t> data) {
    switch (type) {
    case hive::kRegSz:
    case hive::kRegExpandSz:
        return stringText(data);
    case hive::kRegMultiSz: {
        std::string text;
        for (const auto& item : multiItems(data)) {
            text += text.empty() ? item : " " + item;
        }
        return text;
    }
    case hive::kRegDword:
        if (data.size() == 4) {
            const std::uint32_t n = hive::le32(data.data());
            return fmt::format("0x{:08x} ({})", n, n);
        }
        break;
    case hive::kRegQword:
        if (data.size() == 8) {
            const std::uint64_t n = hive::le64(data.data());
            return fmt::format("0x{:016x} ({})", n, n);
        }
        break;
    default:
        break;
    }
    if (data.empty()) {
        return std::string(kEmptyBinary);
    }
    return hexPairs(data);
}

EditKind editKindOf(std::uint32_t type) {
    switch (type) {
    case hive::kRegSz:
    case hive::kRegExpandSz:
        return EditKind::Text;
    case hive::kRegMultiSz:
        return EditKind::MultiText;
    case hive::kRegDword:
    case hive::kRegQword:
        return EditKind::Number;
    default:
        return EditKind::Bytes;
    }
}

std::string valueEditText(std::uint32_t type, std::span<const std::uint8_t> data) {
    switch (editKindOf(type)) {
    case EditKind::Text:
        return stringText(data);
    case EditKind::MultiText: {
        std::string text;
        for (const auto& item : multiItems(data)) {
            text += text.empty() ? item : "\n" + item;
        }
        return text;
    }
    case EditKind::Number:
        if (type == hive::kRegDword && data.size() == 4) {
            return fmt::format("0x{:08x}", hive::le32(data.data()));
        }
        if (type == hive::kRegQword && data.size() == 8) {
            return fmt::format("0x{:016x}", hive::le64(data.data()));
        }
        return {};
    case EditKind::Bytes:
        break;
    }
    return hexPairs(data);
}

EditResult<std::vector<std::uint8_t>> parseEditText(std::uint32_t type, std::string_view text) {
    switch (editKindOf(type)) {
    case EditKind::Text: {
        auto units = hive::fromUtf8(text);
        if (!units) {
            return failure("Текст не в кодировке UTF-8.");
        }
        return hive::encodeStringData(*units);
    }
    case EditKind::MultiText: {
        auto units = hive::fromUtf8(text);
        if (!units) {
            return failure("Текст не в кодировке UTF-8.");
        }
        std::vector<std::uint8_t> bytes;
        std::size_t start = 0;
        while (start < units->size()) {
            std::size_t end = std::min(units->find(u'\n', start), units->size());
            std::u16string_view line = std::u16string_view(*units).substr(start, end - start);
            if (!line.empty() && line.back() == u'\r') {
                line.remove_suffix(1);
            }
            if (!line.empty()) {
                const auto item = hive::encodeStringData(line);
                bytes.insert(bytes.end(), item.begin(), item.end());
            }
            start = end + 1;
        }
        bytes.push_back(0);
        bytes.push_back(0);
        return bytes;
    }
    case EditKind::Number:
        if (type == hive::kRegDword) {
            auto n = parseNumber<std::uint32_t>(text);
            if (!n) {
                return tl::unexpected(n.error());
            }
            std::vector<std::uint8_t> bytes(4);
            hive::put32(bytes.data(), *n);
            return bytes;
        } else {
            auto n = parseNumber<std::uint64_t>(text);
            if (!n) {
                return tl::unexpected(n.error());
            }
            std::vector<std::uint8_t> bytes(8);
            hive::put64(bytes.data(), *n);
            return bytes;
        }
    case EditKind::Bytes:
        break;
    }
    return parseBytes(text);
}

std::optional<EditorPath> splitEditorPath(std::string_view path) {
    while (!path.empty() && path.back() == '\\') {
        path.remove_suffix(1);
    }
    EditorPath split;
    std::size_t pos = 0;
    bool first = true;
    while (pos <= path.size()) {
        const std::size_t end = std::min(path.find('\\', pos), path.size());
        const std::string_view part = path.substr(pos, end - pos);
        if (part.empty()) {
            return std::nullopt;
        }
        if (first) {
            if (platform::equalIgnoringLatinCase(part, kLocalMachineRoot)) {
                split.root = std::string(kLocalMachineRoot);
            } else if (platform::equalIgnoringLatinCase(part, kCurrentUserRoot)) {
                split.root = std::string(kCurrentUserRoot);
            } else {
                return std::nullopt;
            }
            first = false;
        } else {
            split.keys.emplace_back(part);
        }
        pos = end + 1;
    }
    return split;
}

std::string joinEditorPath(const EditorPath& path) {
    std::string joined = path.root;
    for (const auto& key : path.keys) {
        joined += '\\';
        joined += key;
    }
    return joined;
}

bool keyExists(Context& context, std::string_view path) {
    return locate(context, path).has_value();
}

std::string existingKeyPath(Context& context, std::string_view path) {
    auto split = splitEditorPath(path);
    if (!split) {
        return {};
    }
    EditorPath existing{split->root, {}};
    if (split->keys.empty() || split->root != kLocalMachineRoot) {
        return existing.root;
    }
    Mount* mount = context.registry.find(split->keys.front());
    if (mount == nullptr) {
        return existing.root;
    }
    existing.keys.push_back(mount->name);
    const hive::Hive& h = mount->hive;
    KeyRef at = h.root();
    for (std::size_t i = 1; i < split->keys.size(); ++i) {
        auto name = hive::fromUtf8(split->keys[i]);
        auto node = h.key(at);
        if (!name || !node) {
            break;
        }
        auto child = h.findSubkey(*node, *name);
        if (!child || !*child) {
            break;
        }
        auto childNode = h.key(**child);
        if (!childNode) {
            break;
        }
        at = **child;
        existing.keys.push_back(hive::toUtf8(childNode->name));
    }
    return joinEditorPath(existing);
}

EditResult<std::vector<std::string>> listSubkeys(Context& context, std::string_view path) {
    auto at = locate(context, path);
    if (!at) {
        return tl::unexpected(at.error());
    }
    if (at->isRoot()) {
        std::vector<std::string> names;
        if (at->path.root == kLocalMachineRoot) {
            for (const auto& mount : context.registry.mounts()) {
                names.push_back(mount->name);
            }
        }
        return names;
    }
    return subkeyNames(*at->mount, at->key);
}

bool hasSubkeys(Context& context, std::string_view path) {
    auto at = locate(context, path);
    if (!at) {
        return false;
    }
    if (at->isRoot()) {
        return at->path.root == kLocalMachineRoot && !context.registry.mounts().empty();
    }
    auto node = at->mount->hive.key(at->key);
    return node && node->subkeyCount > 0;
}

EditResult<std::vector<EditorValue>> listValues(Context& context, std::string_view path) {
    auto at = locate(context, path);
    if (!at) {
        return tl::unexpected(at.error());
    }
    std::vector<EditorValue> rows;
    rows.push_back({"", std::string(kDefaultValueName), hive::kRegSz, editorTypeName(hive::kRegSz),
                    std::string(kValueNotSet), false});
    if (at->isRoot()) {
        return rows;
    }
    const hive::Hive& h = at->mount->hive;
    auto values = valueNodes(h, at->key);
    if (!values) {
        return tl::unexpected(values.error());
    }
    for (const hive::ValueNode& value : *values) {
        EditorValue row;
        row.name = hive::toUtf8(value.name);
        row.shownName = row.name.empty() ? std::string(kDefaultValueName) : row.name;
        row.type = value.type;
        row.typeName = editorTypeName(value.type);
        auto data = h.valueData(value);
        row.dataText = data ? valueDataText(value.type, *data) : "(данные не читаются)";
        if (row.name.empty()) {
            rows.front() = std::move(row);
        } else {
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

EditResult<ValueData> readValue(Context& context, std::string_view keyPath,
                                std::string_view valueName) {
    auto at = locate(context, keyPath);
    if (!at) {
        return tl::unexpected(at.error());
    }
    auto name = wide(valueName);
    if (!name) {
        return tl::unexpected(name.error());
    }
    if (at->isRoot()) {
        return failure("Параметр не найден: " + std::string(valueName));
    }
    auto found = findValue(*at->mount, at->key, *name);
    if (!found) {
        return tl::unexpected(found.error());
    }
    if (!*found) {
        return failure("Параметр не найден: " + std::string(valueName));
    }
    return ValueData{(*found)->node.type, std::move((*found)->data)};
}

bool isEditableKey(Context& context, std::string_view path) {
    auto at = locate(context, path);
    return at && !at->isRoot() && !at->isMountRoot();
}

bool canHoldChildren(Context& context, std::string_view path) {
    auto at = locate(context, path);
    return at && !at->isRoot();
}

EditResult<std::string> createKey(Context& context, std::string_view parentPath) {
    const std::string what = "Не удается создать раздел";
    auto at = locateInHive(context, parentPath, what);
    if (!at) {
        return tl::unexpected(at.error());
    }
    auto names = subkeyNames(*at->mount, at->key);
    if (!names) {
        return tl::unexpected(names.error());
    }
    std::vector<std::u16string> taken;
    for (const auto& name : *names) {
        taken.push_back(hive::fromUtf8(name).value_or(u""));
    }
    const std::string name = firstFreeName(kNewKeyPrefix, taken);
    auto created = at->mount->hive.createKey(at->key, *hive::fromUtf8(name));
    if (!created) {
        return failure(refused(what, created.error()));
    }
    return name;
}

EditResult<std::string> createValue(Context& context, std::string_view keyPath,
                                    std::uint32_t type) {
    const std::string what = "Не удается создать параметр";
    auto at = locateInHive(context, keyPath, what);
    if (!at) {
        return tl::unexpected(at.error());
    }
    auto taken = valueNames(*at->mount, at->key);
    if (!taken) {
        return tl::unexpected(taken.error());
    }
    const std::string name = firstFreeName(kNewValuePrefix, *taken);
    const auto data = emptyDataOf(type);
    auto set = at->mount->hive.setValue(at->key, *hive::fromUtf8(name), type, data);
    if (!set) {
        return failure(refused(what, set.error()));
    }
    return name;
}

EditResult<void> setValueText(Context& context, std::string_view keyPath,
                              std::string_view valueName, std::uint32_t type,
                              std::string_view text) {
    auto data = parseEditText(type, text);
    if (!data) {
        return tl::unexpected(data.error());
    }
    const std::string what = "Не удается изменить параметр";
    auto at = locateInHive(context, keyPath, what);
    if (!at) {
        return tl::unexpected(at.error());
    }
    auto name = wide(valueName);
    if (!name) {
        return tl::unexpected(name.error());
    }
    auto set = at->mount->hive.setValue(at->key, *name, type, *data);
    if (!set) {
        return failure(refused(what, set.error()));
    }
    return {};
}

EditResult<std::string> renameKey(Context& context, std::string_view path,
                                  std::string_view newName) {
    if (newName.empty()) {
        return failure("Имя раздела не может быть пустым.");
    }
    if (newName.find('\\') != std::string_view::npos) {
        return failure("Имя раздела не может содержать обратную косую черту (\\).");
    }
    auto at = locate(context, path);
    if (!at) {
        return tl::unexpected(at.error());
    }
    if (at->isRoot() || at->isMountRoot()) {
        return failure("Раздел " + joinEditorPath(at->path) +
                       " переименовать нельзя: это корень реестра или загруженного куста.");
    }
    auto name = wide(newName);
    if (!name) {
        return tl::unexpected(name.error());
    }
    const std::string& oldName = at->path.keys.back();
    hive::Hive& h = at->mount->hive;
    // The parent is the hive's key of the path without its last component.
    EditorPath parentPath = at->path;
    parentPath.keys.pop_back();
    auto parent = locate(context, joinEditorPath(parentPath));
    if (!parent) {
        return tl::unexpected(parent.error());
    }
    auto siblings = subkeyNames(*at->mount, parent->key);
    if (!siblings) {
        return tl::unexpected(siblings.error());
    }
    const auto oldUnits = hive::fromUtf8(oldName).value_or(u"");
    for (const auto& sibling : *siblings) {
        const auto units = hive::fromUtf8(sibling).value_or(u"");
        if (hive::namesEqual(units, *name) && !hive::namesEqual(units, oldUnits)) {
            return failure("Не удается переименовать " + oldName + ": раздел с именем " +
                           std::string(newName) +
                           " уже существует. Введите другое имя и повторите попытку.");
        }
    }
    auto renamed = h.renameKey(at->key, *name);
    if (!renamed) {
        return failure(refused("Не удается переименовать " + oldName, renamed.error()));
    }
    parentPath.keys.emplace_back(newName);
    return joinEditorPath(parentPath);
}

EditResult<void> renameValue(Context& context, std::string_view keyPath, std::string_view oldName,
                             std::string_view newName) {
    if (oldName.empty()) {
        return failure("Параметр по умолчанию переименовать нельзя.");
    }
    if (newName.empty()) {
        return failure("Имя параметра не может быть пустым.");
    }
    const std::string what = "Не удается переименовать " + std::string(oldName);
    auto at = locateInHive(context, keyPath, what);
    if (!at) {
        return tl::unexpected(at.error());
    }
    auto from = wide(oldName);
    auto to = wide(newName);
    if (!from || !to) {
        return tl::unexpected(!from ? from.error() : to.error());
    }
    auto found = findValue(*at->mount, at->key, *from);
    if (!found) {
        return tl::unexpected(found.error());
    }
    if (!*found) {
        return failure("Параметр не найден: " + std::string(oldName));
    }
    if (*from == *to) {
        return {};
    }
    hive::Hive& h = at->mount->hive;
    const std::uint32_t type = (*found)->node.type;
    const std::vector<std::uint8_t>& data = (*found)->data;
    if (hive::namesEqual(*from, *to)) {
        // Only the letter case changes: a value set under its own name keeps
        // the old spelling, so it goes and comes back under the new one (and
        // is put back as it was when that fails).
        if (auto deleted = h.deleteValue(at->key, *from); !deleted) {
            return failure(refused(what, deleted.error()));
        }
        if (auto set = h.setValue(at->key, *to, type, data); !set) {
            (void)h.setValue(at->key, *from, type, data);
            return failure(refused(what, set.error()));
        }
        return {};
    }
    auto clash = findValue(*at->mount, at->key, *to);
    if (!clash) {
        return tl::unexpected(clash.error());
    }
    if (*clash) {
        return failure(what + ": параметр с именем " + std::string(newName) +
                       " уже существует. Введите другое имя и повторите попытку.");
    }
    if (auto set = h.setValue(at->key, *to, type, data); !set) {
        return failure(refused(what, set.error()));
    }
    if (auto deleted = h.deleteValue(at->key, *from); !deleted) {
        (void)h.deleteValue(at->key, *to);
        return failure(refused(what, deleted.error()));
    }
    return {};
}

EditResult<void> deleteKey(Context& context, std::string_view path) {
    auto at = locate(context, path);
    if (!at) {
        return tl::unexpected(at.error());
    }
    if (at->isRoot() || at->isMountRoot()) {
        return failure("Раздел " + joinEditorPath(at->path) +
                       " удалить нельзя: это корень реестра или загруженного куста.");
    }
    if (auto deleted = at->mount->hive.deleteKey(at->key); !deleted) {
        return failure(
            refused("Не удается удалить раздел " + at->path.keys.back(), deleted.error()));
    }
    return {};
}

EditResult<void> deleteValue(Context& context, std::string_view keyPath,
                             std::string_view valueName) {
    const std::string shown =
        valueName.empty() ? std::string(kDefaultValueName) : std::string(valueName);
    const std::string what = "Не удается удалить параметр " + shown;
    auto at = locateInHive(context, keyPath, what);
    if (!at) {
        return tl::unexpected(at.error());
    }
    auto name = wide(valueName);
    if (!name) {
        return tl::unexpected(name.error());
    }
    auto deleted = at->mount->hive.deleteValue(at->key, *name);
    if (!deleted) {
        return failure(refused(what, deleted.error()));
    }
    if (!*deleted) {
        return failure("Параметр не найден: " + shown);
    }
    return {};
}

} // namespace engine::registry
