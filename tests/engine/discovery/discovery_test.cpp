#include <string>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "context/context.h"
#include "discovery/describe_loaded_system.h"
#include "discovery/find_systems.h"
#include "discovery/find_user_profiles.h"
#include "registry/hive_mounting.h"
#include "support/ntfs_volume.h"
#include "support/target_tree.h"

namespace engine::discovery {
namespace {

namespace fs = std::filesystem;
using platform::DriveType;
using test::TargetTree;
using test::WindowsKind;
using Lines = std::vector<std::string>;

const std::string kLine(58, '-');

std::string pathLine(const std::string& folder) {
    return "  Путь к системе - " + folder;
}

TEST(FindSystems, ListsEveryInstallationOnTheFixedDrivesButTheRunningOne) {
    TargetTree tree;
    tree.addInstallation('c', "WINDOWS", WindowsKind::Xp32);
    // Two installations on one drive, listed as NTFS lists them (by upper-cased name).
    tree.addInstallation('d', "WINNT", WindowsKind::Xp32);
    tree.addInstallation('d', "Windows", WindowsKind::Win7x64);
    // system32\config without a software hive is no installation.
    fs::create_directories(tree.drive('d') / "Old" / "system32" / "config");
    // Removable and CD-ROM drives are never scanned, whatever they hold.
    tree.drive('e', DriveType::Removable);
    tree.addInstallation('e', "WINDOWS", WindowsKind::Xp32);
    tree.drive('f', DriveType::Cdrom);
    tree.addInstallation('f', "WINDOWS", WindowsKind::Xp32);
    // The running system's drive is skipped even with a hive on it.
    tree.addInstallation('x', "WINDOWS", WindowsKind::Xp32);

    auto context = tree.context();
    context.windir = "X:\\WINDOWS";
    Lines lines = {"left over from before"};
    context.SystemHives = {"stale"};
    FindSystems(context, lines);

    EXPECT_EQ(context.SystemHives, (Lines{"c:\\WINDOWS\\system32\\config\\software",
                                          "d:\\Windows\\system32\\config\\software",
                                          "d:\\WINNT\\system32\\config\\software"}));
    EXPECT_EQ(context.SystemFolders, (Lines{"c:\\WINDOWS", "d:\\Windows", "d:\\WINNT"}));
    EXPECT_EQ(lines, (Lines{kLine, pathLine("c:\\WINDOWS"), pathLine("d:\\Windows"),
                            pathLine("d:\\WINNT"), kLine}));
}

TEST(FindSystems, FindsNothingWhenTheOnlyFixedDriveIsTheRunningSystems) {
    TargetTree tree;
    tree.addInstallation('c', "WINDOWS", WindowsKind::Xp32);
    auto context = tree.context();
    context.windir = "C:\\WINDOWS";
    Lines lines;
    FindSystems(context, lines);
    EXPECT_TRUE(context.SystemHives.empty());
    EXPECT_TRUE(context.SystemFolders.empty());
    EXPECT_EQ(lines, (Lines{kLine, kLine}));

    // Without windir no drive is excluded.
    context.windir.reset();
    FindSystems(context, lines);
    EXPECT_EQ(context.SystemFolders, Lines{"c:\\WINDOWS"});
}

// A mounted installation, as the automatic pass and the console see it.
class MountedSystem : public ::testing::Test {
protected:
    void mount(Context& context, const std::string& hive) {
        context.CurrentSystemHive = hive;
        ASSERT_TRUE(registry::LoadHive(context, registry::kSoftwareMount, hive))
            << context.registry.lastOutcome().detail;
    }
    TargetTree tree_;
};

TEST_F(MountedSystem, DescribesItInSevenLines) {
    tree_.addInstallation('c', "WINDOWS", WindowsKind::Xp32);
    tree_.addInstallation('d', "Windows", WindowsKind::Win7x64,
                          {test::sz("Microsoft\\Windows NT\\CurrentVersion", "ProductName", "")});
    auto context = tree_.context();

    const struct {
        std::string hive;
        Lines lines;
        bool is64;
    } cases[] = {
        {"c:\\WINDOWS\\system32\\config\\software",
         {kLine,
          "  Информация о загруженной системе:", "  Операционная система: Microsoft Windows XP",
          "  Номер сборки: 2600.xpsp_sp3_gdr.080814-1236", "  Системный каталог: C:\\WINDOWS",
          "  32 битная версия", kLine},
         false},
        {"d:\\Windows\\system32\\config\\software",
         {kLine, "  Информация о загруженной системе:", "  Операционная система: ",
          "  Номер сборки: 7601.win7sp1_gdr.130828-1532", "  Системный каталог: D:\\Windows",
          "  64 битная версия", kLine},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hive);
        mount(context, c.hive);
        Lines lines = {"old"};
        DescribeLoadedSystem(context, lines);
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(context.Is64BitSystem, c.is64);
        // Twice with the same list: the same seven lines, not fourteen.
        DescribeLoadedSystem(context, lines);
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(context.AutoRegEngine.ValueName, "SystemRoot");
        ASSERT_TRUE(registry::UnloadHive(context, registry::kSoftwareMount));
    }
}

TEST_F(MountedSystem, DescribesAHiveWithoutItsValues) {
    test::makeHive(tree_.drive('c') / "WINDOWS" / "system32" / "config" / "software",
                   {test::keyOnly("Microsoft")});
    auto context = tree_.context();
    mount(context, "c:\\WINDOWS\\system32\\config\\software");
    Lines lines;
    DescribeLoadedSystem(context, lines);
    EXPECT_EQ(lines,
              (Lines{kLine, "  Информация о загруженной системе:", "  Операционная система: ",
                     "  Номер сборки: ", "  Системный каталог: ", "  32 битная версия", kLine}));
}

TEST_F(MountedSystem, ListsProfilesWithAHiveButNotTheServiceAccounts) {
    tree_.addInstallation('c', "WINDOWS", WindowsKind::Xp32);
    for (const char* name :
         {"Admin", "Default User", "LocalService", "localservice", "NetworkService"}) {
        tree_.addProfile('c', WindowsKind::Xp32, name);
    }
    fs::create_directories(tree_.drive('c') / "Documents and Settings" / "All Users");
    auto context = tree_.context();
    mount(context, "c:\\WINDOWS\\system32\\config\\software");

    Lines names = {"old"};
    context.ProfileHives = {"old"};
    FindUserProfiles(context, names);
    EXPECT_EQ(names, (Lines{"Admin", "Default User"}));
    EXPECT_EQ(context.ProfileHives,
              (Lines{"c:\\Documents and Settings\\Admin\\NTUSER.DAT",
                     "c:\\Documents and Settings\\Default User\\NTUSER.DAT"}));
}

TEST_F(MountedSystem, LooksForProfilesOnTheDriveOfTheMountedHive) {
    // The value names %SystemDrive%, which would be C: for the installation;
    // the profiles are looked for on the drive the hive was found on.
    tree_.addInstallation('d', "WINDOWS", WindowsKind::Xp32);
    tree_.addProfile('d', WindowsKind::Xp32, "Admin");
    tree_.addProfile('c', WindowsKind::Xp32, "Elsewhere");
    auto context = tree_.context();
    mount(context, "d:\\WINDOWS\\system32\\config\\software");
    Lines names;
    FindUserProfiles(context, names);
    EXPECT_EQ(names, Lines{"Admin"});
    EXPECT_EQ(context.ProfileHives, Lines{"d:\\Documents and Settings\\Admin\\NTUSER.DAT"});
}

TEST_F(MountedSystem, CutsThirteenCharactersOffWhateverTheValueHolds) {
    const std::string key = "Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    const struct {
        const char* value;
        Lines names;
    } cases[] = {
        // A plain path loses its first 13 characters all the same: "and Settings"
        // is no folder, so nothing is found.
        {"C:\\Documents and Settings", {}},
        // Shorter than 13 characters: the drive root is the profiles folder.
        {"C:\\Users", {"Top"}},
        // Characters, not bytes: a variable name of 13 Cyrillic characters
        // goes whole.
        {"%СистемДиск1%\\Documents and Settings", {"Admin"}},
    };
    tree_.addProfile('c', WindowsKind::Xp32, "Admin");
    fs::create_directories(tree_.drive('c') / "Top");
    fs::copy_file(test::testdata("hives/xp-ntuser.dat"), tree_.drive('c') / "Top" / "NTUSER.DAT");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        const auto hive = tree_.drive('c') / "WINDOWS" / "system32" / "config" / "software";
        fs::remove(hive);
        test::makeHive(hive, {test::expandSz(key, "ProfilesDirectory", c.value)});
        auto context = tree_.context();
        mount(context, "c:\\WINDOWS\\system32\\config\\software");
        Lines names;
        FindUserProfiles(context, names);
        EXPECT_EQ(names, c.names);
        ASSERT_TRUE(registry::UnloadHive(context, registry::kSoftwareMount));
    }
}

