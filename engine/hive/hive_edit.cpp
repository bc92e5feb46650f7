// Changing a hive in memory: values, keys, security cell references. Subkey
// lists are edited in subkey_list_edit.cpp.
#include <chrono>
#include <cstring>
#include <unordered_set>

#include <fmt/format.h>

#include "hive/bytes.h"
#include "hive/cells.h"
#include "hive/hive.h"
#include "hive/names.h"
#include "hive/validate.h"

namespace engine::hive {

namespace {

constexpr std::size_t kMaxKeyNameUnits = 255;
constexpr std::size_t kMaxValueNameUnits = 16383;
// FILETIME of the Unix epoch.
constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

std::size_t storedNameBytes(std::u16string_view name) {
    return fitsCompressed(name) ? name.size() : name.size() * 2;
}

Result<void> checkKeyName(std::u16string_view name) {
    if (name.empty() || name.size() > kMaxKeyNameUnits) {
        return fail("имя раздела должно быть длиной от 1 до 255 знаков");
    }
    if (name.find(u'\\') != std::u16string_view::npos) {
        return fail("в имени раздела не может быть обратной косой черты");
    }
    return {};
}

} // namespace

std::uint64_t Hive::now() const {
    if (clock_) {
        return clock_();
    }
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return kUnixEpochAsFileTime +
           static_cast<std::uint64_t>(
               std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100);
}

Result<void> Hive::beginChanges() {
    if (refusal_) {
        return tl::unexpected(*refusal_);
    }
    if (allocator_) {
        return {};
    }
    if (header_.dirty()) {
        refusal_ = error("куст «грязный»: его последние изменения остались в журналах "
                         "транзакций; сначала его нужно восстановить");
        return tl::unexpected(*refusal_);
    }
    image_.prefetchAll();
    const Validation report = validateHive(*this);
    if (const Finding* f = report.firstBlocking(); f != nullptr) {
        refusal_ = error("куст повреждён, изменять его небезопасно: " + f->message, f->cell);
        return tl::unexpected(*refusal_);
    }
    allocator_ = CellAllocator::scan(image_.data() + BaseBlock::kSize, binsSize_);
    return {};
}

template <class T, class Body>
Result<T> Hive::change(Body&& body) {
    if (auto ready = beginChanges(); !ready) {
        return tl::unexpected(ready.error());
    }
    ChangeJournal journal(image_);
    Result<T> result = body(journal);
    if (result) {
        if (journal.wroteAnything()) {
            ++changeCount_;
        }
        journal.commit();
    } else {
        journal.rollback();
        afterRollback();
        if (result.error().file.empty()) {
            result.error().file = fileName_;
        }
    }
    return result;
}

void Hive::afterRollback() {
    header_ = *parseBaseBlock({image_.data(), image_.size()});
    binsSize_ = header_.binsSize;
    allocator_ = CellAllocator::scan(image_.data() + BaseBlock::kSize, binsSize_);
}

Result<std::uint32_t> Hive::allocate(ChangeJournal& j, std::uint32_t dataSize) {
    auto cell = allocator_->allocate(j, dataSize);
    if (allocator_->binsSize() != binsSize_) {
        // A bin was appended and the base block names the new size: keep its
        // checksum right, so the image never looks dirty.
        binsSize_ = allocator_->binsSize();
        header_.binsSize = binsSize_;
        header_.checksum = baseBlockChecksum({image_.data(), BaseBlock::kSize});
        j.put32(BaseBlock::kChecksum, header_.checksum);
    }
    return cell;
}

void Hive::release(ChangeJournal& j, std::uint32_t cell) {
    allocator_->release(j, cell);
}

std::uint8_t* Hive::fieldBytes(ChangeJournal& j, std::uint32_t cell, std::size_t field,
                               std::size_t length) {
    return j.write(BaseBlock::kSize + std::size_t{cell} + 4 + field, length);
}
void Hive::putField16(ChangeJournal& j, std::uint32_t cell, std::size_t field, std::uint16_t v) {
    put16(fieldBytes(j, cell, field, 2), v);
}
void Hive::putField32(ChangeJournal& j, std::uint32_t cell, std::size_t field, std::uint32_t v) {
    put32(fieldBytes(j, cell, field, 4), v);
}
void Hive::putField64(ChangeJournal& j, std::uint32_t cell, std::size_t field, std::uint64_t v) {
    put64(fieldBytes(j, cell, field, 8), v);
}

void Hive::touch(ChangeJournal& j, std::uint32_t keyCell) {
    putField64(j, keyCell, nk::kLastWritten, now());
}

void Hive::growField(ChangeJournal& j, std::uint32_t cell, std::size_t field, std::uint32_t value,
                     bool lowHalfOnly) {
    const std::uint8_t* p = image_.data() + BaseBlock::kSize + cell + 4 + field;
    if (lowHalfOnly) {
        // The upper half of the largest-subkey-name field holds key flags.
        if (value > le16(p)) {
            putField16(j, cell, field,
                       static_cast<std::uint16_t>(std::min<std::uint32_t>(value, 0xFFFF)));
        }
    } else if (value > le32(p)) {
        putField32(j, cell, field, value);
    }
}

Result<std::uint32_t> Hive::writeName(ChangeJournal& j, std::uint32_t cell, std::size_t nameField,
                                      std::u16string_view name) {
    const bool compressed = fitsCompressed(name);
    std::uint8_t* p = fieldBytes(j, cell, nameField, storedNameBytes(name));
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (compressed) {
            p[i] = static_cast<std::uint8_t>(name[i]);
        } else {
            put16(p + 2 * i, name[i]);
        }
    }
    return static_cast<std::uint32_t>(storedNameBytes(name));
}

