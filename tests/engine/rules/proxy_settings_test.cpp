// The user's proxy settings over a real mounted user hive: reading, the
// reset, and what the save writes.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "context/context.h"
#include "registry/hive_mounting.h"
#include "rules/proxy_settings.h"
#include "support/hive_dump_diff.h"
#include "support/target_tree.h"

namespace engine::rules {
namespace {

namespace fs = std::filesystem;
using test::dumpdiff::dwordLine;
using test::dumpdiff::HiveSnapshot;
using test::dumpdiff::szLine;

const std::string kInternet = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr const char* kUserHive = "c:\\Documents and Settings\\Admin\\NTUSER.DAT";

class ProxyTest : public ::testing::Test {
protected:
    void makeUser(const std::vector<test::PlantedValue>& values) {
        hive_ = tree_.addProfile('c', test::WindowsKind::Xp32, "Admin");
        fs::remove(hive_);
        test::makeHive(hive_, values);
        context_ = tree_.context();
        ASSERT_TRUE(registry::LoadHive(context_, registry::kUserMount, kUserHive));
    }
    test::TargetTree tree_;
    fs::path hive_;
    Context context_;
};

TEST_F(ProxyTest, MissingValuesShowNothingAndSavingCreatesThem) {
    makeUser({test::keyOnly("Software")});
    const ProxySettings shown = LoadProxySettings(context_);
    EXPECT_FALSE(shown.Enabled);
    EXPECT_EQ(shown.Server, "");
    EXPECT_EQ(shown.Override, "");

    EXPECT_EQ(SaveProxySettings(context_, shown), kProxySaved);
    ASSERT_TRUE(registry::UnloadHive(context_, registry::kUserMount));
    // The key is new: compare the whole dump's tail rather than single lines.
    const auto after = test::dumpdiff::dumpOf(hive_);
    const std::vector<std::string> expected = {"[" + kInternet + "]", dwordLine("ProxyEnable", 0),
                                               szLine("ProxyServer", ""),
                                               szLine("ProxyOverride", "")};
    ASSERT_GE(after.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(after.end() - 4, after.end()), expected);
}

TEST_F(ProxyTest, ShowsTheLockersProxyAndTheResetSavesItAway) {
    makeUser({test::dword(kInternet, "ProxyEnable", 1),
              test::sz(kInternet, "ProxyServer", "127.0.0.1:8080"),
              test::sz(kInternet, "ProxyOverride", "<local>")});
    const HiveSnapshot before(hive_);
    ProxySettings settings = LoadProxySettings(context_);
    EXPECT_TRUE(settings.Enabled);
    EXPECT_EQ(settings.Server, "127.0.0.1:8080");
    EXPECT_EQ(settings.Override, "<local>");

    ProxyDefaults(settings);
    EXPECT_EQ(LoadProxySettings(context_).Server, "127.0.0.1:8080") << "nothing written yet";
    EXPECT_EQ(SaveProxySettings(context_, settings), kProxySaved);
    ASSERT_TRUE(registry::UnloadHive(context_, registry::kUserMount));
    before.expectChanged({{kInternet, "ProxyEnable", dwordLine("ProxyEnable", 0)},
                          {kInternet, "ProxyServer", szLine("ProxyServer", "")},
                          {kInternet, "ProxyOverride", szLine("ProxyOverride", "")}});
}

TEST_F(ProxyTest, ASaveWithoutTheUserHiveSaysItFailed) {
    makeUser({test::keyOnly("Software")});
    ASSERT_TRUE(registry::UnloadHive(context_, registry::kUserMount));
    EXPECT_EQ(SaveProxySettings(context_, ProxySettings{true, "a:1", ""}), kSaveFailed);
}

} // namespace
} // namespace engine::rules
