#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hive/dump.h"
#include "hive/hive.h"
#include "hive/names.h"
#include "hive/value_text.h"
#include "support/test_files.h"

namespace engine::hive {
namespace {

Hive openTestHive(const std::string& relative) {
    auto hive = Hive::open(test::testdata(relative));
    EXPECT_TRUE(hive) << (hive ? "" : hive.error().describe());
    return std::move(*hive);
}

struct ValueRead {
    std::uint32_t type;
    std::string text; // formatValueData of the data
};

std::optional<ValueRead> readValue(const Hive& hive, const std::string& keyPath,
                                   const std::u16string& name) {
    auto key = hive.findKey(keyPath);
    if (!key || !*key) {
        return std::nullopt;
    }
    auto node = hive.key(**key);
    auto ref = hive.findValue(*node, name);
    if (!ref || !*ref) {
        return std::nullopt;
    }
    auto v = hive.value(**ref);
    auto data = hive.valueData(*v);
    return ValueRead{v->type, formatValueData(v->type, *data)};
}

TEST(HiveReader, FindsKeysWhateverTheCase) {
    const Hive hive = openTestHive("hives/xp-ntuser.dat");
    for (const char* path : {"Control Panel\\Desktop", "CONTROL PANEL\\DESKTOP",
                             "control panel\\desktop", "\\Control Panel\\Desktop\\"}) {
        auto key = hive.findKey(path);
        ASSERT_TRUE(key) << key.error().describe();
        EXPECT_TRUE(key->has_value()) << path;
    }
    auto missing = hive.findKey("Control Panel\\Desktop\\NoSuchKey");
    ASSERT_TRUE(missing);
    EXPECT_FALSE(missing->has_value());
}

TEST(HiveReader, ReadsValuesByNameWhateverTheCase) {
    const Hive hive = openTestHive("hives/xp-ntuser.dat");
    for (const std::u16string name : {u"Wallpaper", u"WALLPAPER", u"wallpaper"}) {
        auto v = readValue(hive, "Control Panel\\Desktop", name);
        ASSERT_TRUE(v);
        EXPECT_EQ(v->type, kRegSz);
        EXPECT_EQ(v->text, "\"C:\\\\WINDOWS\\\\web\\\\wallpaper\\\\Bliss.bmp\"");
    }
    auto policy =
        readValue(hive, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer",
                  u"NoDriveTypeAutoRun");
    ASSERT_TRUE(policy);
    EXPECT_EQ(policy->type, kRegDword);
    EXPECT_EQ(policy->text, "0x00000091");
}

TEST(HiveReader, FindsCyrillicNamesCaseInsensitively) {
    // UnicodeHive holds the keys "Привет" and "Привет\Ключ" in UTF-16.
    const Hive hive = openTestHive("hives/windows-written/UnicodeHive");
    for (const char* path : {"Привет\\Ключ", "ПРИВЕТ\\КЛЮЧ", "привет\\ключ", "пРиВеТ\\кЛЮЧ"}) {
        auto key = hive.findKey(path);
        ASSERT_TRUE(key);
        ASSERT_TRUE(key->has_value()) << path;
        EXPECT_EQ(toUtf8(hive.key(**key)->name), "Ключ");
    }
    // Only A-Z-insensitive would be wrong here, and so would a match of "Привет"
    // with a look-alike spelled in Latin letters.
    auto latin = hive.findKey("Пpивeт"); // Latin p and e
    ASSERT_TRUE(latin);
    EXPECT_FALSE(latin->has_value());
}

TEST(HiveReader, FindsEveryOneOfThousandsOfSubkeysUnderAnIndexRoot) {
    const Hive hive = openTestHive("hives/windows-written/ManySubkeysHive");
    auto parent = hive.findKey("key_with_many_subkeys");
    ASSERT_TRUE(parent && *parent);
    auto node = hive.key(**parent);
    ASSERT_TRUE(node);
    ASSERT_EQ(hive.listKind(node->subkeyList).value(), SubkeyListKind::IndexRoot);
    auto children = hive.subkeys(*node);
    ASSERT_TRUE(children);
    ASSERT_EQ(children->size(), node->subkeyCount);
    ASSERT_GT(children->size(), 1000u);
    for (KeyRef child : *children) {
        const std::u16string name = hive.key(child)->name;
        auto found = hive.findSubkey(*node, name);
        ASSERT_TRUE(found && *found) << toUtf8(name);
        EXPECT_EQ(**found, child);
    }
    auto absent = hive.findSubkey(*node, u"99999x");
    ASSERT_TRUE(absent);
    EXPECT_FALSE(absent->has_value());
}

TEST(HiveReader, ReadsBigDataValuesWhole) {
    const Hive hive = openTestHive("hives/windows-written/BigDataHive");
    auto key = hive.findKey("key_with_bigdata");
    ASSERT_TRUE(key && *key);
    auto node = hive.key(**key);
    auto refs = hive.values(*node);
    ASSERT_TRUE(refs);
    std::size_t bigOnes = 0;
    for (ValueRef ref : *refs) {
        auto v = hive.value(ref);
        auto data = hive.valueData(*v);
        ASSERT_TRUE(data) << data.error().describe();
        ASSERT_EQ(data->size(), v->dataSize);
        if (data->size() > 16344) {
            ++bigOnes;
            // Each value repeats one byte: a segment boundary that lost or
            // doubled bytes would show a different byte or length.
            EXPECT_EQ(std::count(data->begin(), data->end(), data->front()),
                      static_cast<std::ptrdiff_t>(data->size()));
        }
    }
    EXPECT_GE(bigOnes, 1u);
}

TEST(HiveReader, NamesWithOddCharactersRoundTripThroughTheTextForm) {
    EXPECT_EQ(keyPathComponent(u"a\\b%c"), "a%5Cb%25c");
    EXPECT_EQ(keyPathComponent(std::u16string(u"x\u0001y")), "x%01y");
    EXPECT_EQ(keyPathComponent(std::u16string(1, char16_t(0xD800))), "%uD800");
    EXPECT_EQ(quoteText(u"say \"hi\"\n\\"), "\"say \\\"hi\\\"\\n\\\\\"");
    EXPECT_EQ(quoteText(u"Тест"), "\"Тест\"");
}

TEST(HiveReader, RefusesFilesThatAreNotHives) {
    test::TempDir dir;
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"short", "regf"},
        {"text", std::string(8192, 'x')},
    };
    for (const auto& c : cases) {
        const auto file = dir / c.name;
        FILE* f = std::fopen(file.c_str(), "wb");
        std::fwrite(c.bytes.data(), 1, c.bytes.size(), f);
        std::fclose(f);
        auto hive = Hive::open(file);
        ASSERT_FALSE(hive) << c.name;
        EXPECT_NE(hive.error().describe().find(file.string()), std::string::npos);
    }
    EXPECT_FALSE(Hive::open(dir / "missing"));
}

} // namespace
} // namespace engine::hive
