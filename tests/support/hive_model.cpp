#include "support/hive_model.h"

#include <algorithm>

#include "hive/dump.h"
#include "hive/names.h"

namespace test {

namespace eh = engine::hive;

char16_t modelUpcase(char16_t u) {
    const auto shifted = [u](int delta) { return static_cast<char16_t>(u + delta); };
    if ((u >= u'a' && u <= u'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7)) {
        return shifted(-0x20); // ASCII and Latin-1 letters
    }
    if (u == 0xFF) {
        return 0x178; // ÿ -> Ÿ
    }
    if (u == 0x3C2) {
        return 0x3A3; // final sigma
    }
    if ((u >= 0x3B1 && u <= 0x3C9) || (u >= 0x430 && u <= 0x44F)) {
        return shifted(-0x20); // Greek α-ω, Cyrillic а-я
    }
    if (u >= 0x450 && u <= 0x45F) {
        return shifted(-0x50); // Cyrillic ѐ-џ
    }
    return u;
}

char16_t modelDowncase(char16_t u) {
    const auto shifted = [u](int delta) { return static_cast<char16_t>(u + delta); };
    if ((u >= u'A' && u <= u'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7) ||
        (u >= 0x391 && u <= 0x3A9 && u != 0x3A2) || (u >= 0x410 && u <= 0x42F)) {
        return shifted(0x20);
    }
    if (u == 0x178) {
        return 0xFF;
    }
    if (u >= 0x400 && u <= 0x40F) {
        return shifted(0x50);
    }
    return u;
}

std::u16string foldName(std::u16string_view name) {
    std::u16string out(name);
    std::transform(out.begin(), out.end(), out.begin(), modelUpcase);
    return out;
}

bool sameName(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && foldName(a) == foldName(b);
}

namespace {

template <class Key>
auto* findSubkey(Key& key, std::u16string_view name) {
    const std::u16string folded = foldName(name);
    auto it = std::lower_bound(
        key.subkeys.begin(), key.subkeys.end(), folded,
        [](const ModelKey& k, const std::u16string& f) { return foldName(k.name) < f; });
    return it != key.subkeys.end() && foldName(it->name) == folded ? &*it : nullptr;
}

ModelKey& insertSorted(ModelKey& parent, ModelKey child) {
    const std::u16string folded = foldName(child.name);
    auto it = std::lower_bound(
        parent.subkeys.begin(), parent.subkeys.end(), folded,
        [](const ModelKey& k, const std::u16string& f) { return foldName(k.name) < f; });
    return *parent.subkeys.insert(it, std::move(child));
}

eh::Result<ModelKey> readKey(const eh::Hive& hive, eh::KeyRef ref, std::size_t depth) {
    if (depth > 1024) {
        return eh::fail("модель: разделы вложены слишком глубоко (цикл?)", ref.cell);
    }
    auto node = hive.key(ref);
    if (!node) {
        return tl::unexpected(node.error());
    }
    ModelKey key;
    key.name = node->name;
    auto values = hive.values(*node);
    if (!values) {
        return tl::unexpected(values.error());
    }
    for (eh::ValueRef v : *values) {
        auto value = hive.value(v);
        if (!value) {
            return tl::unexpected(value.error());
        }
        auto data = hive.valueData(*value);
        if (!data) {
            return tl::unexpected(data.error());
        }
        key.values.push_back({value->name, value->type, std::move(*data)});
    }
    auto children = hive.subkeys(*node);
    if (!children) {
        return tl::unexpected(children.error());
    }
    for (eh::KeyRef child : *children) {
        auto sub = readKey(hive, child, depth + 1);
        if (!sub) {
            return tl::unexpected(sub.error());
        }
        insertSorted(key, std::move(*sub));
    }
    return key;
}

void dumpKey(const ModelKey& key, const std::string& path, std::string& out) {
    out += "[" + path + "]\n";
    for (const ModelValue& v : key.values) {
        eh::ValueNode node;
        node.name = v.name;
        node.type = v.type;
        out += eh::valueLine(node, v.data);
        out += '\n';
    }
    for (const ModelKey& sub : key.subkeys) {
        const std::string component = eh::keyPathComponent(sub.name);
        dumpKey(sub, path.empty() ? component : path + "\\" + component, out);
    }
}

} // namespace

ModelKey* ModelKey::subkey(std::u16string_view wanted) {
    return findSubkey(*this, wanted);
}
const ModelKey* ModelKey::subkey(std::u16string_view wanted) const {
    return findSubkey(*this, wanted);
}

const ModelValue* ModelKey::value(std::u16string_view wanted) const {
    for (const ModelValue& v : values) {
        if (sameName(v.name, wanted)) {
            return &v;
        }
    }
    return nullptr;
}

std::size_t ModelKey::treeSize() const {
    std::size_t n = 1;
    for (const ModelKey& sub : subkeys) {
        n += sub.treeSize();
    }
    return n;
}

eh::Result<HiveModel> HiveModel::read(const eh::Hive& hive) {
    auto root = readKey(hive, hive.root(), 0);
    if (!root) {
        return tl::unexpected(root.error());
    }
    HiveModel model;
    model.root_ = std::move(*root);
    return model;
}

ModelKey* HiveModel::find(std::span<const std::u16string> path) {
    ModelKey* key = &root_;
    for (const std::u16string& name : path) {
        key = key->subkey(name);
        if (key == nullptr) {
            return nullptr;
        }
    }
    return key;
}

const ModelKey* HiveModel::find(std::span<const std::u16string> path) const {
    const ModelKey* key = &root_;
    for (const std::u16string& name : path) {
        key = key->subkey(name);
        if (key == nullptr) {
            return nullptr;
        }
    }
    return key;
}

void HiveModel::setValue(ModelKey& key, std::u16string_view name, std::uint32_t type,
                         std::span<const std::uint8_t> data) {
    for (ModelValue& v : key.values) {
        if (sameName(v.name, name)) {
            v.type = type;
            v.data.assign(data.begin(), data.end());
            return;
        }
    }
    key.values.push_back({std::u16string(name), type, {data.begin(), data.end()}});
}

bool HiveModel::deleteValue(ModelKey& key, std::u16string_view name) {
    auto it = std::find_if(key.values.begin(), key.values.end(),
                           [&](const ModelValue& v) { return sameName(v.name, name); });
    if (it == key.values.end()) {
        return false;
    }
    key.values.erase(it);
    return true;
}

ModelKey& HiveModel::createKey(ModelKey& parent, std::u16string_view name) {
    if (ModelKey* existing = parent.subkey(name)) {
        return *existing;
    }
    ModelKey child;
    child.name = name;
    return insertSorted(parent, std::move(child));
}

bool HiveModel::renameKey(ModelKey& parent, std::u16string_view name, std::u16string_view newName,
                          ModelKey** renamed) {
    ModelKey* key = parent.subkey(name);
    ModelKey* clash = parent.subkey(newName);
    if (clash != nullptr && clash != key) {
        return false;
    }
    auto it = parent.subkeys.begin() + (key - parent.subkeys.data());
    ModelKey moved = std::move(*it);
    parent.subkeys.erase(it);
    moved.name = newName;
    ModelKey& placed = insertSorted(parent, std::move(moved));
    if (renamed != nullptr) {
        *renamed = &placed;
    }
    return true;
}

void HiveModel::deleteKey(ModelKey& parent, std::u16string_view name) {
    ModelKey* key = parent.subkey(name);
    parent.subkeys.erase(parent.subkeys.begin() + (key - parent.subkeys.data()));
}

std::string HiveModel::dump() const {
    std::string out;
    dumpKey(root_, "", out);
    return out;
}

std::string pathText(std::span<const std::u16string> path) {
    std::string out;
    for (const std::u16string& name : path) {
        out += (out.empty() ? "" : "\\") + eh::toUtf8(name);
    }
    return out;
}

} // namespace test
