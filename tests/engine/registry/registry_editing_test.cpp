// The registry editor's engine side: how values are shown and how edited text
// becomes data (tables of cases), and the editor's changes over a SOFTWARE
// hive mounted from a fixture disk, read back through the engine and, after
// the unmount, from the file by the independent readers.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "context/context.h"
#include "hive/hive.h"
#include "registry/hive_mounting.h"
#include "registry/registry_editing.h"
#include "support/hive_dump_diff.h"
#include "support/independent_readers.h"
#include "support/target_tree.h"

namespace engine::registry {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Strings = std::vector<std::string>;

Bytes utf16z(std::u16string_view text) {
    Bytes bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

TEST(RegistryEditingText, TypeNamesAsTheEditorShowsThem) {
    const std::vector<std::pair<std::uint32_t, std::string>> cases = {
        {hive::kRegNone, "REG_NONE"},
        {hive::kRegSz, "REG_SZ"},
        {hive::kRegExpandSz, "REG_EXPAND_SZ"},
        {hive::kRegBinary, "REG_BINARY"},
        {hive::kRegDword, "REG_DWORD"},
        {hive::kRegMultiSz, "REG_MULTI_SZ"},
        {hive::kRegQword, "REG_QWORD"},
        {5, "0x5"},
        {0x20, "0x20"},
    };
    for (const auto& [type, name] : cases) {
        EXPECT_EQ(editorTypeName(type), name) << type;
    }
}

TEST(RegistryEditingText, DataAsTheListShowsIt) {
    struct Case {
        std::uint32_t type;
        Bytes data;
        std::string shown;
    };
    const std::vector<Case> cases = {
        {hive::kRegSz, utf16z(u"Explorer.exe"), "Explorer.exe"},
        {hive::kRegExpandSz, utf16z(u"%SystemRoot%\\system32"), "%SystemRoot%\\system32"},
        {hive::kRegSz, utf16z(u"Проводник"), "Проводник"},
        // Text ends at its first NUL; a string without any is shown whole.
        {hive::kRegSz, {'a', 0, 0, 0, 'b', 0, 0, 0}, "a"},
        {hive::kRegSz, {'a', 0, 'b', 0}, "ab"},
        {hive::kRegSz, {}, ""},
        {hive::kRegMultiSz, {'a', 0, 0, 0, 'b', 0, 'c', 0, 0, 0, 0, 0}, "a bc"},
        {hive::kRegMultiSz, {0, 0}, ""},
        {hive::kRegDword, {1, 0, 0, 0}, "0x00000001 (1)"},
        {hive::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}, "0xffffffff (4294967295)"},
        {hive::kRegQword, {0x2A, 0, 0, 0, 0, 0, 0, 0}, "0x000000000000002a (42)"},
        // Data that does not fit its type, and other types: hex bytes.
        {hive::kRegDword, {1, 2, 3}, "01 02 03"},
        {hive::kRegQword, {1, 0, 0, 0}, "01 00 00 00"},
        {hive::kRegBinary, {0x01, 0xAB, 0xFF}, "01 ab ff"},
        {hive::kRegNone, {0x00}, "00"},
        {hive::kRegBinary, {}, "(двоичное значение нулевой длины)"},
        {hive::kRegDword, {}, "(двоичное значение нулевой длины)"},
        {0x20, {0x10}, "10"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(valueDataText(c.type, c.data), c.shown) << editorTypeName(c.type);
    }
}

// What the edit dialog starts with, and that taking it back unchanged gives
// the same bytes.
TEST(RegistryEditingText, EditTextOfWellFormedDataGivesTheSameBytesBack) {
    struct Case {
        std::uint32_t type;
        Bytes data;
        std::string text;
    };
    const std::vector<Case> cases = {
        {hive::kRegSz, utf16z(u"C:\\Windows\\explorer.exe"), "C:\\Windows\\explorer.exe"},
        {hive::kRegExpandSz, utf16z(u""), ""},
        {hive::kRegMultiSz, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}, "a\nb"},
        {hive::kRegDword, {0x2A, 0, 0, 0}, "0x0000002a"},
        {hive::kRegQword, {0, 0, 0, 0, 1, 0, 0, 0}, "0x0000000100000000"},
        {hive::kRegBinary, {0x01, 0xAB, 0xFF}, "01 ab ff"},
        {hive::kRegNone, {}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(valueEditText(c.type, c.data), c.text) << editorTypeName(c.type);
        auto back = parseEditText(c.type, c.text);
        ASSERT_TRUE(back) << back.error();
        EXPECT_EQ(*back, c.data) << editorTypeName(c.type);
    }
    // A number of the wrong size starts empty instead of as a wrong number.
    EXPECT_EQ(valueEditText(hive::kRegDword, Bytes{1, 2, 3}), "");
}

TEST(RegistryEditingText, EditedTextToData) {
    struct Case {
        std::uint32_t type;
        std::string text;
        Bytes data;
    };
    const std::vector<Case> cases = {
        {hive::kRegDword, "1", {1, 0, 0, 0}},
        {hive::kRegDword, " 4294967295 ", {0xFF, 0xFF, 0xFF, 0xFF}},
        {hive::kRegDword, "0xFFFFFFFF", {0xFF, 0xFF, 0xFF, 0xFF}},
        {hive::kRegDword, "0X10", {0x10, 0, 0, 0}},
        {hive::kRegQword, "18446744073709551615", Bytes(8, 0xFF)},
        {hive::kRegQword, "0x100000000", {0, 0, 0, 0, 1, 0, 0, 0}},
        {hive::kRegBinary, "01,AB, ff\n10", {0x01, 0xAB, 0xFF, 0x10}},
        {hive::kRegBinary, "01ab", {0x01, 0xAB}},
        {hive::kRegBinary, "  ", {}},
        {0x20, "7f", {0x7F}},
        {hive::kRegSz, "Я", {0x2F, 0x04, 0, 0}},
        // Empty lines of a multi-string are dropped, Windows line ends too.
        {hive::kRegMultiSz, "a\r\n\nb\n", {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
        {hive::kRegMultiSz, "", {0, 0}},
    };
    for (const auto& c : cases) {
        auto data = parseEditText(c.type, c.text);
        ASSERT_TRUE(data) << c.text << ": " << data.error();
        EXPECT_EQ(*data, c.data) << c.text;
    }
}

TEST(RegistryEditingText, TextThatIsNoDataOfTheTypeIsRefused) {
    const std::vector<std::pair<std::uint32_t, std::string>> cases = {
        {hive::kRegDword, ""},
        {hive::kRegDword, "4294967296"},
        {hive::kRegDword, "-1"},
        {hive::kRegDword, "0x"},
        {hive::kRegDword, "12abc"},
        {hive::kRegDword, "1 2"},
        {hive::kRegQword, "18446744073709551616"},
        {hive::kRegBinary, "1"},
        {hive::kRegBinary, "01 2"},
        {hive::kRegBinary, "zz"},
        {hive::kRegNone, "hex:01"},
        {hive::kRegSz, "\xff"},
    };
    for (const auto& [type, text] : cases) {
        auto data = parseEditText(type, text);
        EXPECT_FALSE(data) << editorTypeName(type) << " \"" << text << "\"";
        if (!data) {
            EXPECT_FALSE(data.error().empty());
        }
    }
}

TEST(RegistryEditingText, EditorPaths) {
    auto split = splitEditorPath("hkey_local_machine\\LoadedHiveSoftware\\Microsoft\\");
    ASSERT_TRUE(split);
    EXPECT_EQ(split->root, "HKEY_LOCAL_MACHINE");
    EXPECT_EQ(split->keys, (Strings{"LoadedHiveSoftware", "Microsoft"}));
    EXPECT_EQ(joinEditorPath(*split), "HKEY_LOCAL_MACHINE\\LoadedHiveSoftware\\Microsoft");
    for (const char* bad : {"", "HKEY_USERS\\x", "HKEY_LOCAL_MACHINE\\\\x", "\\HKEY_CURRENT_USER",
                            "LoadedHiveSoftware"}) {
        EXPECT_FALSE(splitEditorPath(bad)) << bad;
    }
}

// A Windows 7 on drive c: with its SOFTWARE hive mounted, and a user's
// NTUSER.DAT mounted beside it.
class RegistryEditingTest : public ::testing::Test {
protected:
    void SetUp() override {
        hive_ = tree_.addInstallation(
            'c', "Windows", test::WindowsKind::Win7x64,
            {test::sz(kRun, "Sidebar", "sidebar.exe"), test::dword(kRun, "Count", 7),
             test::sz(kRun, "", "default text"), test::keyOnly(kRun + "\\Zeta"),
             test::keyOnly(kRun + "\\alpha")});
        tree_.addProfile('c', test::WindowsKind::Win7x64, "Ivan");
        context_ = tree_.context();
        ASSERT_TRUE(LoadHive(context_, kSoftwareMount, "c:\\Windows\\System32\\config\\SOFTWARE"))
            << context_.registry.lastOutcome().detail;
        ASSERT_TRUE(LoadHive(context_, kUserMount, "c:\\Users\\Ivan\\NTUSER.DAT"))
            << context_.registry.lastOutcome().detail;
    }

    Strings subkeys(const std::string& path) {
        auto names = listSubkeys(context_, path);
        EXPECT_TRUE(names) << names.error();
        return names.value_or(Strings{});
    }
    Strings shownNames(const std::string& path) {
        Strings names;
        auto values = listValues(context_, path);
        EXPECT_TRUE(values) << values.error();
        for (const auto& v : values.value_or(std::vector<EditorValue>{})) {
            names.push_back(v.shownName);
        }
        return names;
    }
    std::string runPath(const std::string& below = {}) const {
        return "HKEY_LOCAL_MACHINE\\LoadedHiveSoftware\\" + kRun + below;
    }

    const std::string kRun = "Microsoft\\Windows\\CurrentVersion\\Run";
    test::TargetTree tree_;
    std::filesystem::path hive_;
    Context context_;
};

TEST_F(RegistryEditingTest, ListsMountsKeysAndValues) {
    EXPECT_EQ(subkeys("HKEY_LOCAL_MACHINE"), (Strings{"LoadedHiveSoftware", "LoadedUserHive"}));
    EXPECT_EQ(subkeys("HKEY_CURRENT_USER"), Strings{});
    // Stored order: sorted without case.
    EXPECT_EQ(subkeys(runPath()), (Strings{"alpha", "Zeta"}));

    auto values = listValues(context_, runPath());
    ASSERT_TRUE(values) << values.error();
    const std::vector<EditorValue> expected = {
        {"", "(По умолчанию)", hive::kRegSz, "REG_SZ", "default text", true},
        {"Sidebar", "Sidebar", hive::kRegSz, "REG_SZ", "sidebar.exe", true},
        {"Count", "Count", hive::kRegDword, "REG_DWORD", "0x00000007 (7)", true},
    };
    EXPECT_EQ(*values, expected);

    // A key without a default value still shows its row, not set; so do the
    // roots.
    for (const std::string& path :
         {runPath("\\Zeta"), std::string("HKEY_LOCAL_MACHINE"), std::string("HKEY_CURRENT_USER")}) {
        auto rows = listValues(context_, path);
        ASSERT_TRUE(rows) << path << ": " << rows.error();
        ASSERT_EQ(rows->size(), 1u) << path;
        EXPECT_EQ(rows->front(), (EditorValue{"", "(По умолчанию)", hive::kRegSz, "REG_SZ",
                                              "(значение не присвоено)", false}));
    }
    EXPECT_FALSE(listValues(context_, runPath("\\Missing")));
    EXPECT_FALSE(listSubkeys(context_, "HKEY_LOCAL_MACHINE\\LoadedOther"));
}

TEST_F(RegistryEditingTest, ExistingKeyPathIsTheDeepestExistingAncestorAsSpelled) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {runPath("\\ZETA"), runPath("\\Zeta")},
        {runPath("\\Zeta\\Missing\\Deeper"), runPath("\\Zeta")},
        {"HKEY_LOCAL_MACHINE\\loadeduserhive\\NoSuchKey", "HKEY_LOCAL_MACHINE\\LoadedUserHive"},
        {"HKEY_LOCAL_MACHINE\\NotMounted\\Microsoft", "HKEY_LOCAL_MACHINE"},
        {"HKEY_CURRENT_USER\\Software", "HKEY_CURRENT_USER"},
        {"HKEY_USERS\\x", ""},
    };
    for (const auto& [asked, existing] : cases) {
        EXPECT_EQ(existingKeyPath(context_, asked), existing) << asked;
    }
    EXPECT_TRUE(keyExists(context_, runPath("\\zeta")));
    EXPECT_FALSE(keyExists(context_, runPath("\\Zeta\\Missing")));
}

TEST_F(RegistryEditingTest, NewKeysAndValuesTakeTheFirstFreeNumber) {
    auto first = createKey(context_, runPath());
    ASSERT_TRUE(first) << first.error();
    EXPECT_EQ(*first, "Новый раздел #1");
    // A gap is filled first, and the names compare without case.
    ASSERT_TRUE(renameKey(context_, runPath("\\Zeta"), "НОВЫЙ РАЗДЕЛ #3"));
    ASSERT_TRUE(createKey(context_, runPath()));
    auto third = createKey(context_, runPath());
    ASSERT_TRUE(third);
    EXPECT_EQ(*third, "Новый раздел #4");
    EXPECT_EQ(subkeys(runPath()), (Strings{"alpha", "Новый раздел #1", "Новый раздел #2",
                                           "НОВЫЙ РАЗДЕЛ #3", "Новый раздел #4"}));

    const std::vector<std::pair<std::uint32_t, std::string>> created = {
        {hive::kRegSz, ""},
        {hive::kRegDword, "0x00000000 (0)"},
        {hive::kRegBinary, "(двоичное значение нулевой длины)"},
        {hive::kRegQword, "0x0000000000000000 (0)"},
        {hive::kRegMultiSz, ""},
        {hive::kRegExpandSz, ""},
    };
    for (std::size_t i = 0; i < created.size(); ++i) {
        auto name = createValue(context_, runPath(), created[i].first);
        ASSERT_TRUE(name) << name.error();
        EXPECT_EQ(*name, "Новый параметр #" + std::to_string(i + 1));
        auto values = listValues(context_, runPath());
        ASSERT_TRUE(values);
        EXPECT_EQ(values->back().type, created[i].first);
        EXPECT_EQ(values->back().dataText, created[i].second);
    }
}

TEST_F(RegistryEditingTest, RenamesRefuseWhatWindowsRefuses) {
    // Keys: a taken name (in any case), an empty one, one with a backslash.
    for (const char* bad : {"ALPHA", "", "a\\b"}) {
        auto renamed = renameKey(context_, runPath("\\Zeta"), bad);
        EXPECT_FALSE(renamed) << bad;
        if (!renamed) {
            EXPECT_FALSE(renamed.error().empty());
        }
    }
    // The roots and the mounts' own keys.
    for (const char* fixed :
         {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE\\LoadedHiveSoftware",
          "HKEY_LOCAL_MACHINE\\LoadedUserHive"}) {
        EXPECT_FALSE(isEditableKey(context_, fixed)) << fixed;
        EXPECT_FALSE(renameKey(context_, fixed, "Other")) << fixed;
        EXPECT_FALSE(deleteKey(context_, fixed)) << fixed;
    }
    EXPECT_TRUE(context_.registry.find(kSoftwareMount) != nullptr);
    EXPECT_EQ(subkeys(runPath()), (Strings{"alpha", "Zeta"}));

    // Values: the default value, an empty name, a taken name.
    EXPECT_FALSE(renameValue(context_, runPath(), "", "Named"));
    EXPECT_FALSE(renameValue(context_, runPath(), "Sidebar", ""));
    EXPECT_FALSE(renameValue(context_, runPath(), "Sidebar", "count"));
    EXPECT_FALSE(renameValue(context_, runPath(), "Missing", "Other"));
    EXPECT_EQ(shownNames(runPath()), (Strings{"(По умолчанию)", "Sidebar", "Count"}));
}

TEST_F(RegistryEditingTest, RenamesKeepDataAndSubtrees) {
    ASSERT_TRUE(createKey(context_, runPath("\\Zeta")));
    auto renamed = renameKey(context_, runPath("\\zeta"), "Омега");
    ASSERT_TRUE(renamed) << renamed.error();
    EXPECT_EQ(*renamed, runPath("\\Омега"));
    EXPECT_EQ(subkeys(runPath()), (Strings{"alpha", "Омега"}));
    EXPECT_EQ(subkeys(*renamed), Strings{"Новый раздел #1"});
    // A change of case alone.
    ASSERT_TRUE(renameKey(context_, runPath("\\alpha"), "Alpha"));
    EXPECT_EQ(subkeys(runPath()), (Strings{"Alpha", "Омега"}));

    ASSERT_TRUE(renameValue(context_, runPath(), "Count", "Счётчик"));
    ASSERT_TRUE(renameValue(context_, runPath(), "sidebar", "SIDEBAR"));
    auto count = readValue(context_, runPath(), "счётчик");
    ASSERT_TRUE(count) << count.error();
    EXPECT_EQ(count->type, hive::kRegDword);
    EXPECT_EQ(count->data, (Bytes{7, 0, 0, 0}));
    EXPECT_FALSE(readValue(context_, runPath(), "Count"));
    Strings names = shownNames(runPath());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (Strings{"(По умолчанию)", "SIDEBAR", "Счётчик"}));
}

// Every kind of change, then the unmount: the file holds exactly them, and
// the independent readers read it.
TEST_F(RegistryEditingTest, ChangesReachTheHiveFileAtTheUnmount) {
    const test::dumpdiff::Lines before = test::dumpdiff::dumpOf(hive_);
    ASSERT_TRUE(setValueText(context_, runPath(), "Count", hive::kRegDword, "0x10"));
    ASSERT_TRUE(setValueText(context_, runPath(), "", hive::kRegSz, "новый"));
    ASSERT_TRUE(setValueText(context_, runPath(), "Flags", hive::kRegBinary, "de ad"));
    ASSERT_TRUE(deleteValue(context_, runPath(), "Sidebar"));
    EXPECT_FALSE(deleteValue(context_, runPath(), "Sidebar"));
    ASSERT_TRUE(deleteKey(context_, runPath("\\alpha")));
    ASSERT_TRUE(renameKey(context_, runPath("\\Zeta"), "Eta"));
    EXPECT_FALSE(setValueText(context_, runPath(), "Count", hive::kRegDword, "many"));

    ASSERT_TRUE(UnloadHive(context_, kSoftwareMount)) << context_.registry.lastOutcome().detail;
    // Nothing reaches a hive that is no longer mounted.
    EXPECT_FALSE(listValues(context_, runPath()));
    EXPECT_FALSE(createKey(context_, runPath()));
    EXPECT_EQ(existingKeyPath(context_, runPath()), "HKEY_LOCAL_MACHINE");

    test::dumpdiff::Lines expected;
    for (const auto& line : before) {
        if (line == "[" + kRun + "\\alpha]" || line.starts_with("\"Sidebar\"")) {
            continue;
        }
        if (line == "[" + kRun + "\\Zeta]") {
            continue; // renamed: sorted in again below
        }
        if (line.starts_with("@ = ")) {
            // A new value comes last in its key's list.
            expected.push_back("@ = REG_SZ \"новый\"");
            expected.push_back("\"Flags\" = REG_BINARY hex:de,ad");
        } else if (line.starts_with("\"Count\"")) {
            expected.push_back("\"Count\" = REG_DWORD 0x00000010");
        } else {
            expected.push_back(line);
        }
    }
    const auto runHeader = std::find(expected.begin(), expected.end(), "[" + kRun + "]");
    ASSERT_NE(runHeader, expected.end());
    expected.insert(runHeader + 4, "[" + kRun + "\\Eta]");
    EXPECT_TRUE(test::sameLines("expected", expected, "written", test::dumpdiff::dumpOf(hive_)));
    EXPECT_TRUE(test::independentReadersAgree(hive_));
}

} // namespace
} // namespace engine::registry
