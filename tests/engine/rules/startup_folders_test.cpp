// The startup folders: where the mounted hives put them, which of their
// entries are listed, and moving a file into the hidden AutorunsDisabled
// subfolder and back on plain folders and on a real NTFS volume.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "context/context.h"
#include "registry/hive_mounting.h"
#include "rules/startup_folders.h"
#include "support/ntfs_volume.h"
#include "support/target_tree.h"
#include "support/test_files.h"

namespace engine::rules {
namespace {

namespace fs = std::filesystem;
using test::expandSz;
using test::PlantedValue;
using test::sz;
using test::WindowsKind;
using Strings = std::vector<std::string>;

const std::string kShellFolders = "Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const std::string kUserShell = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";

void writeFile(const fs::path& file, const std::string& text = "x") {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

TEST(StartupFolders, FollowTheHivesOnTheMountedDrives) {
    struct Case {
        const char* what;
        std::vector<PlantedValue> system;
        std::vector<PlantedValue> user;
        const char* common;
        const char* userFolder;
    };
    const std::vector<Case> cases = {
        {"the installation's own drive letters give way to the mounted ones",
         {sz(kShellFolders, "Common Startup", "C:\\Docs\\All Users\\Startup")},
         {sz(kUserShell + "Shell Folders", "Startup", "C:\\Docs\\Admin\\Startup")},
         "d:\\Docs\\All Users\\Startup",
         "e:\\Docs\\Admin\\Startup"},
        {"User Shell Folders first, its %USERPROFILE%\\ the profile's folder",
         {},
         {expandSz(kUserShell + "User Shell Folders", "Startup",
                   "%USERPROFILE%\\Главное меню\\Программы\\Автозагрузка"),
          sz(kUserShell + "Shell Folders", "Startup", "C:\\Docs\\Admin\\Startup")},
         "",
         "e:\\Profiles\\Admin\\Главное меню\\Программы\\Автозагрузка"},
        {"a % anywhere drops exactly 14 characters",
         {},
         {sz(kUserShell + "Shell Folders", "Startup", "C:\\Start%Menu\\Programs\\Startup")},
         "",
         "e:\\Profiles\\Admin\\Programs\\Startup"},
        {"values naming no folder: none, rather than a drive's root or the profile",
         {sz(kShellFolders, "Common Startup", "C:\\")},
         {sz(kUserShell + "Shell Folders", "Startup", "%USERPROFILE%\\")},
         "",
         ""},
        {"no values at all", {}, {}, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TargetTree tree;
        tree.addInstallation('d', "WINDOWS", WindowsKind::Xp32, c.system);
        const fs::path user = tree.drive('e') / "Profiles" / "Admin" / "NTUSER.DAT";
        fs::create_directories(user.parent_path());
        test::makeHive(user, c.user.empty() ? std::vector{test::keyOnly("Software")} : c.user);
        Context context = tree.context();
        context.CurrentSystemHive = "d:\\WINDOWS\\system32\\config\\software";
        context.CurrentUserHive = "e:\\Profiles\\Admin\\NTUSER.DAT";
        ASSERT_TRUE(
            registry::LoadHive(context, registry::kSoftwareMount, context.CurrentSystemHive));
        ASSERT_TRUE(registry::LoadHive(context, registry::kUserMount, context.CurrentUserHive));
        EXPECT_EQ(CommonStartupFolder(context), c.common);
        EXPECT_EQ(UserStartupFolder(context), c.userFolder);
    }
}

TEST(StartupFiles, ListsFilesOnlyWithoutExactIni) {
    test::TargetTree tree;
    const fs::path folder = tree.drive('c') / "Startup";
    for (const char* name :
         {"desktop.ini", "DESKTOP.INI", "b.lnk", "A.exe", "noext", "x.ini.exe", "c.Ini"}) {
        writeFile(folder / name);
    }
    fs::create_directories(folder / "Sub");
    fs::create_directories(tree.drive('c') / "Elsewhere");
    fs::create_directory_symlink(tree.drive('c') / "Elsewhere", folder / "LinkedFolder");
    EXPECT_EQ(ListStartupFiles(tree.drives(), "c:\\Startup"),
              (Strings{"A.exe", "b.lnk", "c.Ini", "DESKTOP.INI", "noext", "x.ini.exe"}));
    // Any spelling of the folder, as Windows finds it.
    EXPECT_EQ(ListStartupFiles(tree.drives(), "C:\\STARTUP").size(), 6u);
    EXPECT_TRUE(ListStartupFiles(tree.drives(), "c:\\Missing").empty());
    EXPECT_TRUE(ListStartupFiles(tree.drives(), "").empty());
    EXPECT_TRUE(ListStartupFiles(tree.drives(), "q:\\Startup").empty());
}

TEST(StartupFiles, MovesNeverReplaceNorLeaveTheFolder) {
    test::TargetTree tree;
    const fs::path folder = tree.drive('c') / "Startup";
    writeFile(folder / "a.exe", "active");
    writeFile(folder / "AutorunsDisabled" / "a.exe", "disabled");
    writeFile(folder / "b.exe", "b");
    writeFile(tree.drive('c') / "outside.exe", "outside");

    // A name taken on the other side: nothing moves, both files stay.
    EXPECT_FALSE(MoveStartupFile(tree.drives(), "c:\\Startup", "a.exe", false));
    EXPECT_FALSE(MoveStartupFile(tree.drives(), "c:\\Startup", "a.exe", true));
    EXPECT_EQ(test::readFile(folder / "a.exe"),
              (std::vector<unsigned char>{'a', 'c', 't', 'i', 'v', 'e'}));
    EXPECT_EQ(test::readFile(folder / "AutorunsDisabled" / "a.exe").size(), 8u);

    // Names that would leave the folder, and folders that are no folder.
    for (const char* name : {"..\\outside.exe", "../outside.exe", "..", "", "AutorunsDisabled"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(MoveStartupFile(tree.drives(), "c:\\Startup", name, false));
    }
    EXPECT_FALSE(MoveStartupFile(tree.drives(), "", "b.exe", false));
    EXPECT_FALSE(MoveStartupFile(tree.drives(), "c:\\Missing", "b.exe", false));
    EXPECT_TRUE(fs::exists(tree.drive('c') / "outside.exe"));
    EXPECT_TRUE(fs::exists(folder / "b.exe"));

    // A link in place of the subfolder is not followed.
    fs::remove_all(folder / "AutorunsDisabled");
    fs::create_directories(tree.drive('c') / "Elsewhere");
    fs::create_directory_symlink(tree.drive('c') / "Elsewhere", folder / "AutorunsDisabled");
    EXPECT_FALSE(MoveStartupFile(tree.drives(), "c:\\Startup", "b.exe", false));
    EXPECT_TRUE(fs::exists(folder / "b.exe"));
    EXPECT_TRUE(fs::is_empty(tree.drive('c') / "Elsewhere"));
}

// On NTFS the subfolder is made hidden, as Windows marks it; a taken name
// is refused there as well.
TEST(StartupFiles, TheSubfolderIsHiddenOnNtfs) {
    test::TempDir work;
    std::string whyNot;
    const auto volume = test::NtfsVolume::create(work.path(), whyNot);
    if (!volume) {
        GTEST_SKIP() << "no NTFS volume: " << whyNot;
    }
    const fs::path folder = volume->root() / "Startup";
    writeFile(folder / "a.exe", "a");
    writeFile(folder / "b.exe", "b");
    platform::DriveTable drives;
    drives.add('c', platform::DriveType::Fixed, volume->root());

    ASSERT_TRUE(MoveStartupFile(drives, "c:\\Startup", "a.exe", false));
    const auto attributes = test::readXattr(folder / "AutorunsDisabled", "system.ntfs_attrib_be");
    ASSERT_TRUE(attributes);
    ASSERT_EQ(attributes->size(), 4u);
    EXPECT_EQ((*attributes)[3] & 0x12, 0x12) << "a hidden folder";
    EXPECT_TRUE(fs::exists(folder / "AutorunsDisabled" / "a.exe"));

    writeFile(folder / "a.exe", "again");
    EXPECT_FALSE(MoveStartupFile(drives, "c:\\Startup", "a.exe", false));
    EXPECT_EQ(test::readFile(folder / "AutorunsDisabled" / "a.exe"),
              (std::vector<unsigned char>{'a'}));
    fs::remove(folder / "a.exe");

    ASSERT_TRUE(MoveStartupFile(drives, "c:\\Startup", "a.exe", true));
    EXPECT_TRUE(fs::exists(folder / "a.exe"));
    EXPECT_FALSE(fs::exists(folder / "AutorunsDisabled"));
}

} // namespace
} // namespace engine::rules
