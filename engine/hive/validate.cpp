#include "hive/validate.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include <fmt/format.h>

#include "hive/bytes.h"
#include "hive/cells.h"
#include "hive/names.h"

namespace engine::hive {

std::string Finding::describe() const {
    std::string text = blocking ? "Ошибка: " : "Замечание: ";
    text += message;
    if (cell) {
        text += fmt::format(" (ячейка 0x{:x})", *cell);
    }
    return text;
}

bool Validation::canChange() const {
    return firstBlocking() == nullptr;
}

const Finding* Validation::firstBlocking() const {
    for (const auto& f : findings) {
        if (f.blocking) {
            return &f;
        }
    }
    return nullptr;
}

namespace {

constexpr std::size_t kMaxFindings = 200;

class Checker {
public:
    explicit Checker(const Hive& hive)
        : hive_(hive) {}

    Validation run() {
        if (checkBaseBlock() && checkBins()) {
            checkTree();
            checkSecurity();
            checkUnreferenced();
        }
        if (dropped_ > 0) {
            result_.findings.push_back(
                {false, std::nullopt, fmt::format("и ещё {} сообщений не показано", dropped_)});
        }
        return std::move(result_);
    }

private:
    // What the check knows of every cell, one bit per 8-byte slot of the
    // hive bins (cells are 8-byte aligned): where a cell starts, whether it is
    // allocated, whether a reference claimed it. A few bits per cell keep the
    // check's memory a small fraction of the hive.
    class CellMap {
    public:
        void reset(std::uint32_t binsSize) {
            const std::size_t words = (binsSize / 8 + 63) / 64;
            start_.assign(words, 0);
            allocated_.assign(words, 0);
            claimed_.assign(words, 0);
        }
        void add(std::uint32_t offset, bool allocated) {
            set(start_, offset);
            if (allocated) {
                set(allocated_, offset);
            }
        }
        bool isStart(std::uint32_t offset) const {
            return offset % 8 == 0 && offset / 8 < start_.size() * 64 && test(start_, offset);
        }
        bool isAllocated(std::uint32_t offset) const { return test(allocated_, offset); }
        bool isClaimed(std::uint32_t offset) const { return test(claimed_, offset); }
        void claim(std::uint32_t offset) { set(claimed_, offset); }
        // Offsets of allocated cells no reference claimed, in file order.
        template <class F>
        void forEachUnclaimed(F&& f) const {
            for (std::size_t w = 0; w < allocated_.size(); ++w) {
                std::uint64_t bits = allocated_[w] & ~claimed_[w];
                while (bits != 0) {
                    const int bit = __builtin_ctzll(bits);
                    bits &= bits - 1;
                    f(static_cast<std::uint32_t>((w * 64 + static_cast<std::size_t>(bit)) * 8));
                }
            }
        }

    private:
        static void set(std::vector<std::uint64_t>& bits, std::uint32_t offset) {
            bits[offset / 8 / 64] |= std::uint64_t{1} << (offset / 8 % 64);
        }
        static bool test(const std::vector<std::uint64_t>& bits, std::uint32_t offset) {
            return (bits[offset / 8 / 64] >> (offset / 8 % 64)) & 1;
        }
        std::vector<std::uint64_t> start_;
        std::vector<std::uint64_t> allocated_;
        std::vector<std::uint64_t> claimed_;
    };

    void report(bool blocking, std::optional<std::uint32_t> cell, std::string message) {
        if (result_.findings.size() >= kMaxFindings) {
            ++dropped_;
            if (blocking && !blockingSeen_) {
                // Never let the cap hide that the hive is refused.
                result_.findings.push_back({true, cell, std::move(message)});
            }
        } else {
            result_.findings.push_back({blocking, cell, std::move(message)});
        }
        blockingSeen_ = blockingSeen_ || blocking;
    }
    void fault(std::optional<std::uint32_t> cell, std::string message) {
        report(true, cell, std::move(message));
    }
    void remark(std::optional<std::uint32_t> cell, std::string message) {
        report(false, cell, std::move(message));
    }
    void fault(const Error& e) {
        fault(e.offset ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(*e.offset))
                       : std::nullopt,
              e.message);
    }

