// Paths of a target drive resolved inside its folder: links followed as
// Windows follows them on its own volume, never off the drive. The same
// table runs on a host folder and on a real ntfs-3g volume, where Windows'
// own junction ("Documents and Settings" to C:\Users) shows as a link whose
// target is an absolute host path inside the mount.
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/windows_paths.h"
#include "support/ntfs_volume.h"
#include "support/test_files.h"

namespace engine::platform {
namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& file) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << "x";
}

// The drive `root`, with links in and out of it; `outside` lies next to it.
// "Documents and Settings" is a junction when asked and the driver makes
// one (the result), else a link to the absolute host path of Users.
bool makeLinkedTree(const fs::path& root, const fs::path& outside, bool junction) {
    writeFile(root / "Windows" / "System32" / "config" / "SOFTWARE");
    writeFile(root / "Users" / "Admin" / "NTUSER.DAT");
    writeFile(outside / "Admin" / "NTUSER.DAT");
    fs::create_directories(root / "Documents and Settings");
    const bool madeJunction =
        junction && test::makeJunction(root / "Documents and Settings", "C:\\Users");
    if (!madeJunction) {
        fs::remove(root / "Documents and Settings");
        fs::create_directory_symlink(root / "Users", root / "Documents and Settings");
    }
    fs::create_directory_symlink("Users", root / "Profiles");           // relative, inside
    fs::create_directory_symlink("System32", root / "Windows" / "Sys"); // relative, a level down
    fs::create_directory_symlink(outside, root / "Users" / "Out");      // absolute, out
    fs::create_directory_symlink("../../../" + outside.filename().string() + "/Admin",
                                 root / "Users" / "Climb");              // relative, climbing out
    fs::create_directory_symlink("/Windows", root / "Users" / "Rooted"); // absolute, re-rooted
    fs::create_directory_symlink("/", root / "Users" / "Top");
    fs::create_symlink("NTUSER.DAT", root / "Users" / "Admin" / "alias.dat");
    fs::create_symlink(outside / "Admin" / "NTUSER.DAT", root / "Users" / "Admin" / "out.dat");
    fs::create_directory_symlink("LoopB", root / "LoopA");
    fs::create_directory_symlink("LoopA", root / "LoopB");
    fs::create_directory_symlink("Deep", root / "Deep");
    return madeJunction;
}

void checkResolution(const fs::path& root, const fs::path& outside) {
    DriveTable drives;
    drives.add('c', DriveType::Fixed, root);
    const fs::path admin = root / "Users" / "Admin";
    const fs::path config = root / "Windows" / "System32" / "config";
    const fs::path outsideInRoot = root / outside.relative_path();
    constexpr auto kEntry = LastComponent::AsEntry;
    constexpr auto kFollowed = LastComponent::Followed;
    struct Case {
        const char* windowsPath;
        LastComponent last;
        fs::path host;
        bool leftRoot;
    };
    const Case cases[] = {
        {"c:\\Documents and Settings\\Admin\\NTUSER.DAT", kFollowed, admin / "NTUSER.DAT", false},
        {"C:\\DOCUMENTS AND SETTINGS\\admin\\ntuser.dat", kEntry, admin / "NTUSER.DAT", false},
        {"c:\\profiles\\ADMIN", kFollowed, admin, false},
        {"c:\\windows\\SYS\\Config\\software", kFollowed, config / "SOFTWARE", false},
        {"c:\\Users\\Out\\Admin\\NTUSER.DAT", kFollowed, outsideInRoot / "Admin" / "NTUSER.DAT",
         true},
        {"c:\\Users\\Climb\\NTUSER.DAT", kFollowed,
         root / outside.filename() / "Admin" / "NTUSER.DAT", true},
        {"c:\\Users\\Rooted\\system32\\config\\SOFTWARE", kFollowed, config / "SOFTWARE", true},
        {"c:\\Users\\Top\\Users\\Top\\Windows", kFollowed, root / "Windows", true},
        {"c:\\Users\\Top", kEntry, root / "Users" / "Top", false},
        {"c:\\Users\\Top", kFollowed, root, true},
        {"c:\\Users\\Admin\\alias.dat", kFollowed, admin / "NTUSER.DAT", false},
        {"c:\\Users\\Admin\\alias.dat", kEntry, admin / "alias.dat", false},
        {"c:\\Users\\Admin\\out.dat", kEntry, admin / "out.dat", false},
        {"c:\\Users\\Admin\\out.dat", kFollowed, outsideInRoot / "Admin" / "NTUSER.DAT", true},
        {"c:\\Users\\Out\\..\\..\\..\\x", kFollowed, root / "x", false}, // ".." of the path itself
        {"c:\\Users\\Nosuch\\..\\Admin", kFollowed, admin, false},
    };
    for (const Case& c : cases) {
        const auto resolved = toPathInRoot(drives, c.windowsPath, c.last);
        ASSERT_TRUE(resolved) << c.windowsPath;
        EXPECT_EQ(resolved->host.lexically_normal(), c.host.lexically_normal()) << c.windowsPath;
        EXPECT_EQ(resolved->leftRoot, c.leftRoot) << c.windowsPath;
    }
    for (const char* looping : {"c:\\LoopA\\x", "c:\\LoopB", "c:\\Deep\\Deep"}) {
        EXPECT_FALSE(toHostPath(drives, looping)) << looping;
    }
    EXPECT_TRUE(toHostPath(drives, "c:\\LoopA", kEntry)) << "the link itself is there";

    // What the discovery sees: the profile through Windows' own link, and
    // nothing of the folder outside.
    EXPECT_TRUE(FileExists(drives, "c:\\Documents and Settings\\Admin\\NTUSER.DAT"));
    EXPECT_FALSE(FileExists(drives, "c:\\Users\\Out\\Admin\\NTUSER.DAT"));
    EXPECT_FALSE(FileExists(drives, "c:\\Users\\Climb\\NTUSER.DAT"));
    EXPECT_FALSE(FileExists(drives, "c:\\Users\\Admin\\out.dat"));
    EXPECT_TRUE(FileExists(drives, "c:\\Users\\Admin\\alias.dat"));
    const auto users = ListSubfolders(drives, "c:\\Users\\");
    EXPECT_EQ(users, (std::vector<std::string>{".", "..", "Admin", "Rooted", "Top"}))
        << "a link is a folder when what it names on the drive is one";
}

TEST(PathInRoot, FollowsLinksOnTheDriveAndNeverOffIt) {
    test::TempDir dir;
    (void)makeLinkedTree(dir / "c", dir / "outside", false);
    checkResolution(dir / "c", dir / "outside");
}

TEST(PathInRoot, OnNtfsWindowsOwnJunctionStillLeadsToTheProfiles) {
    test::TempDir dir;
    std::string whyNot;
    const auto volume = test::NtfsVolume::create(dir.path(), whyNot);
    if (!volume) {
        GTEST_SKIP() << "no NTFS volume: " << whyNot;
    }
    ASSERT_TRUE(makeLinkedTree(volume->root(), dir / "outside", true));
    // The driver shows a reparse point set through its attribute only once
    // mounted afresh.
    ASSERT_EQ(volume->remount(""), std::nullopt);
    const auto target = fs::read_symlink(volume->root() / "Documents and Settings");
    EXPECT_TRUE(target.is_absolute()) << target << ": ntfs-3g shows the junction's own form";
    checkResolution(volume->root(), dir / "outside");
}

} // namespace
} // namespace engine::platform
