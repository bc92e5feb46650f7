#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hive/hive.h"
#include "hive/names.h"
#include "registry/hive_mounting.h"
#include "registry/reg_engine.h"
#include "support/independent_readers.h"
#include "target_disk.h"

namespace engine::registry {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kWinlogon =
    "LoadedHiveSoftware\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

Bytes utf16(std::u16string_view text, bool terminated = true) {
    Bytes bytes;
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    if (terminated) {
        bytes.insert(bytes.end(), {0, 0});
    }
    return bytes;
}

// A SOFTWARE hive grown from Windows' empty hive by the engine, mounted as
// LoadedHiveSoftware, with a Winlogon key holding a value of every shape
// the operations meet.
class RegEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        host_ = disk_.place("hives/empty-hive", test::kSoftwarePath);
        ASSERT_TRUE(LoadHive(disk_.context, kSoftwareMount, test::kSoftwarePath))
            << disk_.context.registry.lastOutcome().detail;
        Mount* m = registry().find(kSoftwareMount);
        ASSERT_NE(m, nullptr);
        auto key = m->hive.createKeyPath("Microsoft\\Windows NT\\CurrentVersion\\Winlogon");
        ASSERT_TRUE(key) << key.error().describe();
        const struct {
            std::u16string name;
            std::uint32_t type;
            Bytes data;
        } values[] = {
            {u"Shell", hive::kRegSz, utf16(u"explorer.exe")},
            {u"Userinit", hive::kRegExpandSz, utf16(u"%SystemRoot%\\system32\\userinit.exe,")},
            {u"", hive::kRegSz, utf16(u"default")},
            {u"Russian", hive::kRegSz, utf16(u"Проводник")},
            {u"EmptySz", hive::kRegSz, {}},
            {u"NulOnly", hive::kRegSz, {0, 0}},
            {u"Embedded", hive::kRegSz, utf16(std::u16string_view(u"ab\0cd", 5))},
            {u"Unterminated", hive::kRegSz, utf16(u"xyz", false)},
            {u"OddBytes", hive::kRegSz, {'a', 0, 'b', 0, 'c'}},
            {u"Multi", hive::kRegMultiSz, utf16(std::u16string_view(u"a\0b\0", 4))},
            {u"Locked", hive::kRegDword, {1, 0, 0, 0}},
            {u"Open", hive::kRegDword, {0, 0, 0, 0}},
            {u"Negative", hive::kRegDword, {0xFE, 0xFF, 0xFF, 0xFF}},
            {u"Short", hive::kRegDword, {0x34, 0x12}},
            {u"Long", hive::kRegDword, {1, 0, 0, 0, 0, 0, 0, 0}},
            {u"NoDword", hive::kRegDword, {}},
            {u"Qword", hive::kRegQword, {1, 0, 0, 0, 0, 0, 0, 0}},
            {u"BigEndian", hive::kRegDwordBigEndian, {0, 0, 0, 1}},
            {u"Blob", hive::kRegBinary, {1, 2}},
            {u"NoneEmpty", hive::kRegNone, {}},
            {u"NoneData", hive::kRegNone, {7}},
        };
        for (const auto& v : values) {
            auto set = m->hive.setValue(*key, v.name, v.type, v.data);
            ASSERT_TRUE(set) << set.error().describe();
        }
        for (const char* sub : {"Notify\\Crypt32chain", "GPExtensions", "Notify\\Sclgntfy"}) {
            ASSERT_TRUE(m->hive.createKeyPath(
                std::string("Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\") + sub));
        }
    }

    OfflineRegistry& registry() { return disk_.context.registry; }

    // Unmounts, and has the independent readers read the file written. The
    // odd-length string goes first: regfexport reads past its end.
    void unloadAndCompareReaders() {
        TRegEngine r{false, kWinlogon, "OddBytes", 0};
        RegEngineDeleteValue(registry(), r);
        ASSERT_EQ(r.Status, 0);
        ASSERT_TRUE(UnloadHive(disk_.context, kSoftwareMount)) << registry().lastOutcome().detail;
        EXPECT_EQ(registry().find(kSoftwareMount), nullptr);
        EXPECT_TRUE(test::independentReadersAgree(host_));
    }

    TRegEngine record(const std::string& key, const std::string& value = {},
                      bool currentUser = false) {
        // A status left over from an earlier operation, which every one clears.
        return TRegEngine{currentUser, key, value, 99};
    }

    // The type and bytes of a value as the mounted hive holds them.
    std::optional<std::pair<std::uint32_t, Bytes>> stored(const std::string& key,
                                                          std::u16string_view name) {
        hive::Hive& h = registry().find(kSoftwareMount)->hive;
        auto ref = h.findKey(key);
        if (!ref || !*ref) {
            return std::nullopt;
        }
        auto node = h.key(**ref);
        auto value = h.findValue(*node, name);
        if (!value || !*value) {
            return std::nullopt;
        }
        auto v = h.value(**value);
        auto data = h.valueData(*v);
        return std::make_pair(v->type, *data);
    }

    test::TargetDisk disk_;
    fs::path host_;
};

enum class Read { String, KeyExists, ValueExists, Integer, Bool, ValueNames, KeyNames };

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& n : names) {
        text += (text.empty() ? "" : "|") + n;
    }
    return "[" + text + "]";
}

