// Emptying folders: the whole tree goes but the folder stays, links go
// without their targets, the stop rule, and the folders that must never be
// emptied whatever TEMP says.
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "context/context.h"
#include "registry/hive_mounting.h"
#include "rules/clear_folder.h"
#include "rules/temp_folders.h"
#include "support/target_tree.h"
#include "support/test_files.h"

namespace engine::rules {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

void touch(const fs::path& file) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "x";
}

bool isEmptyFolder(const fs::path& folder) {
    return fs::is_directory(fs::symlink_status(folder)) && fs::is_empty(folder);
}

// The real remover, except for the entries named here.
class RefusingRemover final : public EntryRemover {
public:
    explicit RefusingRemover(std::set<std::string> refused)
        : refused_(std::move(refused)) {}
    bool removeFile(const fs::path& file) override {
        return !refused_.contains(file.filename().string()) && real_.removeFile(file);
    }
    bool removeFolder(const fs::path& folder) override {
        return !refused_.contains(folder.filename().string()) && real_.removeFolder(folder);
    }

private:
    std::set<std::string> refused_;
    RealEntryRemover real_;
};

class ClearFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        c_ = tree_.drive('c');
        temp_ = c_ / "Temp";
        fs::create_directories(temp_);
        context_ = tree_.context();
    }
    test::TargetTree tree_;
    fs::path c_;
    fs::path temp_;
    Context context_;
};

TEST_F(ClearFolderTest, EmptiesEverythingButNeverFollowsALinkOut) {
    test::TempDir outside;
    touch(outside / "keep.txt");
    touch(temp_ / "readonly.tmp");
    fs::permissions(temp_ / "readonly.tmp", fs::perms(0444));
    touch(temp_ / "a" / "b" / "c" / "deep.tmp");
    touch(temp_ / "a" / "one.tmp");
    fs::permissions(temp_ / "a" / "b", fs::perms(0555));
    fs::create_directory_symlink(outside.path(), temp_ / "junction");
    fs::create_directory_symlink(outside.path(), temp_ / "a" / "inner-junction");
    fs::create_symlink(outside / "keep.txt", temp_ / "file-link");
    fs::create_symlink(outside / "gone", temp_ / "dangling");

    const ClearResult result = ClearFolder(context_, "C:\\Temp");
    EXPECT_EQ(result.outcome, ClearOutcome::Cleared);
    EXPECT_TRUE(result.messages.empty());
    EXPECT_TRUE(isEmptyFolder(temp_));
    EXPECT_TRUE(fs::exists(outside / "keep.txt"));
    EXPECT_EQ(std::distance(fs::directory_iterator(outside.path()), {}), 1);
}

TEST_F(ClearFolderTest, AFileThatCannotBeDeletedStopsEverything) {
    // Windows' order: a.tmp, sub (1.tmp, keep.tmp, z.tmp), z.tmp.
    for (const char* name : {"a.tmp", "sub/1.tmp", "sub/keep.tmp", "sub/z.tmp", "z.tmp"}) {
        touch(temp_ / name);
    }
    RefusingRemover remover({"keep.tmp"});
    const ClearResult result = ClearFolder(context_, "C:\\Temp\\", remover);
    EXPECT_EQ(result.outcome, ClearOutcome::Failed);
    EXPECT_EQ(result.messages, Strings{"Не могу удалить файл: keep.tmp"});
    EXPECT_FALSE(fs::exists(temp_ / "a.tmp"));
    EXPECT_FALSE(fs::exists(temp_ / "sub" / "1.tmp"));
    EXPECT_TRUE(fs::exists(temp_ / "sub" / "keep.tmp"));
    EXPECT_TRUE(fs::exists(temp_ / "sub" / "z.tmp")) << "the cleaning stopped";
    EXPECT_TRUE(fs::exists(temp_ / "z.tmp")) << "also in the folders above";
}