    bool checkBaseBlock() {
        const BaseBlock& b = hive_.baseBlock();
        bool ok = true;
        if (b.major != 1 || b.minor < 3 || b.minor > 6) {
            fault(std::nullopt, fmt::format("неизвестная версия формата {}.{}", b.major, b.minor));
            ok = false;
        }
        if (b.fileType != BaseBlock::kFileTypePrimary) {
            fault(std::nullopt, fmt::format("файл не основной файл куста (тип {})", b.fileType));
            ok = false;
        }
        if (b.fileFormat != 1) {
            fault(std::nullopt, fmt::format("неизвестный формат файла {}", b.fileFormat));
            ok = false;
        }
        if (!b.checksumValid) {
            fault(std::nullopt, "контрольная сумма заголовка неверна: куст «грязный», его "
                                "изменения остались в журналах транзакций");
        } else if (b.primarySequence != b.secondarySequence) {
            fault(std::nullopt,
                  fmt::format("номера последовательности различны ({} и {}): куст «грязный», его "
                              "изменения остались в журналах транзакций",
                              b.primarySequence, b.secondarySequence));
        }
        if ((b.flags & BaseBlock::kFlagPendingTransactions) != 0) {
            fault(std::nullopt, "в кусте есть незавершённые транзакции");
        }
        if (b.binsSize == 0 || b.binsSize % HiveImage::kPageSize != 0) {
            fault(std::nullopt, fmt::format("размер данных куста {} не кратен 4096", b.binsSize));
            ok = false;
        } else if (std::uint64_t{b.binsSize} + BaseBlock::kSize > hive_.image().size()) {
            fault(std::nullopt,
                  fmt::format("файл обрезан: заголовок говорит о {} байтах данных, в файле {}",
                              b.binsSize, hive_.image().size() - BaseBlock::kSize));
            ok = false;
        }
        return ok;
    }

    bool checkBins() {
        const std::uint8_t* base = hive_.image().data() + BaseBlock::kSize;
        const std::uint32_t total = hive_.binsSize();
        cells_.reset(total);
        std::uint32_t pos = 0;
        while (pos < total) {
            if (total - pos < kBinHeaderSize || std::memcmp(base + pos, "hbin", 4) != 0) {
                fault(pos, "нет подписи hbin в начале блока");
                return false;
            }
            const std::uint32_t binOffset = le32(base + pos + 4);
            const std::uint32_t binSize = le32(base + pos + 8);
            if (binOffset != pos) {
                fault(pos, fmt::format("блок hbin называет своё смещение 0x{:x}", binOffset));
                return false;
            }
            if (binSize < HiveImage::kPageSize || binSize % HiveImage::kPageSize != 0 ||
                binSize > total - pos) {
                fault(pos, fmt::format("неверный размер блока hbin: {}", binSize));
                return false;
            }
            std::uint32_t c = pos + kBinHeaderSize;
            const std::uint32_t end = pos + binSize;
            while (c < end) {
                if (end - c < 4) {
                    fault(c, "ячейки не заполняют блок hbin");
                    return false;
                }
                const auto raw = static_cast<std::int32_t>(le32(base + c));
                const std::int64_t size = raw < 0 ? -static_cast<std::int64_t>(raw) : raw;
                if (size < 8 || size % 8 != 0 || size > end - c) {
                    fault(c, fmt::format("неверный размер ячейки: {}", raw));
                    return false;
                }
                cells_.add(c, raw < 0);
                c += static_cast<std::uint32_t>(size);
            }
            pos = end;
        }
        return true;
    }

    // Claims a referenced cell for one use; false (with a finding) when it is
    // not the start of an allocated cell or already claimed.
    bool claim(std::uint32_t offset, const char* what) {
        if (!cells_.isStart(offset)) {
            fault(offset, fmt::format("{}: ссылка не на начало ячейки", what));
            return false;
        }
        if (!cells_.isAllocated(offset)) {
            fault(offset, fmt::format("{}: ссылка на свободную ячейку", what));
            return false;
        }
        if (cells_.isClaimed(offset)) {
            fault(offset, fmt::format("{}: на ячейку ссылаются дважды", what));
            return false;
        }
        cells_.claim(offset);
        return true;
    }

    void checkTree() {
        struct Pending {
            std::uint32_t cell;
            std::uint32_t parent;
        };
        const std::uint32_t rootCell = hive_.baseBlock().rootCell;
        std::vector<Pending> stack{{rootCell, kNoCell}};
        while (!stack.empty()) {
            const Pending item = stack.back();
            stack.pop_back();
            if (!claim(item.cell, "раздел")) {
                continue;
            }
            auto node = hive_.key(KeyRef{item.cell});
            if (!node) {
                fault(node.error());
                continue;
            }
            ++result_.keys;
            if (item.parent != kNoCell && node->parent != item.parent) {
                fault(item.cell, fmt::format("раздел ссылается на родителя 0x{:x}, а не на 0x{:x}",
                                             node->parent, item.parent));
            }
            if (item.parent == kNoCell && (node->flags & nk::kFlagHiveEntry) == 0) {
                remark(item.cell, "у корневого раздела нет признака корня");
            }
            if (item.parent != kNoCell && node->name.empty()) {
                remark(item.cell, "раздел без имени");
            }
            securityRefs_[node->security] += 1;
            checkClass(*node);
            checkValues(*node);
            for (std::uint32_t child : checkSubkeys(*node)) {
                stack.push_back({child, item.cell});
            }
        }
    }