// ---- Value data ------------------------------------------------------------

Result<Hive::StoredData> Hive::storeData(ChangeJournal& j, std::span<const std::uint8_t> data) {
    if (data.size() > 0x7FFFFFFFu) {
        return fail("данные параметра слишком велики");
    }
    const auto size = static_cast<std::uint32_t>(data.size());
    if (size <= 4) {
        // Small data lives in the value's own data-offset field.
        std::uint8_t inlineBytes[4] = {0, 0, 0, 0};
        if (size > 0) {
            std::memcpy(inlineBytes, data.data(), size);
        }
        return StoredData{size | vk::kDataInline, le32(inlineBytes)};
    }
    if (!header_.hasBigData() || size <= kBigDataSegment) {
        auto cell = allocate(j, size);
        if (!cell) {
            return tl::unexpected(cell.error());
        }
        std::memcpy(fieldBytes(j, *cell, 0, size), data.data(), size);
        return StoredData{size, *cell};
    }
    const std::size_t segments = (data.size() + kBigDataSegment - 1) / kBigDataSegment;
    if (segments > 0xFFFF) {
        return fail("данные параметра слишком велики");
    }
    std::vector<std::uint32_t> segmentCells;
    for (std::size_t i = 0; i < segments; ++i) {
        const std::size_t begin = i * kBigDataSegment;
        const auto length =
            static_cast<std::uint32_t>(std::min(kBigDataSegment, data.size() - begin));
        // Every segment gets a whole segment's cell, the last one too, as
        // Windows writes them (and as some readers expect).
        auto cell = allocate(j, static_cast<std::uint32_t>(kBigDataSegment));
        if (!cell) {
            return tl::unexpected(cell.error());
        }
        std::uint8_t* segment = fieldBytes(j, *cell, 0, kBigDataSegment);
        std::memcpy(segment, data.data() + begin, length);
        std::memset(segment + length, 0, kBigDataSegment - length);
        segmentCells.push_back(*cell);
    }
    auto list = allocate(j, static_cast<std::uint32_t>(segments * 4));
    if (!list) {
        return tl::unexpected(list.error());
    }
    for (std::size_t i = 0; i < segments; ++i) {
        putField32(j, *list, 4 * i, segmentCells[i]);
    }
    auto db = allocate(j, 8);
    if (!db) {
        return tl::unexpected(db.error());
    }
    std::uint8_t* p = fieldBytes(j, *db, 0, 8);
    p[0] = 'd';
    p[1] = 'b';
    put16(p + db::kSegmentCount, static_cast<std::uint16_t>(segments));
    put32(p + db::kSegmentList, *list);
    return StoredData{size, *db};
}