TEST_F(ClearFolderTest, ASubfolderThatStaysFailsTheResultButTheWorkGoesOn) {
    touch(temp_ / "a" / "x.tmp");
    touch(temp_ / "b.tmp");
    RefusingRemover remover({"a"});
    const ClearResult result = ClearFolder(context_, "c:\\temp", remover);
    EXPECT_EQ(result.outcome, ClearOutcome::Failed);
    EXPECT_TRUE(result.messages.empty());
    EXPECT_TRUE(isEmptyFolder(temp_ / "a"));
    EXPECT_FALSE(fs::exists(temp_ / "b.tmp"));
}

TEST_F(ClearFolderTest, RefusesDrivesWindowsProfilesMountedHivesAndWhatLeadsThere) {
    tree_.addInstallation('c', "WINDOWS", test::WindowsKind::Xp32);
    tree_.addProfile('c', test::WindowsKind::Xp32, "Admin");
    tree_.drive('d');
    touch(tree_.drive('d') / "hives" / "user.dat.LOG1");
    fs::copy_file(test::testdata("hives/xp-ntuser.dat"), tree_.drive('d') / "hives" / "user.dat");
    fs::permissions(tree_.drive('d') / "hives" / "user.dat", fs::perms::owner_write,
                    fs::perm_options::add);
    fs::create_directory_symlink(c_, temp_ / "to-root");
    test::TempDir outside;
    fs::create_directory_symlink(outside.path(), c_ / "out");
    touch(outside / "keep.txt");

    context_ = tree_.context();
    context_.SystemFolders = {"c:\\WINDOWS"};
    context_.ProfileHives = {"c:\\Documents and Settings\\Admin\\NTUSER.DAT"};
    ASSERT_TRUE(registry::LoadHive(context_, registry::kUserMount, "d:\\hives\\user.dat"))
        << context_.registry.lastOutcome().detail;

    struct Case {
        const char* folder;
        const char* reason;
    };
    const Case cases[] = {
        {"c:\\", "является корнем диска"},
        {"C:", "является корнем диска"},
        {"c:\\Temp\\to-root", "является корнем диска"},
        {"c:\\windows", "является папкой Windows или содержит её"},
        {"c:\\WINDOWS\\..", "является корнем диска"},
        {"c:\\Documents and Settings", "является папкой профилей пользователей или содержит её"},
        {"c:\\Documents and Settings\\Admin\\",
         "является папкой профиля пользователя или содержит её"},
        {"d:\\hives", "содержит подключенный куст реестра или его журнал"},
        {"c:\\out", "ведет за пределы своего диска"},
    };
    for (const Case& c : cases) {
        const ClearResult result = ClearFolder(context_, c.folder);
        EXPECT_EQ(result.outcome, ClearOutcome::Refused) << c.folder;
        EXPECT_EQ(result.messages, Strings{"Очистка отменена: папка " + std::string(c.folder) +
                                           " " + c.reason + "..."})
            << c.folder;
    }
    EXPECT_TRUE(fs::exists(temp_ / "to-root"));
    EXPECT_TRUE(fs::exists(tree_.drive('d') / "hives" / "user.dat.LOG1"));
    EXPECT_TRUE(fs::exists(outside / "keep.txt"));
    ASSERT_TRUE(registry::UnloadHive(context_, registry::kUserMount));
}

TEST(TempFolders, ValuesWithPercentLoseFourteenCharactersForTheProfileFolder) {
    const std::string hive = "c:\\Documents and Settings\\Admin\\NTUSER.DAT";
    struct Case {
        const char* value;
        const char* folder;
    };
    const Case cases[] = {
        {"%USERPROFILE%\\Local Settings\\Temp",
         "c:\\Documents and Settings\\Admin\\Local Settings\\Temp"},
        {"%USERPROFILE%\\", "c:\\Documents and Settings\\Admin\\"},
        {"C:\\Temp", "C:\\Temp"},
        {"C:\\a%b\\Temp\\long\\x", "c:\\Documents and Settings\\Admin\\ng\\x"},
        {"%Ю%", "c:\\Documents and Settings\\Admin\\"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tempFolderFromValue(c.value, hive), c.folder) << c.value;
    }
}