    void checkClass(const KeyNode& node) {
        if (node.classLength == 0 || node.classCell == kNoCell) {
            return;
        }
        if (claim(node.classCell, "имя класса")) {
            if (auto name = hive_.className(node); !name) {
                fault(name.error());
            }
        }
    }

    std::vector<std::uint32_t> checkSubkeys(const KeyNode& node) {
        std::vector<std::uint32_t> children;
        if (node.subkeyCount == 0) {
            if (node.subkeyList != kNoCell) {
                remark(node.ref.cell, "у раздела без подразделов остался указатель на список");
            }
            return children;
        }
        if (!claim(node.subkeyList, "список подразделов")) {
            return children;
        }
        auto kind = hive_.listKind(node.subkeyList);
        if (!kind) {
            fault(kind.error());
            return children;
        }
        std::vector<std::uint32_t> leaves{node.subkeyList};
        if (*kind == SubkeyListKind::IndexRoot) {
            auto l = hive_.subkeyLeaves(node.subkeyList);
            if (!l) {
                fault(l.error());
                return children;
            }
            leaves = std::move(*l);
            for (std::uint32_t leaf : leaves) {
                if (!claim(leaf, "лист списка подразделов")) {
                    return children;
                }
            }
        }
        std::u16string previous;
        for (std::uint32_t leaf : leaves) {
            auto leafKind = hive_.listKind(leaf);
            if (!leafKind) {
                fault(leafKind.error());
                return {};
            }
            if (*leafKind == SubkeyListKind::IndexRoot) {
                fault(leaf, "индекс ri ссылается на другой индекс ri");
                return {};
            }
            const auto data = *hive_.cell(leaf);
            const std::size_t count = data.size() >= 4 ? le16(data.data() + 2) : 0;
            const std::size_t stride = *leafKind == SubkeyListKind::IndexLeaf ? 4 : 8;
            if (data.size() < 4 + count * stride) {
                fault(leaf, "список подразделов короче своего счётчика");
                return {};
            }
            if (count == 0 && leaves.size() > 1) {
                fault(leaf, "пустой лист в индексе ri");
            }
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint8_t* entry = data.data() + 4 + i * stride;
                const std::uint32_t child = le32(entry);
                auto childNode = hive_.key(KeyRef{child});
                if (!childNode) {
                    fault(childNode.error());
                    return {};
                }
                if (!children.empty() && compareNames(previous, childNode->name) >= 0) {
                    fault(leaf, fmt::format("подразделы не по порядку: «{}» после «{}»",
                                            toUtf8(childNode->name), toUtf8(previous)));
                }
                if (*leafKind == SubkeyListKind::HashLeaf &&
                    le32(entry + 4) != nameHash(childNode->name)) {
                    fault(leaf, fmt::format("неверный хеш имени «{}» в списке lh",
                                            toUtf8(childNode->name)));
                }
                if (*leafKind == SubkeyListKind::FastLeaf &&
                    le32(entry + 4) != nameHint(childNode->name)) {
                    remark(leaf, fmt::format("подсказка имени «{}» в списке lf не совпадает",
                                             toUtf8(childNode->name)));
                }
                previous = std::move(childNode->name);
                children.push_back(child);
            }
        }
        if (children.size() != node.subkeyCount) {
            fault(node.ref.cell, fmt::format("у раздела {} подразделов, а в списке {}",
                                             node.subkeyCount, children.size()));
        }
        return children;
    }

    void checkValues(const KeyNode& node) {
        if (node.valueCount == 0) {
            return;
        }
        if (!claim(node.valueList, "список параметров")) {
            return;
        }
        auto refs = hive_.values(node);
        if (!refs) {
            fault(refs.error());
            return;
        }
        std::vector<std::u16string> names;
        for (ValueRef ref : *refs) {
            if (!claim(ref.cell, "параметр")) {
                continue;
            }
            auto v = hive_.value(ref);
            if (!v) {
                fault(v.error());
                continue;
            }
            ++result_.values;
            for (const auto& n : names) {
                if (namesEqual(n, v->name)) {
                    remark(ref.cell, fmt::format("два параметра с именем «{}»", toUtf8(v->name)));
                }
            }
            names.push_back(v->name);
            checkValueData(*v);
        }
    }