Result<std::vector<std::uint32_t>> Hive::dataCells(const ValueNode& v) const {
    std::vector<std::uint32_t> cells;
    if (v.dataInline || v.dataSize == 0) {
        return cells;
    }
    if (header_.hasBigData() && v.dataSize > kBigDataSegment) {
        auto db = cell(v.dataCell);
        if (!db) {
            return tl::unexpected(db.error());
        }
        if (db->size() < 8 || (*db)[0] != 'd' || (*db)[1] != 'b') {
            return failAt("большие данные параметра без записи db", v.dataCell);
        }
        const std::uint16_t count = le16(db->data() + db::kSegmentCount);
        const std::uint32_t listOffset = le32(db->data() + db::kSegmentList);
        auto list = cell(listOffset);
        if (!list) {
            return tl::unexpected(list.error());
        }
        if (list->size() < std::size_t{count} * 4) {
            return failAt("список сегментов db короче их числа", listOffset);
        }
        for (std::uint16_t i = 0; i < count; ++i) {
            cells.push_back(le32(list->data() + 4 * i));
        }
        cells.push_back(listOffset);
    }
    cells.push_back(v.dataCell);
    return cells;
}

Result<void> Hive::releaseValue(ChangeJournal& j, ValueRef ref) {
    auto v = value(ref);
    if (!v) {
        return tl::unexpected(v.error());
    }
    auto cells = dataCells(*v);
    if (!cells) {
        return tl::unexpected(cells.error());
    }
    for (std::uint32_t c : *cells) {
        release(j, c);
    }
    release(j, ref.cell);
    return {};
}

// ---- Values ------------------------------------------------------------------

Result<void> Hive::setValue(KeyRef keyRef, std::u16string_view name, std::uint32_t type,
                            std::span<const std::uint8_t> data) {
    return change<void>([&](ChangeJournal& j) -> Result<void> {
        if (name.size() > kMaxValueNameUnits) {
            return fail("имя параметра длиннее 16383 знаков");
        }
        auto node = key(keyRef);
        if (!node) {
            return tl::unexpected(node.error());
        }
        auto existing = findValue(*node, name);
        if (!existing) {
            return tl::unexpected(existing.error());
        }
        std::vector<std::uint32_t> oldCells;
        if (*existing) {
            auto old = value(**existing);
            if (!old) {
                return tl::unexpected(old.error());
            }
            auto cells = dataCells(*old);
            if (!cells) {
                return tl::unexpected(cells.error());
            }
            oldCells = std::move(*cells);
        }
        auto stored = storeData(j, data);
        if (!stored) {
            return tl::unexpected(stored.error());
        }
        if (*existing) {
            const std::uint32_t vkCell = (*existing)->cell;
            putField32(j, vkCell, vk::kDataSize, stored->rawSize);
            putField32(j, vkCell, vk::kDataOffset, stored->offset);
            putField32(j, vkCell, vk::kType, type);
            for (std::uint32_t c : oldCells) {
                release(j, c);
            }
        } else {
            const auto nameBytes = static_cast<std::uint32_t>(storedNameBytes(name));
            auto vkCell = allocate(j, static_cast<std::uint32_t>(vk::kName) + nameBytes);
            if (!vkCell) {
                return tl::unexpected(vkCell.error());
            }
            std::uint8_t* p = fieldBytes(j, *vkCell, 0, vk::kName);
            std::memset(p, 0, vk::kName);
            p[0] = 'v';
            p[1] = 'k';
            put16(p + vk::kNameLength, static_cast<std::uint16_t>(nameBytes));
            put32(p + vk::kDataSize, stored->rawSize);
            put32(p + vk::kDataOffset, stored->offset);
            put32(p + vk::kType, type);
            put16(p + vk::kFlags, fitsCompressed(name) ? vk::kFlagCompressedName : 0);
            writeName(j, *vkCell, vk::kName, name);

            // Append to the key's value list, moving it when it is full.
            const std::uint32_t count = node->valueCount;
            std::uint32_t list = node->valueList;
            if (count == 0) {
                auto fresh = allocate(j, 4);
                if (!fresh) {
                    return tl::unexpected(fresh.error());
                }
                list = *fresh;
            } else if (allocator_->capacity(list) < (count + 1) * 4) {
                auto fresh = allocate(j, (count + 1) * 4);
                if (!fresh) {
                    return tl::unexpected(fresh.error());
                }
                std::memcpy(fieldBytes(j, *fresh, 0, std::size_t{count} * 4),
                            image_.data() + BaseBlock::kSize + list + 4, std::size_t{count} * 4);
                release(j, list);
                list = *fresh;
            }
            putField32(j, list, std::size_t{count} * 4, *vkCell);
            putField32(j, keyRef.cell, nk::kValueList, list);
            putField32(j, keyRef.cell, nk::kValueCount, count + 1);
            growField(j, keyRef.cell, nk::kMaxValueName,
                      static_cast<std::uint32_t>(name.size() * 2), false);
        }
        growField(j, keyRef.cell, nk::kMaxValueData, static_cast<std::uint32_t>(data.size()),
                  false);
        touch(j, keyRef.cell);
        return {};
    });
}