class TempFoldersTest : public ::testing::Test {
protected:
    void mountUser(const std::string& temp, const std::string& tmp) {
        tree_.addInstallation('c', "WINDOWS", test::WindowsKind::Xp32);
        hive_ = tree_.addProfile('c', test::WindowsKind::Xp32, "Admin");
        fs::remove(hive_);
        test::makeHive(hive_, {test::expandSz("Environment", "TEMP", temp),
                               test::expandSz("Environment", "TMP", tmp)});
        context_ = tree_.context();
        context_.CurrentUserHive = "c:\\Documents and Settings\\Admin\\NTUSER.DAT";
        ASSERT_TRUE(registry::LoadHive(context_, registry::kUserMount, context_.CurrentUserHive));
    }
    void TearDown() override { (void)registry::UnloadHive(context_, registry::kUserMount); }

    test::TargetTree tree_;
    fs::path hive_;
    Context context_;
};

TEST_F(TempFoldersTest, EqualButForCaseHidesTmpAndCleansOnlyTemp) {
    mountUser("%USERPROFILE%\\Local Settings\\Temp", "%userprofile%\\LOCAL SETTINGS\\TEMP");
    const fs::path temp = hive_.parent_path() / "Local Settings" / "Temp";
    touch(temp / "readonly.tmp");
    fs::permissions(temp / "readonly.tmp", fs::perms(0444));
    touch(temp / "sub" / "1.tmp");
    touch(temp / "sub" / "2.tmp");

    TempFolders folders = LoadTempFolders(context_);
    EXPECT_EQ(folders.Temp, "c:\\Documents and Settings\\Admin\\Local Settings\\Temp");
    EXPECT_FALSE(folders.TmpShown);
    EXPECT_FALSE(folders.TempTicked || folders.TmpTicked);

    folders.TmpTicked = true; // ticked but hidden: nothing
    EXPECT_TRUE(ClearTempFolders(context_, folders).empty());
    EXPECT_TRUE(fs::exists(temp / "readonly.tmp"));

    folders.TempTicked = true;
    EXPECT_EQ(ClearTempFolders(context_, folders), Strings{"Очищена папка временных файлов..."});
    EXPECT_TRUE(isEmptyFolder(temp));
}

TEST_F(TempFoldersTest, AStopShowsTheFailureLastAndAMissingFolderNothing) {
    mountUser("C:\\Temp", "C:\\Missing");
    touch(tree_.drive('c') / "Temp" / "locked.tmp");
    TempFolders folders = LoadTempFolders(context_);
    ASSERT_TRUE(folders.TmpShown);
    folders.TempTicked = folders.TmpTicked = true;
    RefusingRemover remover({"locked.tmp"});
    EXPECT_EQ(ClearTempFolders(context_, folders, remover),
              (Strings{"Не могу удалить файл: locked.tmp",
                       "Не удалось очистить папку временных файлов..."}));
}

TEST_F(TempFoldersTest, ATempSetToTheProfileItselfIsRefused) {
    mountUser("%USERPROFILE%\\", "C:\\");
    TempFolders folders = LoadTempFolders(context_);
    folders.TempTicked = folders.TmpTicked = true;
    EXPECT_EQ(ClearTempFolders(context_, folders),
              (Strings{"Очистка отменена: папка c:\\Documents and Settings\\Admin\\ является "
                       "папкой профиля пользователя или содержит её...",
                       "Очистка отменена: папка C:\\ является корнем диска..."}));
    EXPECT_TRUE(fs::exists(hive_));
}

} // namespace
} // namespace engine::rules
