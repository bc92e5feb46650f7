// Windows paths through the drive table: component matching as Windows
// matches, paths kept inside their drive, and the discovery listings. The
// mapping and listing tests also run on a real NTFS volume, whose driver
// keeps names case-sensitive as this host does.
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/windows_paths.h"
#include "support/ntfs_volume.h"
#include "support/test_files.h"

namespace engine::platform {
namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& file, const std::string& text = "x") {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << text;
}

// A Windows 7 system drive as its installer spells it.
void makeWindows7Tree(const fs::path& root) {
    writeFile(root / "Windows" / "System32" / "config" / "SOFTWARE");
    writeFile(root / "Windows" / "System32" / "config" / "SYSTEM");
    fs::create_directories(root / "Windows" / "System32" / "drivers" / "etc");
    writeFile(root / "Windows" / "explorer.exe");
    fs::create_directories(root / "Users" / "Public");
    fs::create_directories(root / "Program Files");
    fs::create_directories(root / "$Recycle.Bin");
    fs::create_directories(root / "ProgramData");
    writeFile(root / "pagefile.sys");
    writeFile(root / "bootmgr");
    fs::create_directories(root / "\xd0\x9f\xd0\xb0\xd0\xbf\xd0\xba\xd0\xb0"); // "Папка"
}

DriveTable tableWithC(const fs::path& root) {
    DriveTable table;
    table.add('c', DriveType::Fixed, root);
    return table;
}

// The mapping of a Windows 7 tree at `root`, which is drive c:.
void checkPathMapping(const fs::path& root) {
    const DriveTable drives = tableWithC(root);
    const fs::path config = root / "Windows" / "System32" / "config";
    struct Case {
        const char* windowsPath;
        fs::path host;
    };
    const Case cases[] = {
        {"c:\\Windows\\System32\\config\\SOFTWARE", config / "SOFTWARE"},
        {"c:\\WINDOWS\\system32\\config\\software", config / "SOFTWARE"},
        {"C:/windows/SYSTEM32/Config/Software", config / "SOFTWARE"},
        {"c:\\windows\\system32\\\\config\\", config},
        {"c:\\windows\\system32\\config\\software.sav", config / "software.sav"},
        {"c:\\windows\\NoSuch\\DRIVERS\\etc", root / "Windows" / "NoSuch" / "DRIVERS" / "etc"},
        {"c:\\windows\\.\\system32\\..\\EXPLORER.EXE", root / "Windows" / "explorer.exe"},
        {"c:\\users\\..\\..\\..\\..\\etc\\passwd", root / "etc" / "passwd"},
        {"c:\\..\\windows", root / "Windows"},
        {"c:..\\..", root},
        {"c:\\", root},
        {"C:", root},
        {"c:\\program files", root / "Program Files"},
        {"c:\\$RECYCLE.BIN", root / "$Recycle.Bin"},
        {"c:\\\xd0\xbf\xd0\x90\xd0\x9f\xd0\xba\xd0\xb0", // "пАПка"
         root / "\xd0\x9f\xd0\xb0\xd0\xbf\xd0\xba\xd0\xb0"},
    };
    for (const Case& c : cases) {
        const auto host = toHostPath(drives, c.windowsPath);
        ASSERT_TRUE(host) << c.windowsPath;
        EXPECT_EQ(host->lexically_normal(), c.host.lexically_normal()) << c.windowsPath;
    }
    for (const char* notOnATableDrive : {"d:\\Windows", "\\Windows", "Windows", "", "c", "1:\\",
                                         "\\\\server\\c$\\Windows", "::"}) {
        EXPECT_FALSE(toHostPath(drives, notOnATableDrive)) << notOnATableDrive;
    }

    EXPECT_TRUE(FileExists(drives, "c:\\windows\\system32\\config\\software"));
    EXPECT_TRUE(FileExists(drives, "C:\\WINDOWS\\EXPLORER.EXE"));
    EXPECT_FALSE(FileExists(drives, "c:\\windows\\system32\\config"));
    EXPECT_FALSE(FileExists(drives, "c:\\windows\\system32\\config\\sam"));
    EXPECT_FALSE(FileExists(drives, "d:\\windows\\explorer.exe"));
    EXPECT_TRUE(DirectoryExists(drives, "c:\\WINDOWS\\SYSTEM32\\"));
    EXPECT_TRUE(DirectoryExists(drives, "c:\\"));
    EXPECT_FALSE(DirectoryExists(drives, "c:\\windows\\explorer.exe"));
    EXPECT_FALSE(DirectoryExists(drives, "c:\\windows\\nosuch"));
}