// The same over a real NTFS volume as the live medium meets it: ntfs-3g,
// case-sensitive, holding a tree spelled as Windows 7 spells it.
TEST(DiscoveryOnNtfs, FindsAWindows7TreeAndItsProfiles) {
    test::TempDir work;
    std::string whyNot;
    auto volume = test::NtfsVolume::create(work.path(), whyNot);
    if (!volume) {
        GTEST_SKIP() << whyNot;
    }
    TargetTree tree('c', volume->root());
    const auto hive = tree.addInstallation('c', "Windows", WindowsKind::Win7x64);
    tree.addProfile('c', WindowsKind::Win7x64, "Admin", "hives/win7-ntuser.dat");
    ASSERT_TRUE(fs::exists(volume->root() / "Windows" / "System32" / "config" / "SOFTWARE"));

    auto context = tree.context();
    Lines lines;
    FindSystems(context, lines);
    ASSERT_EQ(context.SystemHives, Lines{"c:\\Windows\\system32\\config\\software"});

    context.CurrentSystemHive = context.SystemHives[0];
    ASSERT_TRUE(registry::LoadHive(context, registry::kSoftwareMount, context.SystemHives[0]))
        << context.registry.lastOutcome().detail;
    DescribeLoadedSystem(context, lines);
    EXPECT_TRUE(context.Is64BitSystem);
    Lines names;
    FindUserProfiles(context, names);
    EXPECT_EQ(names, Lines{"Admin"});
    EXPECT_EQ(context.ProfileHives, Lines{"c:\\Users\\Admin\\NTUSER.DAT"});

    // A change made through the mount is in the file once the unmount succeeded.
    registry::TRegEngine record;
    record.KeyPath = "LoadedHiveSoftware\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    record.ValueName = "Shell";
    registry::RegEngineWriteString(context.registry, record, "explorer.exe");
    EXPECT_EQ(record.Status, 0);
    struct stat before {};
    ASSERT_EQ(::stat(hive.c_str(), &before), 0);
    ASSERT_TRUE(registry::UnloadHive(context, registry::kSoftwareMount));
    struct stat after {};
    ASSERT_EQ(::stat(hive.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    ASSERT_TRUE(registry::LoadHive(context, registry::kSoftwareMount, context.SystemHives[0]));
    EXPECT_EQ(registry::RegEngineReadString(context.registry, record), "explorer.exe");
    ASSERT_TRUE(registry::UnloadHive(context, registry::kSoftwareMount));
}

} // namespace
} // namespace engine::discovery
