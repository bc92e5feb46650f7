// Changes in the cases where the one library that writes hives was measured
// damaging them, each checked by our own validation and by the independent
// readers (hivex, regfexport, reglookup) of the file we write.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hive/bytes.h"
#include "hive/cells.h"
#include "hive/dump.h"
#include "hive/hive.h"
#include "hive/names.h"
#include "hive/validate.h"
#include "hive/value_text.h"
#include "support/independent_readers.h"
#include "support/test_files.h"

namespace engine::hive {
namespace {

std::string engineDump(const Hive& hive) {
    std::string text;
    auto done = dumpHive(hive, "", [&](std::string_view line) {
        text += line;
        text += '\n';
    });
    EXPECT_TRUE(done) << done.error().describe();
    return text;
}

// Saves the changed hive to a new file and checks that file: our validation
// accepts it, and the independent readers read exactly what our reader reads.
void saveAndCrossCheck(const Hive& hive, const test::TempDir& dir, const std::string& name) {
    const auto file = dir / name;
    auto saved = hive.saveAs(file);
    ASSERT_TRUE(saved) << saved.error().describe();
    auto reopened = Hive::open(file);
    ASSERT_TRUE(reopened) << reopened.error().describe();
    const Validation v = validateHive(*reopened);
    ASSERT_TRUE(v.canChange()) << (v.firstBlocking() ? v.firstBlocking()->describe() : "");
    const std::string ours = engineDump(*reopened);
    EXPECT_EQ(ours, engineDump(hive));
    EXPECT_TRUE(test::independentReadersAgree(file));
}

Hive openCopy(const test::TempDir& dir, const std::string& relative) {
    auto hive = Hive::open(test::copyTestFile(relative, dir.path()));
    EXPECT_TRUE(hive) << hive.error().describe();
    return std::move(*hive);
}

KeyRef keyAt(const Hive& hive, const std::string& path) {
    auto ref = hive.findKey(path);
    EXPECT_TRUE(ref && *ref) << path;
    return **ref;
}

TEST(HiveEdit, DeletesOneSubkeyUnderAnIndexRoot) {
    test::TempDir dir;
    Hive hive = openCopy(dir, "hives/windows-written/ManySubkeysHive");
    const KeyRef parent = keyAt(hive, "key_with_many_subkeys");
    const std::uint32_t before = hive.key(parent)->subkeyCount;

    ASSERT_TRUE(hive.deleteKey(keyAt(hive, "key_with_many_subkeys\\2500")));

    EXPECT_EQ(hive.key(parent)->subkeyCount, before - 1);
    EXPECT_FALSE(*hive.findKey("key_with_many_subkeys\\2500"));
    EXPECT_TRUE(*hive.findKey("key_with_many_subkeys\\2501"));
    saveAndCrossCheck(hive, dir, "out");
}

TEST(HiveEdit, DeletingAWholeLeafOfAnIndexRootDropsTheLeaf) {
    test::TempDir dir;
    Hive hive = openCopy(dir, "hives/windows-written/ManySubkeysHive");
    const KeyRef parent = keyAt(hive, "key_with_many_subkeys");
    const auto leaves = *hive.subkeyLeaves(hive.key(parent)->subkeyList);
    ASSERT_GT(leaves.size(), 2u);

    // Every key of the second leaf, by name, as a person would delete them.
    std::vector<std::u16string> names;
    {
        auto node = *hive.key(parent);
        auto all = *hive.subkeys(node);
        const auto firstLeafCount = le16(hive.cell(leaves[0])->data() + 2);
        const auto secondLeafCount = le16(hive.cell(leaves[1])->data() + 2);
        for (std::size_t i = firstLeafCount; i < firstLeafCount + secondLeafCount; ++i) {
            names.push_back(hive.key(all[i])->name);
        }
    }
    for (const auto& name : names) {
        auto child = hive.findSubkey(*hive.key(parent), name);
        ASSERT_TRUE(child && *child);
        ASSERT_TRUE(hive.deleteKey(**child)) << toUtf8(name);
    }

    const auto after = *hive.subkeyLeaves(hive.key(parent)->subkeyList);
    EXPECT_EQ(after.size(), leaves.size() - 1);
    for (std::uint32_t leaf : after) {
        EXPECT_GT(le16(hive.cell(leaf)->data() + 2), 0) << "empty leaf left in the index root";
    }
    for (const auto& name : names) {
        EXPECT_FALSE(*hive.findSubkey(*hive.key(parent), name));
    }
    saveAndCrossCheck(hive, dir, "out");
}

TEST(HiveEdit, BigDataValuesStayBigWhenANeighbourChanges) {
    test::TempDir dir;
    Hive hive = openCopy(dir, "hives/windows-written/BigDataHive");
    const KeyRef k = keyAt(hive, "key_with_bigdata");
    const std::string before = engineDump(hive);

    const auto small = encodeStringData(u"рядом");
    ASSERT_TRUE(hive.setValue(k, u"neighbour", kRegSz, small));

    const auto refs = *hive.values(*hive.key(k));
    for (ValueRef ref : refs) {
        const ValueNode v = *hive.value(ref);
        if (v.dataSize > kBigDataSegment) {
            auto cell = hive.cell(v.dataCell);
            ASSERT_TRUE(cell);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(cell->data()), 2), "db")
                << toUtf8(v.name) << " is no longer big data";
        }
    }
    // Only the new value was added.
    std::string expected = before;
    const std::string marker = "[key_with_bigdata]\n";
    auto pos = expected.find(marker);
    ASSERT_NE(pos, std::string::npos);
    pos = expected.find('\n', expected.find("\"v\" = ", pos)) + 1;
    expected.insert(pos, "\"neighbour\" = REG_SZ \"рядом\"\n");
    EXPECT_EQ(engineDump(hive), expected);
    saveAndCrossCheck(hive, dir, "out");
}

