#include "hive/hive.h"

#include <charconv>
#include <cstring>

#include <fmt/format.h>

#include "hive/bytes.h"
#include "hive/cells.h"
#include "hive/names.h"

namespace engine::hive {

namespace {

bool hasSignature(std::span<const std::uint8_t> data, const char (&sig)[3]) {
    return data.size() >= 2 && data[0] == static_cast<std::uint8_t>(sig[0]) &&
           data[1] == static_cast<std::uint8_t>(sig[1]);
}

} // namespace

Hive::Hive(HiveImage image, BaseBlock header, std::string fileName)
    : image_(std::move(image))
    , header_(header)
    , fileName_(std::move(fileName)) {
    const std::uint64_t available =
        image_.size() > BaseBlock::kSize ? image_.size() - BaseBlock::kSize : 0;
    binsSize_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(header_.binsSize, available));
}

Result<Hive> Hive::fromImage(HiveImage image, std::string fileName) {
    auto header = parseBaseBlock({image.data(), image.size()});
    if (!header) {
        Error e = header.error();
        e.file = fileName;
        e.absolute = true;
        return tl::unexpected(e);
    }
    return Hive(std::move(image), *header, std::move(fileName));
}

Result<Hive> Hive::open(const std::filesystem::path& file) {
    auto image = HiveImage::mapFile(file);
    if (!image) {
        Error e = image.error();
        e.file = file.string();
        return tl::unexpected(e);
    }
    return fromImage(std::move(*image), file.string());
}

Result<Hive> Hive::fromBytes(std::span<const std::uint8_t> bytes, std::string name) {
    auto image = HiveImage::fromBytes(bytes);
    if (!image) {
        Error e = image.error();
        e.file = name;
        return tl::unexpected(e);
    }
    return fromImage(std::move(*image), std::move(name));
}

Error Hive::error(std::string message, std::optional<std::uint64_t> offset) const {
    return Error{std::move(message), fileName_, offset, false};
}

Result<std::span<const std::uint8_t>> Hive::cell(std::uint32_t offset) const {
    if (offset % 8 != 0) {
        return failAt("смещение ячейки не выровнено", offset);
    }
    if (static_cast<std::uint64_t>(offset) + 4 > binsSize_ || offset < kBinHeaderSize) {
        return failAt("смещение ячейки вне данных куста", offset);
    }
    const std::uint8_t* p = image_.data() + BaseBlock::kSize + offset;
    const auto raw = static_cast<std::int32_t>(le32(p));
    if (raw >= 0) {
        return failAt("ссылка на свободную ячейку", offset);
    }
    const std::int64_t size = -static_cast<std::int64_t>(raw);
    if (size < 8 ||
        static_cast<std::uint64_t>(offset) + static_cast<std::uint64_t>(size) > binsSize_) {
        return failAt("размер ячейки выходит за пределы данных куста", offset);
    }
    return std::span<const std::uint8_t>(p + 4, static_cast<std::size_t>(size - 4));
}

Result<KeyNode> Hive::key(KeyRef ref) const {
    auto c = cell(ref.cell);
    if (!c) {
        return tl::unexpected(c.error());
    }
    const auto data = *c;
    if (data.size() < nk::kName || !hasSignature(data, "nk")) {
        return failAt("ячейка не является разделом (nk)", ref.cell);
    }
    const std::uint8_t* p = data.data();
    const std::uint16_t nameLength = le16(p + nk::kNameLength);
    if (data.size() < nk::kName + nameLength) {
        return failAt("имя раздела выходит за пределы ячейки", ref.cell);
    }
    KeyNode k;
    k.ref = ref;
    k.flags = le16(p + nk::kFlags);
    k.lastWritten = le64(p + nk::kLastWritten);
    k.parent = le32(p + nk::kParent);
    k.subkeyCount = le32(p + nk::kSubkeyCount);
    k.subkeyList = le32(p + nk::kSubkeyList);
    k.valueCount = le32(p + nk::kValueCount);
    k.valueList = le32(p + nk::kValueList);
    k.security = le32(p + nk::kSecurity);
    k.classCell = le32(p + nk::kClass);
    k.classLength = le16(p + nk::kClassLength);
    k.compressedName = (k.flags & nk::kFlagCompressedName) != 0;
    k.name = decodeStoredName(data.subspan(nk::kName, nameLength), k.compressedName);
    return k;
}