Result<bool> Hive::deleteValue(KeyRef keyRef, std::u16string_view name) {
    return change<bool>([&](ChangeJournal& j) -> Result<bool> {
        auto node = key(keyRef);
        if (!node) {
            return tl::unexpected(node.error());
        }
        auto refs = values(*node);
        if (!refs) {
            return tl::unexpected(refs.error());
        }
        std::size_t index = refs->size();
        for (std::size_t i = 0; i < refs->size(); ++i) {
            auto v = value((*refs)[i]);
            if (!v) {
                return tl::unexpected(v.error());
            }
            if (namesEqual(v->name, name)) {
                index = i;
                break;
            }
        }
        if (index == refs->size()) {
            return false;
        }
        if (auto released = releaseValue(j, (*refs)[index]); !released) {
            return tl::unexpected(released.error());
        }
        const auto count = static_cast<std::uint32_t>(refs->size() - 1);
        if (count == 0) {
            release(j, node->valueList);
            putField32(j, keyRef.cell, nk::kValueList, kNoCell);
        } else {
            for (std::size_t i = index; i < count; ++i) {
                putField32(j, node->valueList, 4 * i, (*refs)[i + 1].cell);
            }
        }
        putField32(j, keyRef.cell, nk::kValueCount, count);
        touch(j, keyRef.cell);
        return true;
    });
}

// ---- Keys ----------------------------------------------------------------------

Result<KeyRef> Hive::createKeyIn(ChangeJournal& j, KeyRef parentRef, std::u16string_view name) {
    if (auto ok = checkKeyName(name); !ok) {
        return tl::unexpected(ok.error());
    }
    auto parent = key(parentRef);
    if (!parent) {
        return tl::unexpected(parent.error());
    }
    auto existing = findSubkey(*parent, name);
    if (!existing) {
        return tl::unexpected(existing.error());
    }
    if (*existing) {
        return **existing;
    }
    // The new key shares its parent's security cell.
    auto security = cell(parent->security);
    if (!security) {
        return tl::unexpected(security.error());
    }
    if (security->size() < sk::kDescriptor || (*security)[0] != 's' || (*security)[1] != 'k') {
        return failAt("ячейка не является дескриптором безопасности (sk)", parent->security);
    }
    const std::uint32_t refCount = le32(security->data() + sk::kRefCount);
    if (refCount == 0xFFFFFFFFu) {
        return failAt("счётчик ссылок дескриптора безопасности переполнен", parent->security);
    }

    const auto nameBytes = static_cast<std::uint32_t>(storedNameBytes(name));
    auto nkCell = allocate(j, static_cast<std::uint32_t>(nk::kName) + nameBytes);
    if (!nkCell) {
        return tl::unexpected(nkCell.error());
    }
    std::uint8_t* p = fieldBytes(j, *nkCell, 0, nk::kName);
    std::memset(p, 0, nk::kName);
    p[0] = 'n';
    p[1] = 'k';
    put16(p + nk::kFlags, fitsCompressed(name) ? nk::kFlagCompressedName : 0);
    put64(p + nk::kLastWritten, now());
    put32(p + nk::kParent, parentRef.cell);
    put32(p + nk::kSubkeyList, kNoCell);
    put32(p + nk::kVolatileSubkeyList, kNoCell);
    put32(p + nk::kValueList, kNoCell);
    put32(p + nk::kSecurity, parent->security);
    put32(p + nk::kClass, kNoCell);
    put16(p + nk::kNameLength, static_cast<std::uint16_t>(nameBytes));
    writeName(j, *nkCell, nk::kName, name);

    putField32(j, parent->security, sk::kRefCount, refCount + 1);
    if (auto inserted = insertSubkey(j, parentRef, KeyRef{*nkCell}, name); !inserted) {
        return tl::unexpected(inserted.error());
    }
    growField(j, parentRef.cell, nk::kMaxSubkeyName, static_cast<std::uint32_t>(name.size() * 2),
              true);
    touch(j, parentRef.cell);
    return KeyRef{*nkCell};
}