    void checkValueData(const ValueNode& v) {
        if (v.dataInline || v.dataSize == 0) {
            if (v.dataInline && v.dataSize > 4) {
                fault(v.ref.cell, "встроенные данные параметра длиннее 4 байт");
            }
            return;
        }
        if (!claim(v.dataCell, "данные параметра")) {
            return;
        }
        if (hive_.baseBlock().hasBigData() && v.dataSize > kBigDataSegment) {
            const auto db = *hive_.cell(v.dataCell);
            if (db.size() >= 8 && db[0] == 'd' && db[1] == 'b') {
                const std::uint32_t list = le32(db.data() + db::kSegmentList);
                const std::size_t count = le16(db.data() + db::kSegmentCount);
                if (claim(list, "список сегментов больших данных")) {
                    const auto listData = *hive_.cell(list);
                    if (listData.size() < count * 4) {
                        fault(list, "список сегментов короче их числа");
                        return;
                    }
                    for (std::size_t i = 0; i < count; ++i) {
                        if (!claim(le32(listData.data() + 4 * i), "сегмент данных")) {
                            return;
                        }
                    }
                }
            }
        }
        if (hive_.baseBlock().hasBigData() && v.dataSize > kBigDataSegment) {
            if (auto data = hive_.valueData(v); !data) {
                fault(data.error());
            }
        } else if (auto data = hive_.cell(v.dataCell); !data) {
            fault(data.error());
        } else if (data->size() < v.dataSize) {
            fault(v.dataCell, "ячейка данных короче размера параметра");
        }
    }

    void checkSecurity() {
        for (const auto& [offset, references] : securityRefs_) {
            if (!cells_.isStart(offset) || !cells_.isAllocated(offset)) {
                fault(offset, "ссылка на дескриптор безопасности не на занятую ячейку");
                continue;
            }
            cells_.claim(offset);
            auto data = hive_.cell(offset);
            if (!data || data->size() < sk::kDescriptor || (*data)[0] != 's' || (*data)[1] != 'k') {
                fault(offset, "ячейка не является дескриптором безопасности (sk)");
                continue;
            }
            const std::uint32_t refCount = le32(data->data() + sk::kRefCount);
            if (refCount < references) {
                fault(offset, fmt::format("счётчик ссылок дескриптора {} меньше числа разделов {}",
                                          refCount, references));
            } else if (refCount > references) {
                remark(offset, fmt::format("счётчик ссылок дескриптора {} больше числа разделов {}",
                                           refCount, references));
            }
            if (le32(data->data() + sk::kDescriptorSize) > data->size() - sk::kDescriptor) {
                fault(offset, "дескриптор безопасности выходит за пределы ячейки");
            }
            // Its neighbours in the list of security cells must point back.
            const std::uint32_t flink = le32(data->data() + sk::kFlink);
            const std::uint32_t blink = le32(data->data() + sk::kBlink);
            auto next = hive_.cell(flink);
            auto prev = hive_.cell(blink);
            if (!next || !prev || next->size() < sk::kDescriptor ||
                prev->size() < sk::kDescriptor || le32(next->data() + sk::kBlink) != offset ||
                le32(prev->data() + sk::kFlink) != offset) {
                fault(offset, "список дескрипторов безопасности разорван");
            }
        }
    }

    void checkUnreferenced() {
        std::size_t count = 0;
        std::uint64_t bytes = 0;
        cells_.forEachUnclaimed([&](std::uint32_t offset) {
            // Security cells that no key uses still sit in their list.
            auto data = hive_.cell(offset);
            if (data && data->size() >= 2 && (*data)[0] == 's' && (*data)[1] == 'k') {
                return;
            }
            ++count;
            bytes += data ? data->size() + 4 : 0;
        });
        if (count > 0) {
            remark(std::nullopt,
                   fmt::format("занятых ячеек без ссылок: {} ({} байт)", count, bytes));
        }
    }

    const Hive& hive_;
    Validation result_;
    CellMap cells_;
    std::unordered_map<std::uint32_t, std::uint32_t> securityRefs_;
    std::size_t dropped_ = 0;
    bool blockingSeen_ = false;
};

} // namespace

Validation validateHive(const Hive& hive) {
    return Checker(hive).run();
}

} // namespace engine::hive