Result<std::u16string> Hive::keyName(std::uint32_t offset) const {
    auto k = key(KeyRef{offset});
    if (!k) {
        return tl::unexpected(k.error());
    }
    return std::move(k->name);
}

Result<ValueNode> Hive::value(ValueRef ref) const {
    auto c = cell(ref.cell);
    if (!c) {
        return tl::unexpected(c.error());
    }
    const auto data = *c;
    if (data.size() < vk::kName || !hasSignature(data, "vk")) {
        return failAt("ячейка не является параметром (vk)", ref.cell);
    }
    const std::uint8_t* p = data.data();
    const std::uint16_t nameLength = le16(p + vk::kNameLength);
    if (data.size() < vk::kName + nameLength) {
        return failAt("имя параметра выходит за пределы ячейки", ref.cell);
    }
    ValueNode v;
    v.ref = ref;
    const std::uint32_t rawSize = le32(p + vk::kDataSize);
    v.dataInline = (rawSize & vk::kDataInline) != 0;
    v.dataSize = rawSize & ~vk::kDataInline;
    v.dataCell = le32(p + vk::kDataOffset);
    v.type = le32(p + vk::kType);
    v.compressedName = (le16(p + vk::kFlags) & vk::kFlagCompressedName) != 0;
    v.name = decodeStoredName(data.subspan(vk::kName, nameLength), v.compressedName);
    return v;
}

Result<std::vector<std::uint8_t>> Hive::valueData(const ValueNode& v) const {
    if (v.dataInline) {
        if (v.dataSize > 4) {
            return failAt("встроенные данные параметра длиннее 4 байт", v.ref.cell);
        }
        std::uint8_t bytes[4];
        put32(bytes, v.dataCell);
        return std::vector<std::uint8_t>(bytes, bytes + v.dataSize);
    }
    if (v.dataSize == 0) {
        return std::vector<std::uint8_t>{};
    }
    auto c = cell(v.dataCell);
    if (!c) {
        return tl::unexpected(c.error());
    }
    if (!header_.hasBigData() || v.dataSize <= kBigDataSegment) {
        if (c->size() < v.dataSize) {
            return failAt("ячейка данных короче размера параметра", v.dataCell);
        }
        return std::vector<std::uint8_t>(c->begin(), c->begin() + v.dataSize);
    }
    // Big data: a `db` record listing segments of up to 16344 bytes each.
    if (c->size() < 8 || !hasSignature(*c, "db")) {
        return failAt("большие данные параметра без записи db", v.dataCell);
    }
    const std::uint16_t segments = le16(c->data() + db::kSegmentCount);
    const std::uint32_t listOffset = le32(c->data() + db::kSegmentList);
    auto list = cell(listOffset);
    if (!list) {
        return tl::unexpected(list.error());
    }
    if (list->size() < std::size_t{segments} * 4) {
        return failAt("список сегментов db короче их числа", listOffset);
    }
    std::vector<std::uint8_t> out;
    out.reserve(v.dataSize);
    for (std::uint16_t i = 0; i < segments && out.size() < v.dataSize; ++i) {
        const std::uint32_t segOffset = le32(list->data() + 4 * i);
        auto seg = cell(segOffset);
        if (!seg) {
            return tl::unexpected(seg.error());
        }
        const std::size_t take = std::min<std::size_t>(kBigDataSegment, v.dataSize - out.size());
        if (seg->size() < take) {
            return failAt("сегмент больших данных короче своей доли", segOffset);
        }
        out.insert(out.end(), seg->begin(), seg->begin() + take);
    }
    if (out.size() < v.dataSize) {
        return failAt("сегменты больших данных короче размера параметра", v.dataCell);
    }
    return out;
}

Result<std::u16string> Hive::className(const KeyNode& k) const {
    if (k.classLength == 0 || k.classCell == kNoCell) {
        return std::u16string{};
    }
    auto c = cell(k.classCell);
    if (!c) {
        return tl::unexpected(c.error());
    }
    if (c->size() < k.classLength) {
        return failAt("имя класса выходит за пределы ячейки", k.classCell);
    }
    return decodeStoredName(c->first(k.classLength), false);
}

Result<SubkeyListKind> Hive::listKind(std::uint32_t listCell) const {
    auto c = cell(listCell);
    if (!c) {
        return tl::unexpected(c.error());
    }
    if (hasSignature(*c, "li")) {
        return SubkeyListKind::IndexLeaf;
    }
    if (hasSignature(*c, "lf")) {
        return SubkeyListKind::FastLeaf;
    }
    if (hasSignature(*c, "lh")) {
        return SubkeyListKind::HashLeaf;
    }
    if (hasSignature(*c, "ri")) {
        return SubkeyListKind::IndexRoot;
    }
    return failAt("ячейка не является списком подразделов", listCell);
}