Result<KeyRef> Hive::createKey(KeyRef parent, std::u16string_view name) {
    return change<KeyRef>([&](ChangeJournal& j) { return createKeyIn(j, parent, name); });
}

Result<KeyRef> Hive::createKeyPath(std::string_view path) {
    return change<KeyRef>([&](ChangeJournal& j) -> Result<KeyRef> {
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
                return fail("путь раздела не в кодировке UTF-8");
            }
            auto next = createKeyIn(j, current, *name);
            if (!next) {
                return tl::unexpected(next.error());
            }
            current = *next;
        }
        return current;
    });
}

Result<void> Hive::releaseSecurity(ChangeJournal& j, std::uint32_t skCell) {
    auto data = cell(skCell);
    if (!data) {
        return tl::unexpected(data.error());
    }
    if (data->size() < sk::kDescriptor || (*data)[0] != 's' || (*data)[1] != 'k') {
        return failAt("ячейка не является дескриптором безопасности (sk)", skCell);
    }
    const std::uint32_t refCount = le32(data->data() + sk::kRefCount);
    if (refCount > 1) {
        putField32(j, skCell, sk::kRefCount, refCount - 1);
        return {};
    }
    // The last reference: take the cell out of the list of security cells.
    const std::uint32_t flink = le32(data->data() + sk::kFlink);
    const std::uint32_t blink = le32(data->data() + sk::kBlink);
    if (flink == skCell || blink == skCell) {
        return failAt("нельзя освободить последний дескриптор безопасности куста", skCell);
    }
    for (std::uint32_t neighbour : {flink, blink}) {
        auto n = cell(neighbour);
        if (!n) {
            return tl::unexpected(n.error());
        }
        if (n->size() < sk::kDescriptor) {
            return failAt("список дескрипторов безопасности разорван", neighbour);
        }
    }
    putField32(j, blink, sk::kFlink, flink);
    putField32(j, flink, sk::kBlink, blink);
    release(j, skCell);
    return {};
}

Result<void> Hive::deleteTree(ChangeJournal& j, KeyRef top) {
    // Children before parents; every cell is read before anything is freed.
    std::vector<KeyNode> order;
    std::vector<KeyRef> stack{top};
    std::unordered_set<std::uint32_t> seen;
    while (!stack.empty()) {
        const KeyRef ref = stack.back();
        stack.pop_back();
        if (!seen.insert(ref.cell).second) {
            return failAt("раздел встречен дважды (цикл)", ref.cell);
        }
        auto node = key(ref);
        if (!node) {
            return tl::unexpected(node.error());
        }
        auto children = subkeys(*node);
        if (!children) {
            return tl::unexpected(children.error());
        }
        stack.insert(stack.end(), children->begin(), children->end());
        order.push_back(std::move(*node));
    }
    struct Doomed {
        std::vector<std::uint32_t> cells;
        std::uint32_t security;
    };
    std::vector<Doomed> doomed;
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        Doomed d{{}, it->security};
        auto refs = values(*it);
        if (!refs) {
            return tl::unexpected(refs.error());
        }
        for (ValueRef ref : *refs) {
            auto v = value(ref);
            if (!v) {
                return tl::unexpected(v.error());
            }
            auto cells = dataCells(*v);
            if (!cells) {
                return tl::unexpected(cells.error());
            }
            d.cells.insert(d.cells.end(), cells->begin(), cells->end());
            d.cells.push_back(ref.cell);
        }
        if (it->valueCount > 0) {
            d.cells.push_back(it->valueList);
        }
        if (it->subkeyCount > 0) {
            auto leaves = subkeyLeaves(it->subkeyList);
            if (!leaves) {
                return tl::unexpected(leaves.error());
            }
            if (leaves->size() != 1 || leaves->front() != it->subkeyList) {
                d.cells.insert(d.cells.end(), leaves->begin(), leaves->end());
            }
            d.cells.push_back(it->subkeyList);
        }
        if (it->classLength > 0 && it->classCell != kNoCell) {
            d.cells.push_back(it->classCell);
        }
        d.cells.push_back(it->ref.cell);
        doomed.push_back(std::move(d));
    }
    for (const Doomed& d : doomed) {
        for (std::uint32_t c : d.cells) {
            release(j, c);
        }
        if (auto ok = releaseSecurity(j, d.security); !ok) {
            return ok;
        }
    }
    return {};
}

