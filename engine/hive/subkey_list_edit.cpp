// Editing subkey lists as Windows keeps them: every leaf sorted by the
// upper-cased name, `lh` hashes and `lf` hints right for every entry, leaves
// split into an index root (`ri`) when they grow past a page, no empty leaf
// left in an index root, and an emptied list freed.
#include <cstring>
#include <vector>

#include "hive/bytes.h"
#include "hive/cells.h"
#include "hive/hive.h"
#include "hive/names.h"

namespace engine::hive {

namespace {

// About one page per leaf, as Windows splits them.
constexpr std::size_t kMaxLeafBytes = 4048;

std::size_t strideOf(SubkeyListKind kind) {
    return kind == SubkeyListKind::IndexLeaf ? 4 : 8;
}

const char (&signatureOf(SubkeyListKind kind))[3] {
    static constexpr char li[3] = "li";
    static constexpr char lf[3] = "lf";
    static constexpr char lh[3] = "lh";
    static constexpr char ri[3] = "ri";
    switch (kind) {
    case SubkeyListKind::IndexLeaf:
        return li;
    case SubkeyListKind::FastLeaf:
        return lf;
    case SubkeyListKind::HashLeaf:
        return lh;
    case SubkeyListKind::IndexRoot:
        break;
    }
    return ri;
}

} // namespace

SubkeyListKind Hive::newLeafKind() const {
    return header_.minor >= 5 ? SubkeyListKind::HashLeaf : SubkeyListKind::FastLeaf;
}

std::uint32_t Hive::entryFor(SubkeyListKind kind, std::u16string_view name) const {
    return kind == SubkeyListKind::HashLeaf ? nameHash(name) : nameHint(name);
}

Result<std::uint32_t> Hive::newList(ChangeJournal& j, const char (&signature)[3],
                                    std::span<const std::uint8_t> entries, std::size_t stride) {
    const std::size_t count = entries.size() / stride;
    auto list = allocate(j, static_cast<std::uint32_t>(4 + entries.size()));
    if (!list) {
        return tl::unexpected(list.error());
    }
    std::uint8_t* p = fieldBytes(j, *list, 0, 4 + entries.size());
    p[0] = static_cast<std::uint8_t>(signature[0]);
    p[1] = static_cast<std::uint8_t>(signature[1]);
    put16(p + 2, static_cast<std::uint16_t>(count));
    if (!entries.empty()) {
        std::memcpy(p + 4, entries.data(), entries.size());
    }
    return *list;
}

// Inserts into one leaf; returns the leaf or leaves that hold its entries
// afterwards (two when it had to be split).
Result<std::vector<std::uint32_t>> Hive::insertIntoLeaf(ChangeJournal& j, std::uint32_t leaf,
                                                        KeyRef child, std::u16string_view name) {
    auto kind = listKind(leaf);
    if (!kind) {
        return tl::unexpected(kind.error());
    }
    auto entries = leafEntries(leaf);
    if (!entries) {
        return tl::unexpected(entries.error());
    }
    // Where the name belongs, by binary search over the sorted entries.
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
            return failAt("раздел с таким именем уже есть в списке", leaf);
        }
        if (cmp < 0) {
            hi = mid;
        } else {
            lo = mid + 1;
        }
    }
    const std::size_t stride = strideOf(*kind);
    const std::size_t count = entries->size();
    const std::uint8_t* old = image_.data() + BaseBlock::kSize + leaf + 4 + 4;
    std::vector<std::uint8_t> bytes(old, old + count * stride);
    std::uint8_t entry[8];
    put32(entry, child.cell);
    put32(entry + 4, entryFor(*kind, name));
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(lo * stride), entry, entry + stride);

    if (bytes.size() <= kMaxLeafBytes) {
        if (allocator_->capacity(leaf) >= 4 + bytes.size()) {
            std::memcpy(fieldBytes(j, leaf, 4, bytes.size()), bytes.data(), bytes.size());
            putField16(j, leaf, 2, static_cast<std::uint16_t>(count + 1));
            return std::vector<std::uint32_t>{leaf};
        }
        auto moved = newList(j, signatureOf(*kind), bytes, stride);
        if (!moved) {
            return tl::unexpected(moved.error());
        }
        release(j, leaf);
        return std::vector<std::uint32_t>{*moved};
    }
    // Split in two halves.
    const std::size_t half = (count + 1) / 2 * stride;
    auto first = newList(j, signatureOf(*kind), std::span(bytes).first(half), stride);
    if (!first) {
        return tl::unexpected(first.error());
    }
    auto second = newList(j, signatureOf(*kind), std::span(bytes).subspan(half), stride);
    if (!second) {
        return tl::unexpected(second.error());
    }
    release(j, leaf);
    return std::vector<std::uint32_t>{*first, *second};
}