Result<std::vector<std::uint32_t>> Hive::leafEntries(std::uint32_t leaf) const {
    auto kind = listKind(leaf);
    if (!kind) {
        return tl::unexpected(kind.error());
    }
    if (*kind == SubkeyListKind::IndexRoot) {
        return failAt("индекс ri на месте листа списка подразделов", leaf);
    }
    const auto c = *cell(leaf);
    if (c.size() < 4) {
        return failAt("список подразделов слишком короткий", leaf);
    }
    const std::size_t count = le16(c.data() + 2);
    const std::size_t stride = *kind == SubkeyListKind::IndexLeaf ? 4 : 8;
    if (c.size() < 4 + count * stride) {
        return failAt("список подразделов короче своего счётчика", leaf);
    }
    std::vector<std::uint32_t> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = le32(c.data() + 4 + i * stride);
    }
    return out;
}

Result<std::vector<std::uint32_t>> Hive::subkeyLeaves(std::uint32_t listCell) const {
    auto kind = listKind(listCell);
    if (!kind) {
        return tl::unexpected(kind.error());
    }
    if (*kind != SubkeyListKind::IndexRoot) {
        return std::vector<std::uint32_t>{listCell};
    }
    const auto c = *cell(listCell);
    if (c.size() < 4) {
        return failAt("список подразделов слишком короткий", listCell);
    }
    const std::size_t count = le16(c.data() + 2);
    if (c.size() < 4 + count * 4) {
        return failAt("индекс ri короче своего счётчика", listCell);
    }
    std::vector<std::uint32_t> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = le32(c.data() + 4 + i * 4);
    }
    return out;
}

Result<std::vector<KeyRef>> Hive::subkeys(const KeyNode& k) const {
    std::vector<KeyRef> out;
    if (k.subkeyCount == 0) {
        return out;
    }
    auto leaves = subkeyLeaves(k.subkeyList);
    if (!leaves) {
        return tl::unexpected(leaves.error());
    }
    for (std::uint32_t leaf : *leaves) {
        auto entries = leafEntries(leaf);
        if (!entries) {
            return tl::unexpected(entries.error());
        }
        for (std::uint32_t e : *entries) {
            out.push_back(KeyRef{e});
        }
    }
    return out;
}

Result<std::vector<ValueRef>> Hive::values(const KeyNode& k) const {
    std::vector<ValueRef> out;
    if (k.valueCount == 0) {
        return out;
    }
    auto c = cell(k.valueList);
    if (!c) {
        return tl::unexpected(c.error());
    }
    if (c->size() / 4 < k.valueCount) {
        return failAt("список параметров короче их числа в разделе", k.valueList);
    }
    out.reserve(k.valueCount);
    for (std::uint32_t i = 0; i < k.valueCount; ++i) {
        out.push_back(ValueRef{le32(c->data() + 4 * std::size_t{i})});
    }
    return out;
}

Result<std::optional<KeyRef>> Hive::findInLeaf(std::uint32_t leaf, std::u16string_view name) const {
    auto kind = listKind(leaf);
    if (!kind) {
        return tl::unexpected(kind.error());
    }
    if (*kind == SubkeyListKind::HashLeaf) {
        // The hashes sit in the leaf itself: only a key whose hash matches is
        // read, usually one, where a binary search would read about log2(n).
        const auto c = *cell(leaf);
        const std::size_t count = c.size() >= 4 ? le16(c.data() + 2) : 0;
        if (c.size() < 4 + count * 8) {
            return failAt("список подразделов короче своего счётчика", leaf);
        }
        const std::uint32_t hash = nameHash(name);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* entry = c.data() + 4 + i * 8;
            if (le32(entry + 4) != hash) {
                continue;
            }
            auto candidate = keyName(le32(entry));
            if (!candidate) {
                return tl::unexpected(candidate.error());
            }
            if (namesEqual(name, *candidate)) {
                return KeyRef{le32(entry)};
            }
        }
        return std::optional<KeyRef>{};
    }
    auto entries = leafEntries(leaf);
    if (!entries) {
        return tl::unexpected(entries.error());
    }
    // Entries are sorted by upper-cased name: a binary search reads only
    // about log2(n) key nodes.
    std::size_t lo = 0;
    std::size_t hi = entries->size();
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        auto midName = keyName((*entries)[mid]);
        if (!midName) {
            return tl::unexpected(midName.error());
        }
        const int cmp = compareNames(name, *midName);
        if (cmp == 0) {
            return KeyRef{(*entries)[mid]};
        }
        if (cmp < 0) {
            hi = mid;
        } else {
            lo = mid + 1;
        }
    }
    return std::optional<KeyRef>{};
}