std::set<std::string> asSet(const std::vector<std::string>& names) {
    return {names.begin(), names.end()};
}

// The listings of the same tree, whose root may hold `moreFolders`.
void checkSubfolders(const fs::path& root, const std::set<std::string>& moreFolders = {}) {
    const DriveTable drives = tableWithC(root);
    // A drive root has no "." and "..", hidden and system folders count,
    // files do not.
    const auto top = ListSubfolders(drives, "c:\\");
    EXPECT_EQ(top.size(), asSet(top).size());
    std::set<std::string> expected = {"Windows",       "Users",
                                      "Program Files", "$Recycle.Bin",
                                      "ProgramData",   "\xd0\x9f\xd0\xb0\xd0\xbf\xd0\xba\xd0\xb0"};
    expected.insert(moreFolders.begin(), moreFolders.end());
    EXPECT_EQ(asSet(top), expected);
    // Any other folder lists "." and ".." first; names keep their own case.
    for (const char* folder : {"c:\\Windows\\System32\\", "c:\\windows\\SYSTEM32\\"}) {
        const auto names = ListSubfolders(drives, folder);
        ASSERT_GE(names.size(), 2u) << folder;
        EXPECT_EQ(names[0], ".") << folder;
        EXPECT_EQ(names[1], "..") << folder;
        EXPECT_EQ(asSet({names.begin() + 2, names.end()}),
                  (std::set<std::string>{"config", "drivers"}))
            << folder;
    }
    EXPECT_EQ(ListSubfolders(drives, "c:\\users\\public\\"), (std::vector<std::string>{".", ".."}));
    // What cannot be listed gives nothing, not even "." and "..".
    for (const char* folder : {"c:\\nosuch\\", "c:\\pagefile.sys\\", "d:\\", "\\Windows\\"}) {
        EXPECT_TRUE(ListSubfolders(drives, folder).empty()) << folder;
    }
}

TEST(WindowsPaths, MapsComponentsAsWindowsMatchesThem) {
    test::TempDir dir;
    makeWindows7Tree(dir / "c");
    checkPathMapping(dir / "c");
}

TEST(WindowsPaths, ExactSpellingBeforeAnyOther) {
    // Two entries differing only in case, as a case-sensitive host allows.
    test::TempDir dir;
    writeFile(dir / "c" / "Windows" / "a.txt");
    writeFile(dir / "c" / "windows" / "b.txt");
    writeFile(dir / "c" / "WINDOWS" / "c.txt");
    const DriveTable drives = tableWithC(dir / "c");
    EXPECT_EQ(*toHostPath(drives, "c:\\windows\\x"), dir / "c" / "windows" / "x");
    EXPECT_EQ(*toHostPath(drives, "c:\\Windows\\x"), dir / "c" / "Windows" / "x");
    EXPECT_EQ(*toHostPath(drives, "c:\\WINDOWS\\x"), dir / "c" / "WINDOWS" / "x");
    // A spelling none has finds one of them, the same one each time.
    const auto any = toHostPath(drives, "c:\\wINDOWS");
    ASSERT_TRUE(any);
    EXPECT_EQ(any->parent_path(), dir / "c");
    EXPECT_TRUE(fs::is_directory(*any));
    EXPECT_EQ(toHostPath(drives, "c:\\wINDOWS"), any);
}

TEST(WindowsPaths, DotDotStaysOnItsDrive) {
    // c: is a folder inside d:'s folder; climbing out of c: must not reach d:.
    test::TempDir dir;
    writeFile(dir / "d" / "secret.txt");
    makeWindows7Tree(dir / "d" / "c");
    DriveTable drives;
    drives.add('d', DriveType::Fixed, dir / "d");
    drives.add('c', DriveType::Fixed, dir / "d" / "c");
    EXPECT_FALSE(FileExists(drives, "c:\\..\\secret.txt"));
    EXPECT_FALSE(FileExists(drives, "c:\\windows\\..\\..\\secret.txt"));
    EXPECT_TRUE(FileExists(drives, "d:\\c\\..\\secret.txt"));
    EXPECT_EQ(ListSubfolders(drives, "c:\\..\\"), ListSubfolders(drives, "c:\\"));
}