// The subkey-list hash of the documented formula, with the upper case taken
// from Python's Unicode tables, not from ours.
std::uint32_t independentHash(const std::string& utf8Name) {
    auto r = test::runCommand(
        "/usr/bin/python3 -c 'import sys\nh=0\nfor c in sys.argv[1].upper().encode(\"utf-16-le\")"
        "[::2]: pass\nu=sys.argv[1].upper().encode(\"utf-16-le\")\nfor i in range(0,len(u),2): "
        "h=(h*37+u[i]+256*u[i+1])&0xffffffff\nprint(h)' " +
        test::shellQuote(utf8Name));
    EXPECT_EQ(r.status, 0) << r.output;
    return static_cast<std::uint32_t>(std::stoul(r.output));
}

TEST(HiveEdit, NewKeysAmongSiblingsKeepTheListSortedWithRightHashes) {
    const std::vector<std::string> added = {"Тест", "Café", "AutorunsDisabled"};
    for (const char* relative :
         {"hives/windows-written/BigDataHive", "hives/xp-ntuser.dat"}) { // lh (1.5) and lf (1.3)
        test::TempDir dir;
        Hive hive = openCopy(dir, relative);
        for (const auto& name : added) {
            ASSERT_TRUE(hive.createKey(hive.root(), *fromUtf8(name)));
        }
        const KeyNode root = *hive.key(hive.root());
        const std::uint32_t list = root.subkeyList;
        const auto kind = *hive.listKind(list);
        ASSERT_NE(kind, SubkeyListKind::IndexRoot);
        const auto data = *hive.cell(list);
        const std::size_t count = le16(data.data() + 2);
        ASSERT_EQ(count, root.subkeyCount);
        std::vector<std::string> names;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* entry = data.data() + 4 + 8 * i;
            const std::string name = toUtf8(hive.key(KeyRef{le32(entry)})->name);
            names.push_back(name);
            if (kind == SubkeyListKind::HashLeaf) {
                EXPECT_EQ(le32(entry + 4), independentHash(name)) << name;
            }
        }
        for (const auto& name : added) {
            EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
        }
        // Sorted by upper case, as Python upper-cases: shorter prefix first.
        std::string joined;
        for (const auto& n : names) {
            joined += n + "\n";
        }
        auto sorted = test::runCommand(
            "printf %s " + test::shellQuote(joined) +
            " | /usr/bin/python3 -c 'import sys\nn=sys.stdin.read().split(\"\\n\")[:-1]\n"
            "print(\"\\n\".join(sorted(n,key=lambda s:s.upper().encode(\"utf-16-be\"))))'");
        EXPECT_EQ(sorted.output, joined) << relative;
        saveAndCrossCheck(hive, dir, "out");
    }
}