Result<std::optional<KeyRef>> Hive::findSubkey(const KeyNode& parent,
                                               std::u16string_view name) const {
    if (parent.subkeyCount == 0) {
        return std::optional<KeyRef>{};
    }
    auto leaves = subkeyLeaves(parent.subkeyList);
    if (!leaves) {
        return tl::unexpected(leaves.error());
    }
    if (leaves->size() == 1 && leaves->front() == parent.subkeyList) {
        return findInLeaf(parent.subkeyList, name);
    }
    // An index root: find the first leaf whose last name is not below the
    // name sought, by binary search over the leaves.
    std::size_t lo = 0;
    std::size_t hi = leaves->size();
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        auto entries = leafEntries((*leaves)[mid]);
        if (!entries) {
            return tl::unexpected(entries.error());
        }
        if (entries->empty()) {
            return failAt("пустой лист в индексе ri", (*leaves)[mid]);
        }
        auto lastName = keyName(entries->back());
        if (!lastName) {
            return tl::unexpected(lastName.error());
        }
        if (compareNames(name, *lastName) <= 0) {
            hi = mid;
        } else {
            lo = mid + 1;
        }
    }
    if (lo == leaves->size()) {
        return std::optional<KeyRef>{};
    }
    return findInLeaf((*leaves)[lo], name);
}

Result<std::optional<ValueRef>> Hive::findValue(const KeyNode& k, std::u16string_view name) const {
    auto refs = values(k);
    if (!refs) {
        return tl::unexpected(refs.error());
    }
    for (ValueRef ref : *refs) {
        auto v = value(ref);
        if (!v) {
            return tl::unexpected(v.error());
        }
        if (namesEqual(v->name, name)) {
            return ref;
        }
    }
    return std::optional<ValueRef>{};
}

Result<std::optional<KeyRef>> Hive::findKey(std::string_view path) const {
    KeyRef current = root();
    std::size_t pos = 0;
    while (pos <= path.size()) {
        const std::size_t end = std::min(path.find('\\', pos), path.size());
        const std::string_view component = path.substr(pos, end - pos);
        pos = end + 1;
        if (component.empty()) {
            continue;
        }
        auto name = fromUtf8(component);
        if (!name) {
            return tl::unexpected(error("путь раздела не в кодировке UTF-8"));
        }
        auto node = key(current);
        if (!node) {
            return tl::unexpected(node.error());
        }
        auto next = findSubkey(*node, *name);
        if (!next) {
            return tl::unexpected(next.error());
        }
        if (!*next) {
            return std::optional<KeyRef>{};
        }
        current = **next;
    }
    // The root itself must at least be a key node.
    if (auto node = key(current); !node) {
        return tl::unexpected(node.error());
    }
    return current;
}

namespace {

struct NamedType {
    std::uint32_t type;
    std::string_view name;
};

constexpr NamedType kTypeNames[] = {
    {kRegNone, "REG_NONE"},     {kRegSz, "REG_SZ"},       {kRegExpandSz, "REG_EXPAND_SZ"},
    {kRegBinary, "REG_BINARY"}, {kRegDword, "REG_DWORD"}, {kRegMultiSz, "REG_MULTI_SZ"},
    {kRegQword, "REG_QWORD"},
};

} // namespace

std::string typeName(std::uint32_t type) {
    for (const auto& t : kTypeNames) {
        if (t.type == type) {
            return std::string(t.name);
        }
    }
    return fmt::format("0x{:x}", type);
}

std::optional<std::uint32_t> parseTypeName(std::string_view text) {
    for (const auto& t : kTypeNames) {
        if (text.size() == t.name.size() &&
            std::equal(text.begin(), text.end(), t.name.begin(),
                       [](char a, char b) { return (a >= 'a' && a <= 'z' ? a - 32 : a) == b; })) {
            return t.type;
        }
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc{} || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

} // namespace engine::hive