TEST(WindowsPaths, DriveOf) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\WINDOWS", "c:"},
        {"x:", "x:"},
        {"d:relative", "d:"},
        {"Z:/", "z:"},
        {"\\Windows", ""},
        {"c", ""},
        {"", ""},
        {"1:\\", ""},
        {"\\\\srv\\c$", ""},
        {":\\x", ""},
    };
    for (const auto& [path, drive] : cases) {
        EXPECT_EQ(driveOf(path), drive) << path;
    }
}

TEST(ListFixedDrives, FixedDrivesButTheRunningSystems) {
    DriveTable drives;
    drives.add('c', DriveType::Fixed, "/c");
    drives.add('d', DriveType::Fixed, "/d");
    drives.add('e', DriveType::Removable, "/e");
    drives.add('f', DriveType::Cdrom, "/f");
    drives.add('g', DriveType::Remote, "/g");
    drives.add('h', DriveType::RamDisk, "/h");
    drives.add('x', DriveType::Fixed, "/x");
    drives.add('a', DriveType::Removable, "/a");
    using List = std::vector<std::string>;
    const std::pair<std::optional<std::string>, List> cases[] = {
        {std::nullopt, {"c:\\", "d:\\", "x:\\"}},
        {"", {"c:\\", "d:\\", "x:\\"}},
        {"X:\\WINDOWS", {"c:\\", "d:\\"}},
        {"c:\\windows", {"d:\\", "x:\\"}},
        {"D:", {"c:\\", "x:\\"}},
        {"E:\\Windows", {"c:\\", "d:\\", "x:\\"}},
        {"Q:\\WINDOWS", {"c:\\", "d:\\", "x:\\"}},
    };
    for (const auto& [windir, expected] : cases) {
        EXPECT_EQ(ListFixedDrives(drives, windir), expected) << windir.value_or("(unset)");
    }

    DriveTable onlyTheRunningSystem;
    onlyTheRunningSystem.add('c', DriveType::Fixed, "/c");
    onlyTheRunningSystem.add('f', DriveType::Cdrom, "/f");
    EXPECT_TRUE(ListFixedDrives(onlyTheRunningSystem, "C:\\WINDOWS").empty());
    EXPECT_TRUE(ListFixedDrives(DriveTable{}, std::nullopt).empty());
}

TEST(ListSubfolders, EveryFolderEntryWithDotsBelowTheRoot) {
    test::TempDir dir;
    makeWindows7Tree(dir / "c");
    fs::create_directories(dir / "c" / ".hidden");
    fs::create_directory_symlink("Windows", dir / "c" / "Documents and Settings");
    // A link to a folder lists as a folder, as a junction does on Windows.
    checkSubfolders(dir / "c", {".hidden", "Documents and Settings"});
}

class OnNtfs : public ::testing::Test {
protected:
    void SetUp() override {
        std::string whyNot;
        volume_ = test::NtfsVolume::create(dir_.path(), whyNot);
        if (!volume_) {
            GTEST_SKIP() << "no NTFS volume: " << whyNot;
        }
        makeWindows7Tree(volume_->root());
        // Hidden and system, as Windows marks these.
        for (const char* folder : {"$Recycle.Bin", "ProgramData"}) {
            ASSERT_TRUE(test::writeXattr(volume_->root() / folder, "system.ntfs_attrib_be",
                                         {0x00, 0x00, 0x00, 0x16}))
                << folder;
        }
    }
    const fs::path& root() const { return volume_->root(); }

private:
    test::TempDir dir_;
    std::unique_ptr<test::NtfsVolume> volume_;
};

TEST_F(OnNtfs, MapsAWindows7Tree) {
    checkPathMapping(root());
}

TEST_F(OnNtfs, ListsHiddenFoldersWithDotsBelowTheRoot) {
    checkSubfolders(root());
}

} // namespace
} // namespace engine::platform