Result<void> Hive::insertSubkey(ChangeJournal& j, KeyRef parentRef, KeyRef child,
                                std::u16string_view name) {
    auto parent = key(parentRef);
    if (!parent) {
        return tl::unexpected(parent.error());
    }
    if (parent->subkeyCount == 0) {
        const SubkeyListKind kind = newLeafKind();
        std::uint8_t entry[8];
        put32(entry, child.cell);
        put32(entry + 4, entryFor(kind, name));
        auto list = newList(j, signatureOf(kind), std::span(entry, strideOf(kind)), strideOf(kind));
        if (!list) {
            return tl::unexpected(list.error());
        }
        putField32(j, parentRef.cell, nk::kSubkeyList, *list);
        putField32(j, parentRef.cell, nk::kSubkeyCount, 1);
        return {};
    }
    auto kind = listKind(parent->subkeyList);
    if (!kind) {
        return tl::unexpected(kind.error());
    }
    std::uint32_t newTop = parent->subkeyList;
    if (*kind != SubkeyListKind::IndexRoot) {
        auto leaves = insertIntoLeaf(j, parent->subkeyList, child, name);
        if (!leaves) {
            return tl::unexpected(leaves.error());
        }
        if (leaves->size() == 1) {
            newTop = leaves->front();
        } else {
            std::vector<std::uint8_t> bytes(leaves->size() * 4);
            for (std::size_t i = 0; i < leaves->size(); ++i) {
                put32(bytes.data() + 4 * i, (*leaves)[i]);
            }
            auto ri = newList(j, "ri", bytes, 4);
            if (!ri) {
                return tl::unexpected(ri.error());
            }
            newTop = *ri;
        }
    } else {
        auto leaves = subkeyLeaves(parent->subkeyList);
        if (!leaves) {
            return tl::unexpected(leaves.error());
        }
        // The first leaf whose last name is not below the new one, else the last.
        std::size_t target = leaves->size() - 1;
        for (std::size_t lo = 0, hi = leaves->size(); lo < hi;) {
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
                target = mid;
                hi = mid;
            } else {
                lo = mid + 1;
            }
        }
        auto replaced = insertIntoLeaf(j, (*leaves)[target], child, name);
        if (!replaced) {
            return tl::unexpected(replaced.error());
        }
        std::vector<std::uint32_t> updated(leaves->begin(),
                                           leaves->begin() + static_cast<std::ptrdiff_t>(target));
        updated.insert(updated.end(), replaced->begin(), replaced->end());
        updated.insert(updated.end(), leaves->begin() + static_cast<std::ptrdiff_t>(target + 1),
                       leaves->end());
        if (updated.size() > 0xFFFF) {
            return failAt("слишком много листов в индексе ri", parent->subkeyList);
        }
        std::vector<std::uint8_t> bytes(updated.size() * 4);
        for (std::size_t i = 0; i < updated.size(); ++i) {
            put32(bytes.data() + 4 * i, updated[i]);
        }
        if (allocator_->capacity(parent->subkeyList) >= 4 + bytes.size()) {
            std::memcpy(fieldBytes(j, parent->subkeyList, 4, bytes.size()), bytes.data(),
                        bytes.size());
            putField16(j, parent->subkeyList, 2, static_cast<std::uint16_t>(updated.size()));
        } else {
            auto ri = newList(j, "ri", bytes, 4);
            if (!ri) {
                return tl::unexpected(ri.error());
            }
            release(j, parent->subkeyList);
            newTop = *ri;
        }
    }
    putField32(j, parentRef.cell, nk::kSubkeyList, newTop);
    putField32(j, parentRef.cell, nk::kSubkeyCount, parent->subkeyCount + 1);
    return {};
}

Result<void> Hive::removeSubkey(ChangeJournal& j, KeyRef parentRef, KeyRef child) {
    auto parent = key(parentRef);
    if (!parent) {
        return tl::unexpected(parent.error());
    }
    if (parent->subkeyCount == 0) {
        return failAt("раздела нет в списке подразделов родителя", child.cell);
    }
    auto leaves = subkeyLeaves(parent->subkeyList);
    if (!leaves) {
        return tl::unexpected(leaves.error());
    }
    const bool inRoot = !(leaves->size() == 1 && leaves->front() == parent->subkeyList);
    for (std::size_t l = 0; l < leaves->size(); ++l) {
        const std::uint32_t leaf = (*leaves)[l];
        auto entries = leafEntries(leaf);
        if (!entries) {
            return tl::unexpected(entries.error());
        }
        std::size_t index = 0;
        while (index < entries->size() && (*entries)[index] != child.cell) {
            ++index;
        }
        if (index == entries->size()) {
            continue;
        }
        const std::size_t stride = strideOf(*listKind(leaf));
        const std::size_t count = entries->size();
        putField32(j, parentRef.cell, nk::kSubkeyCount, parent->subkeyCount - 1);
        if (count > 1) {
            const std::size_t tail = (count - 1 - index) * stride;
            if (tail > 0) {
                std::vector<std::uint8_t> rest(tail);
                std::memcpy(rest.data(),
                            image_.data() + BaseBlock::kSize + leaf + 4 + 4 + (index + 1) * stride,
                            tail);
                std::memcpy(fieldBytes(j, leaf, 4 + index * stride, tail), rest.data(), tail);
            }
            putField16(j, leaf, 2, static_cast<std::uint16_t>(count - 1));
            return {};
        }
        // The leaf empties: it goes, and so does an index root left empty.
        release(j, leaf);
        if (!inRoot || leaves->size() == 1) {
            if (inRoot) {
                release(j, parent->subkeyList);
            }
            putField32(j, parentRef.cell, nk::kSubkeyList, kNoCell);
            return {};
        }
        for (std::size_t i = l; i + 1 < leaves->size(); ++i) {
            putField32(j, parent->subkeyList, 4 + 4 * i, (*leaves)[i + 1]);
        }
        putField16(j, parent->subkeyList, 2, static_cast<std::uint16_t>(leaves->size() - 1));
        return {};
    }
    return failAt("раздела нет в списке подразделов родителя", child.cell);
}

} // namespace engine::hive