std::string runRead(Read op, OfflineRegistry& registry, TRegEngine& r) {
    std::vector<std::string> names{"left over"};
    switch (op) {
    case Read::String:
        return RegEngineReadString(registry, r);
    case Read::KeyExists:
        return RegEngineKeyExists(registry, r) ? "true" : "false";
    case Read::ValueExists:
        return RegEngineValueExists(registry, r) ? "true" : "false";
    case Read::Integer:
        return std::to_string(RegEngineReadInteger(registry, r));
    case Read::Bool:
        return RegEngineReadBool(registry, r) ? "true" : "false";
    case Read::ValueNames:
        RegEngineValueNames(registry, r, names);
        return joined(names);
    case Read::KeyNames:
        RegEngineKeyNames(registry, r, names);
        return joined(names);
    }
    return {};
}

TEST_F(RegEngineTest, ReadsGiveTheTableResultsAndStatusCodes) {
    const std::string w = kWinlogon;
    const std::string missingKey = "LoadedHiveSoftware\\Microsoft\\Nowhere";
    struct Case {
        Read op;
        std::string key;
        std::string value;
        std::string expected;
        std::int32_t status;
        bool currentUser = false;
    };
    const Case cases[] = {
        // Strings: as stored, up to the first NUL; a value of another type
        // with data is an error, one without data or absent is just "".
        {Read::String, w, "Shell", "explorer.exe", 0},
        {Read::String, w, "SHELL", "explorer.exe", 0},
        {Read::String, "loadedhivesoftware\\MICROSOFT\\windows nt\\CurrentVersion\\WINLOGON",
         "shell", "explorer.exe", 0},
        {Read::String, w, "Userinit", "%SystemRoot%\\system32\\userinit.exe,", 0},
        {Read::String, w, "", "default", 0},
        {Read::String, w, "Russian", "Проводник", 0},
        {Read::String, w, "EmptySz", "", 0},
        {Read::String, w, "NulOnly", "", 0},
        {Read::String, w, "Embedded", "ab", 0},
        {Read::String, w, "Unterminated", "xyz", 0},
        {Read::String, w, "OddBytes", "ab", 0},
        {Read::String, w, "Missing", "", 0},
        {Read::String, missingKey, "Shell", "", 0},
        {Read::String, "NotMounted\\Winlogon", "Shell", "", 0},
        {Read::String, w, "Locked", "", kStatusReadString},
        {Read::String, w, "Multi", "", kStatusReadString},
        {Read::String, w, "Blob", "", kStatusReadString},
        {Read::String, w, "NoneData", "", kStatusReadString},
        {Read::String, w, "NoneEmpty", "", 0},
        {Read::String, w, "NoDword", "", 0},
        // Existence.
        {Read::KeyExists, w, "ignored", "true", 0},
        {Read::KeyExists, "LoadedHiveSoftware", "", "true", 0},
        {Read::KeyExists, "LOADEDHIVESOFTWARE\\microsoft", "", "true", 0},
        {Read::KeyExists, "", "", "true", 0},
        {Read::KeyExists, missingKey, "", "false", 0},
        {Read::KeyExists, "LoadedUserHive", "", "false", 0},
        {Read::ValueExists, w, "NoneEmpty", "true", 0},
        {Read::ValueExists, w, "noneempty", "true", 0},
        {Read::ValueExists, w, "", "true", 0},
        {Read::ValueExists, w, "Missing", "false", 0},
        {Read::ValueExists, missingKey, "Shell", "false", 0},
        // Integers: a REG_DWORD of at most four bytes, else -1 and 4.
        {Read::Integer, w, "Locked", "1", 0},
        {Read::Integer, w, "Open", "0", 0},
        {Read::Integer, w, "Negative", "-2", 0},
        {Read::Integer, w, "Short", "4660", 0},
        {Read::Integer, w, "Missing", "-1", kStatusReadInteger},
        {Read::Integer, missingKey, "Locked", "-1", kStatusReadInteger},
        {Read::Integer, w, "Long", "-1", kStatusReadInteger},
        {Read::Integer, w, "Qword", "-1", kStatusReadInteger},
        {Read::Integer, w, "BigEndian", "-1", kStatusReadInteger},
        {Read::Integer, w, "NoDword", "-1", kStatusReadInteger},
        {Read::Integer, w, "Shell", "-1", kStatusReadInteger},
        {Read::Bool, w, "Locked", "true", 0},
        {Read::Bool, w, "Negative", "true", 0},
        {Read::Bool, w, "Open", "false", 0},
        {Read::Bool, w, "Missing", "false", kStatusReadBool},
        {Read::Bool, w, "Long", "false", kStatusReadBool},
        {Read::Bool, w, "Shell", "false", kStatusReadBool},
        // Lists: value-list order; subkeys in stored (sorted) order.
        {Read::ValueNames, w, "",
         "[Shell|Userinit||Russian|EmptySz|NulOnly|Embedded|Unterminated|"
         "OddBytes|Multi|Locked|Open|Negative|Short|Long|NoDword|Qword|"
         "BigEndian|Blob|NoneEmpty|NoneData]",
         0},
        {Read::ValueNames, missingKey, "", "[]", 0},
        {Read::ValueNames, "", "", "[]", 0},
        {Read::KeyNames, w, "", "[GPExtensions|Notify]", 0},
        {Read::KeyNames, w + "\\Notify", "", "[Crypt32chain|Sclgntfy]", 0},
        {Read::KeyNames, missingKey, "", "[]", 0},
        {Read::KeyNames, "", "", "[LoadedHiveSoftware]", 0},
        // HKEY_CURRENT_USER is an empty root.
        {Read::String, "Software", "x", "", 0, true},
        {Read::KeyExists, "Software", "", "false", 0, true},
        {Read::KeyExists, "LoadedHiveSoftware", "", "false", 0, true},
        {Read::ValueExists, "LoadedHiveSoftware\\Microsoft", "x", "false", 0, true},
        {Read::Integer, w, "Locked", "-1", kStatusReadInteger, true},
        {Read::Bool, w, "Locked", "false", kStatusReadBool, true},
        {Read::ValueNames, w, "", "[]", 0, true},
        {Read::KeyNames, "", "", "[]", 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "op " << static_cast<int>(c.op) << " key " << c.key << " value " << c.value
                     << (c.currentUser ? " (HKCU)" : ""));
        TRegEngine r = record(c.key, c.value, c.currentUser);
        EXPECT_EQ(runRead(c.op, registry(), r), c.expected);
        EXPECT_EQ(r.Status, c.status);
    }
}