// Finds a value's cell offset in the file we wrote.
std::uint32_t valueCell(const Hive& hive, const std::string& key, const std::u16string& name) {
    return (**hive.findValue(*hive.key(keyAt(hive, key)), name)).cell;
}

TEST(HiveEdit, ValueOfSizeZeroWithoutADataCellIsReadReplacedAndDeleted) {
    test::TempDir dir;
    const auto file = dir / "zero";
    {
        Hive hive = openCopy(dir, "hives/windows-written/BigDataHive");
        ASSERT_TRUE(hive.setValue(keyAt(hive, "key_with_bigdata"), u"Empty", kRegBinary, {}));
        ASSERT_TRUE(hive.saveAs(file));
        // As some writers leave it: size 0 and no data cell at all.
        const std::uint32_t vkCell = valueCell(hive, "key_with_bigdata", u"Empty");
        std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
        std::uint8_t fields[8];
        put32(fields, 0);
        put32(fields + 4, kNoCell);
        f.seekp(static_cast<std::streamoff>(BaseBlock::kSize + vkCell + 4 + vk::kDataSize));
        f.write(reinterpret_cast<const char*>(fields), sizeof fields);
    }
    auto hive = Hive::open(file);
    ASSERT_TRUE(hive);
    const KeyRef k = keyAt(*hive, "key_with_bigdata");
    auto v = hive->value(**hive->findValue(*hive->key(k), u"Empty"));
    ASSERT_TRUE(v);
    EXPECT_EQ(v->dataCell, kNoCell);
    EXPECT_TRUE(hive->valueData(*v)->empty());
    EXPECT_TRUE(validateHive(*hive).canChange());

    ASSERT_TRUE(hive->setValue(k, u"Empty", kRegSz, encodeStringData(u"теперь не пусто")));
    saveAndCrossCheck(*hive, dir, "replaced");
    ASSERT_TRUE(hive->deleteValue(k, u"EMPTY").value());
    EXPECT_FALSE(*hive->findValue(*hive->key(k), u"Empty"));
    saveAndCrossCheck(*hive, dir, "deleted");
}

TEST(HiveEdit, RefusesToChangeDamagedOrDirtyHivesAndWritesNothing) {
    for (const char* relative : {"hives/corrupt/TruncatedHive", "hives/corrupt/WrongOrderHive",
                                 "hives/corrupt/BadListHive", "hives/dirty-new/NewDirtyHive"}) {
        test::TempDir dir;
        const auto file = test::copyTestFile(relative, dir.path());
        const auto bytes = test::readFile(file);
        auto hive = Hive::open(file);
        ASSERT_TRUE(hive) << relative;
        auto set = hive->setValue(hive->root(), u"x", kRegDword, std::vector<std::uint8_t>(4));
        ASSERT_FALSE(set) << relative;
        EXPECT_FALSE(set.error().message.empty());
        EXPECT_FALSE(hive->createKey(hive->root(), u"y")) << relative;
        EXPECT_FALSE(hive->changed()) << relative;
        EXPECT_EQ(test::readFile(file), bytes) << relative;
    }
}

TEST(HiveEdit, AChangeThatFailsHalfWayLeavesTheHiveExactlyAsItWas) {
    test::TempDir dir;
    Hive hive = openCopy(dir, "hives/xp-ntuser.dat");
    const std::string before = engineDump(hive);
    // Two keys are created before the third name turns out to be too long.
    auto made = hive.createKeyPath("Software\\Новый\\Второй\\" + std::string(300, 'x'));
    ASSERT_FALSE(made);
    EXPECT_EQ(engineDump(hive), before);
    EXPECT_FALSE(hive.changed());
    // The free-space bookkeeping came back too: later changes are sound.
    ASSERT_TRUE(hive.createKeyPath("Software\\Новый\\Второй"));
    ASSERT_TRUE(
        hive.setValue(keyAt(hive, "Software\\Новый"), u"v", kRegSz, encodeStringData(u"значение")));
    saveAndCrossCheck(hive, dir, "out");
}

} // namespace
} // namespace engine::hive