Result<void> Hive::deleteKey(KeyRef keyRef) {
    return change<void>([&](ChangeJournal& j) -> Result<void> {
        if (keyRef == root()) {
            return fail("корневой раздел куста удалить нельзя");
        }
        auto node = key(keyRef);
        if (!node) {
            return tl::unexpected(node.error());
        }
        if (auto removed = removeSubkey(j, KeyRef{node->parent}, keyRef); !removed) {
            return removed;
        }
        touch(j, node->parent);
        return deleteTree(j, keyRef);
    });
}

Result<KeyRef> Hive::renameKey(KeyRef keyRef, std::u16string_view newName) {
    return change<KeyRef>([&](ChangeJournal& j) -> Result<KeyRef> {
        if (auto ok = checkKeyName(newName); !ok) {
            return tl::unexpected(ok.error());
        }
        if (keyRef == root()) {
            return fail("корневой раздел куста переименовать нельзя");
        }
        auto node = key(keyRef);
        if (!node) {
            return tl::unexpected(node.error());
        }
        if (node->name == newName) {
            return keyRef;
        }
        const KeyRef parentRef{node->parent};
        auto parent = key(parentRef);
        if (!parent) {
            return tl::unexpected(parent.error());
        }
        auto clash = findSubkey(*parent, newName);
        if (!clash) {
            return tl::unexpected(clash.error());
        }
        if (*clash && !(**clash == keyRef)) {
            return fail("раздел с именем «" + toUtf8(newName) + "» уже есть");
        }
        auto children = subkeys(*node);
        if (!children) {
            return tl::unexpected(children.error());
        }
        if (auto removed = removeSubkey(j, parentRef, keyRef); !removed) {
            return tl::unexpected(removed.error());
        }
        KeyRef renamed = keyRef;
        const auto nameBytes = static_cast<std::uint32_t>(storedNameBytes(newName));
        if (allocator_->capacity(keyRef.cell) < nk::kName + nameBytes) {
            // The key node moves: its children must point at the new cell.
            auto moved = allocate(j, static_cast<std::uint32_t>(nk::kName) + nameBytes);
            if (!moved) {
                return tl::unexpected(moved.error());
            }
            std::memcpy(fieldBytes(j, *moved, 0, nk::kName),
                        image_.data() + BaseBlock::kSize + keyRef.cell + 4, nk::kName);
            release(j, keyRef.cell);
            renamed = KeyRef{*moved};
            for (KeyRef child : *children) {
                putField32(j, child.cell, nk::kParent, renamed.cell);
            }
        }
        std::uint16_t flags = node->flags & static_cast<std::uint16_t>(~nk::kFlagCompressedName);
        if (fitsCompressed(newName)) {
            flags |= nk::kFlagCompressedName;
        }
        putField16(j, renamed.cell, nk::kFlags, flags);
        putField16(j, renamed.cell, nk::kNameLength, static_cast<std::uint16_t>(nameBytes));
        writeName(j, renamed.cell, nk::kName, newName);
        touch(j, renamed.cell);
        if (auto inserted = insertSubkey(j, parentRef, renamed, newName); !inserted) {
            return tl::unexpected(inserted.error());
        }
        growField(j, parentRef.cell, nk::kMaxSubkeyName,
                  static_cast<std::uint32_t>(newName.size() * 2), true);
        touch(j, parentRef.cell);
        return renamed;
    });
}

} // namespace engine::hive