TEST_F(RegEngineTest, WritesReplaceTheTypeAndCreateKeys) {
    const std::string w = kWinlogon;
    const std::string winlogon = "Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

    // REG_EXPAND_SZ becomes REG_SZ with the text and one NUL; the name keeps
    // its stored spelling.
    TRegEngine r = record(w, "USERINIT");
    RegEngineWriteString(registry(), r, "C:\\WINDOWS\\system32\\userinit.exe,");
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(stored(winlogon, u"Userinit"),
              std::make_pair(std::uint32_t{hive::kRegSz},
                             utf16(u"C:\\WINDOWS\\system32\\userinit.exe,")));
    std::vector<std::string> names;
    RegEngineValueNames(registry(), r, names);
    EXPECT_EQ(std::count(names.begin(), names.end(), "Userinit"), 1);

    // An empty string is one NUL; Cyrillic text is UTF-16LE.
    r = record(w, "Shell");
    RegEngineWriteString(registry(), r, "");
    EXPECT_EQ(stored(winlogon, u"Shell"), std::make_pair(std::uint32_t{hive::kRegSz}, Bytes{0, 0}));
    r = record(w, "Текст");
    RegEngineWriteString(registry(), r, "Проводник");
    EXPECT_EQ(stored(winlogon, u"Текст"),
              std::make_pair(std::uint32_t{hive::kRegSz}, utf16(u"Проводник")));
    EXPECT_EQ(RegEngineReadString(registry(), r), "Проводник");

    // Integers and Booleans are REG_DWORDs, over a value of any type; -1
    // written reads back as -1 with status 0, unlike an absent value.
    r = record(w, "Shell");
    RegEngineWriteInteger(registry(), r, -1);
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(stored(winlogon, u"Shell"),
              std::make_pair(std::uint32_t{hive::kRegDword}, Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(RegEngineReadInteger(registry(), r), -1);
    EXPECT_EQ(r.Status, 0);
    r = record(w, "Long");
    RegEngineWriteBool(registry(), r, true);
    EXPECT_EQ(stored(winlogon, u"Long"),
              std::make_pair(std::uint32_t{hive::kRegDword}, Bytes{1, 0, 0, 0}));
    RegEngineWriteBool(registry(), r, false);
    EXPECT_EQ(stored(winlogon, u"Long"),
              std::make_pair(std::uint32_t{hive::kRegDword}, Bytes{0, 0, 0, 0}));

    // Every missing key on the way is created.
    const std::string deep = "LoadedHiveSoftware\\Policies\\Microsoft\\Windows\\System";
    r = record(deep, "DisableCMD");
    RegEngineWriteInteger(registry(), r, 2);
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(stored("Policies\\Microsoft\\Windows\\System", u"DisableCMD"),
              std::make_pair(std::uint32_t{hive::kRegDword}, Bytes{2, 0, 0, 0}));
    // Values of the hive's root key, through the mount's own name.
    r = record("LoadedHiveSoftware", "AtRoot");
    RegEngineWriteString(registry(), r, "root");
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(stored("", u"AtRoot"), std::make_pair(std::uint32_t{hive::kRegSz}, utf16(u"root")));

    // What was written is in the file after the unmount, as every reader
    // reads it.
    unloadAndCompareReaders();
    auto h = hive::Hive::open(host_);
    ASSERT_TRUE(h);
    auto key = h->findKey("Policies\\Microsoft\\Windows\\System");
    ASSERT_TRUE(key && *key);
    auto value = h->findValue(*h->key(**key), u"disablecmd");
    ASSERT_TRUE(value && *value);
    EXPECT_EQ(*h->valueData(*h->value(**value)), (Bytes{2, 0, 0, 0}));
}

TEST_F(RegEngineTest, DeletesValuesAndWholeSubtrees) {
    const std::string w = kWinlogon;
    const std::string winlogon = "Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

    TRegEngine r = record(w, "userinit");
    RegEngineDeleteValue(registry(), r);
    EXPECT_EQ(r.Status, 0);
    EXPECT_FALSE(stored(winlogon, u"Userinit"));
    EXPECT_TRUE(stored(winlogon, u"Shell"));
    RegEngineDeleteValue(registry(), r); // already gone: nothing happens
    EXPECT_EQ(r.Status, 0);

    // A missing key is created, empty.
    const std::string created = "LoadedHiveSoftware\\Microsoft\\Windows\\CurrentVersion\\Run";
    r = record(created, "Locker");
    RegEngineDeleteValue(registry(), r);
    EXPECT_EQ(r.Status, 0);
    r = record(created);
    EXPECT_TRUE(RegEngineKeyExists(registry(), r));
    std::vector<std::string> names{"x"};
    RegEngineValueNames(registry(), r, names);
    RegEngineKeyNames(registry(), r, names);
    EXPECT_TRUE(names.empty());

    // A key with several levels below it goes in one call; its siblings and
    // parent stay.
    r = record(w + "\\NOTIFY\\crypt32chain\\Deeper\\Deepest");
    RegEngineWriteString(registry(), r, "x");
    r = record(w + "\\Notify");
    RegEngineDeleteKey(registry(), r);
    EXPECT_EQ(r.Status, 0);
    EXPECT_FALSE(RegEngineKeyExists(registry(), r));
    r = record(w);
    RegEngineKeyNames(registry(), r, names);
    EXPECT_EQ(names, std::vector<std::string>{"GPExtensions"});
    EXPECT_EQ(RegEngineReadString(registry(), r), "default");

    // An absent key: nothing happens.
    r = record(w + "\\Notify");
    RegEngineDeleteKey(registry(), r);
    EXPECT_EQ(r.Status, 0);
    r = record("NotMounted\\Key");
    RegEngineDeleteKey(registry(), r);
    EXPECT_EQ(r.Status, 0);

    // A mount's own key is the hive's root: it is not deleted, nor emptied.
    for (const char* root : {"LoadedHiveSoftware", "loadedhivesoftware\\", ""}) {
        SCOPED_TRACE(root);
        r = record(root);
        RegEngineDeleteKey(registry(), r);
        EXPECT_EQ(r.Status, kStatusDeleteKey);
    }
    r = record(w);
    EXPECT_TRUE(RegEngineKeyExists(registry(), r));

    unloadAndCompareReaders();
}

TEST_F(RegEngineTest, WritesOutsideAMountedHiveFailWithTheirCode) {
    struct Target {
        const char* key;
        bool currentUser;
    };
    const Target targets[] = {
        {"Software\\Microsoft", true},       // the empty HKEY_CURRENT_USER
        {"", true},                          // its root
        {"Foo\\Bar", false},                 // not below a mount
        {"", false},                         // HKEY_LOCAL_MACHINE itself
        {"LoadedUserHive\\Software", false}, // a mount name with nothing mounted
        // A key name longer than the registry allows, inside a mount.
        {"LoadedHiveSoftware\\Too\\"
         "LongLongLongLongLongLongLongLongLongLongLongLongLongLongLongLongLongLongLongLongLongLong"
         "LongLongLongLongLongLongLongLongLongLongLongLongLongLongLongLongLongLongLongLongLongLong"
         "LongLongLongLongLongLongLongLongLongLongLongLongLongLongLongLongLongLongLongLongLongLong",
         false},
    };
    const struct {
        std::function<void(TRegEngine&)> write;
        std::int32_t status;
    } writes[] = {
        {[&](TRegEngine& r) { RegEngineWriteString(registry(), r, "x"); }, kStatusWriteString},
        {[&](TRegEngine& r) { RegEngineWriteInteger(registry(), r, 1); }, kStatusWriteInteger},
        {[&](TRegEngine& r) { RegEngineWriteBool(registry(), r, true); }, kStatusWriteBool},
        {[&](TRegEngine& r) { RegEngineDeleteValue(registry(), r); }, kStatusDeleteValue},
    };
    const std::string before = [&] {
        std::vector<std::string> names;
        TRegEngine r = record("LoadedHiveSoftware");
        RegEngineKeyNames(registry(), r, names);
        return joined(names);
    }();
    for (const Target& t : targets) {
        for (const auto& w : writes) {
            SCOPED_TRACE(testing::Message()
                         << t.key << (t.currentUser ? " (HKCU)" : "") << " expecting " << w.status);
            TRegEngine r = record(t.key, "Value", t.currentUser);
            w.write(r);
            EXPECT_EQ(r.Status, w.status);
            if (*t.key != '\0') {
                EXPECT_FALSE(RegEngineKeyExists(registry(), r));
            }
        }
    }
    TRegEngine r = record("LoadedHiveSoftware");
    std::vector<std::string> names;
    RegEngineKeyNames(registry(), r, names);
    EXPECT_EQ(joined(names), before);
    EXPECT_EQ(registry().mounts().size(), 1u);
}

TEST_F(RegEngineTest, ASecondOperationStartsWithAClearStatus) {
    TRegEngine r = record(kWinlogon, "Missing");
    EXPECT_EQ(RegEngineReadInteger(registry(), r), -1);
    EXPECT_EQ(r.Status, kStatusReadInteger);
    r.ValueName = "Shell";
    EXPECT_EQ(RegEngineReadString(registry(), r), "explorer.exe");
    EXPECT_EQ(r.Status, 0);
    r.ValueName = "Locked";
    EXPECT_EQ(RegEngineReadString(registry(), r), "");
    EXPECT_EQ(r.Status, kStatusReadString);
    EXPECT_EQ(RegEngineRootKey(r), RootKey::LocalMachine);
    EXPECT_EQ(r.Status, 0);
    r.RootIsCurrentUser = true;
    r.Status = 5;
    EXPECT_EQ(RegEngineRootKey(r), RootKey::CurrentUser);
    EXPECT_EQ(r.Status, 0);
}

} // namespace
} // namespace engine::registry
