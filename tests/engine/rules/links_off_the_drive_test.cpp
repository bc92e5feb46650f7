// Changes on a target drive through folders a locker replaced by links: a
// link out of the drive (absolute, or relative and climbing above the root)
// leads no read or write outside, and a link that stays on the drive is
// followed as Windows follows it.
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "context/context.h"
#include "rules/hosts_file.h"
#include "rules/startup_folders.h"
#include "support/target_tree.h"
#include "support/test_files.h"

namespace engine::rules {
namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

std::string textOf(const fs::path& file) {
    const auto bytes = test::readFile(file);
    return {bytes.begin(), bytes.end()};
}

enum class Link { AbsoluteOut, RelativeOut, OnTheDrive };

// Replaces the folder `at` on a drive by a link: out to `outside`,
// or to `inside` on the drive.
void linkFolder(const fs::path& at, Link link, const fs::path& outside, const fs::path& inside) {
    fs::remove_all(at);
    fs::create_directories(at.parent_path());
    switch (link) {
    case Link::AbsoluteOut:
        fs::create_directory_symlink(outside, at);
        break;
    case Link::RelativeOut: // "../../../../../tmp-folder/etc"
        fs::create_directory_symlink(fs::relative(outside, at.parent_path()), at);
        break;
    case Link::OnTheDrive:
        fs::create_directory_symlink(fs::relative(inside, at.parent_path()), at);
        break;
    }
    ASSERT_TRUE(fs::is_directory(at)) << at << ": the link leads where it should on the host";
}

const Link kLinks[] = {Link::AbsoluteOut, Link::RelativeOut, Link::OnTheDrive};

TEST(LinksOffTheDrive, HostsIsReadAndSavedOnlyOnItsDrive) {
    for (const Link link : kLinks) {
        SCOPED_TRACE(static_cast<int>(link));
        test::TargetTree tree;
        tree.addInstallation('c', "WINDOWS", test::WindowsKind::Xp32);
        const fs::path root = tree.drive('c');
        const test::TempDir outsideDir;
        const fs::path outside = outsideDir / "etc";
        writeFile(outside / "hosts", "127.0.0.1 outside.example\n");
        writeFile(root / "RealEtc" / "hosts", "127.0.0.1 inside.example\n");
        linkFolder(root / "WINDOWS" / "system32" / "drivers" / "etc", link, outside,
                   root / "RealEtc");
        const auto outsideBefore = test::treeSnapshot(outsideDir.path());

        Context context = tree.context();
        context.CurrentSystemHive = "c:\\WINDOWS\\system32\\config\\software";
        context.LoadedSystemRoot = "C:\\WINDOWS";
        HostsPage page;
        LoadHostsFile(context, page);
        const bool onTheDrive = link == Link::OnTheDrive;
        EXPECT_EQ(page.HostsFilePath.empty(), !onTheDrive) << "found only on the drive";
        for (const auto& line : page.Redirections) {
            EXPECT_EQ(line.find("outside"), std::string::npos) << line;
        }
        ClearHostsEditor(page);
        EXPECT_EQ(SaveHostsFile(context, page).has_value(), onTheDrive);

        EXPECT_EQ(test::treeSnapshot(outsideDir.path()), outsideBefore);
        if (onTheDrive) {
            EXPECT_EQ(textOf(root / "RealEtc" / "hosts").find("inside.example"), std::string::npos)
                << "the file on the drive was saved";
        }
    }
}

TEST(LinksOffTheDrive, StartupFilesMoveOnlyOnTheirDrive) {
    for (const Link link : kLinks) {
        SCOPED_TRACE(static_cast<int>(link));
        test::TargetTree tree;
        const fs::path root = tree.drive('c');
        const test::TempDir outsideDir;
        const fs::path outside = outsideDir / "Startup";
        writeFile(outside / "locker.exe", "outside");
        writeFile(root / "RealStartup" / "locker.exe", "inside");
        linkFolder(root / "Profile" / "Startup", link, outside, root / "RealStartup");
        const auto outsideBefore = test::treeSnapshot(outsideDir.path());

        const bool onTheDrive = link == Link::OnTheDrive;
        const auto listed = ListStartupFiles(tree.drives(), "c:\\Profile\\Startup");
        EXPECT_EQ(listed.size(), onTheDrive ? 1u : 0u);
        EXPECT_EQ(MoveStartupFile(tree.drives(), "c:\\Profile\\Startup", "locker.exe", false),
                  onTheDrive);

        EXPECT_EQ(test::treeSnapshot(outsideDir.path()), outsideBefore);
        if (onTheDrive) {
            EXPECT_EQ(textOf(root / "RealStartup" / "AutorunsDisabled" / "locker.exe"), "inside");
        }
    }
}

} // namespace
} // namespace engine::rules
