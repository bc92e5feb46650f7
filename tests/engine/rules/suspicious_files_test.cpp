// The list of possible locker files: ticks, deletion with its marks over two
// presses, and paths that must not reach a file (a bare name, a link out).
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "context/context.h"
#include "rules/suspicious_files.h"
#include "support/target_tree.h"
#include "support/test_files.h"

namespace engine::rules {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

void touch(const fs::path& file) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "MZ";
}

Strings textsOf(const SuspiciousFiles& files) {
    Strings texts;
    for (const auto& file : files) {
        texts.push_back(file.Text);
    }
    return texts;
}

TEST(SuspiciousFiles, TickButtonsSetEveryEntry) {
    SuspiciousFiles files = suspiciousFilesFrom({"a.exe", "b.exe"});
    EXPECT_FALSE(files[0].Ticked || files[1].Ticked);
    CheckAllFiles(files);
    EXPECT_TRUE(files[0].Ticked && files[1].Ticked);
    UncheckAllFiles(files);
    EXPECT_FALSE(files[0].Ticked || files[1].Ticked);
}

TEST(SuspiciousFiles, DeletionMarksOverTwoPresses) {
    test::TargetTree tree;
    const fs::path locker = tree.drive('c') / "x" / "locker.exe";
    const fs::path kept = tree.drive('c') / "x" / "kept.exe";
    touch(locker);
    touch(kept);
    const Context context = tree.context();
    SuspiciousFiles files =
        suspiciousFilesFrom({"C:\\x\\locker.exe", "C:\\x\\kept.exe", "C:\\x\\absent.exe"});
    files[0].Ticked = true;
    files[2].Ticked = true;

    EXPECT_EQ(DeleteTickedFiles(context, files),
              (Strings{"Удаление файла успешно...", "Файл не найден..."}));
    EXPECT_EQ(textsOf(files), (Strings{"C:\\x\\locker.exe  - Удален...", "C:\\x\\kept.exe",
                                       "C:\\x\\absent.exe  - Не найден..."}));
    EXPECT_FALSE(fs::exists(locker));
    EXPECT_TRUE(fs::exists(kept));

    EXPECT_EQ(DeleteTickedFiles(context, files),
              (Strings{"Файл не найден...", "Файл не найден..."}));
    EXPECT_EQ(textsOf(files)[0], "C:\\x\\locker.exe  - Удален...  - Не найден...");
    EXPECT_TRUE(files[0].Ticked) << "ticks stay";

    UncheckAllFiles(files);
    EXPECT_TRUE(DeleteTickedFiles(context, files).empty()) << "nothing ticked: nothing shown";
}

TEST(SuspiciousFiles, ReachesOnlyFilesOnTheirDriveAndNeverThroughALink) {
    test::TargetTree tree;
    test::TempDir outside;
    const fs::path target = outside / "precious.exe";
    touch(target);
    const fs::path c = tree.drive('c');
    fs::create_directories(c / "x");
    fs::create_symlink(target, c / "x" / "link.exe");             // a link to a file elsewhere
    fs::create_directory_symlink(outside.path(), c / "junction"); // a junction out of the drive
    touch(c / "bare.exe");
    const Context context = tree.context();

    SuspiciousFiles files = suspiciousFilesFrom(
        {"C:\\x\\link.exe", "C:\\junction\\precious.exe", "bare.exe", "q:\\x\\y.exe"});
    CheckAllFiles(files);
    EXPECT_EQ(DeleteTickedFiles(context, files),
              (Strings{"Удаление файла успешно...", "Файл не найден...", "Файл не найден...",
                       "Файл не найден..."}));
    EXPECT_FALSE(fs::exists(fs::symlink_status(c / "x" / "link.exe"))) << "the link went";
    EXPECT_TRUE(fs::exists(target)) << "what it pointed at stays";
    EXPECT_TRUE(fs::exists(c / "bare.exe"));
}

} // namespace
} // namespace engine::rules
