// The system-file check: which version strings make taskmgr.exe and
// userinit.exe the system's own, and the check of one installation with its
// question and restore from the clean copies.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "context/context.h"
#include "rules/system_files.h"
#include "support/faulty_file_io.h"
#include "support/ntfs_volume.h"
#include "support/pe_builder.h"
#include "support/target_tree.h"
#include "support/test_files.h"
#include "support/write_conditions.h"

namespace engine::rules {
namespace {

namespace fs = std::filesystem;
using test::XpLanguage;

TFileVersionInfo record(const test::VersionStrings& s) {
    TFileVersionInfo info;
    info.CompanyName = s.companyName;
    info.FileDescription = s.fileDescription;
    info.InternalName = s.internalName;
    info.LegalCopyright = s.legalCopyright;
    info.OriginalFileName = s.originalFilename;
    info.ProductName = s.productName;
    return info;
}

TEST(IsGenuine, AcceptsEitherLanguagePerFieldAndAsciiCaseOnly) {
    using Field = std::string TFileVersionInfo::*;
    struct Case {
        const char* what;
        Field field;
        std::string value;
        bool genuine;
    };
    const Case taskmgrCases[] = {
        {"as shipped", &TFileVersionInfo::InternalName, "taskmgr", true},
        {"internal name in capitals", &TFileVersionInfo::InternalName, "TASKMGR", true},
        {"file name in capitals", &TFileVersionInfo::OriginalFileName, "TASKMGR.EXE", true},
        {"company in ASCII capitals", &TFileVersionInfo::CompanyName, "MICROSOFT CORPORATION",
         true},
        {"English description on a Russian file", &TFileVersionInfo::FileDescription,
         "Windows Task Manager", true},
        {"English copyright on a Russian file", &TFileVersionInfo::LegalCopyright,
         "© Microsoft Corporation. All rights reserved.", true},
        {"one Cyrillic letter in lower case", &TFileVersionInfo::CompanyName,
         "корпорация Майкрософт", false},
        {"one Cyrillic letter in upper case", &TFileVersionInfo::FileDescription,
         "ДИспетчер задач Windows", false},
        {"trailing space", &TFileVersionInfo::InternalName, "taskmgr ", false},
        {"leading space", &TFileVersionInfo::CompanyName, " Корпорация Майкрософт", false},
        {"(R) for ®", &TFileVersionInfo::ProductName, "Microsoft(R) Windows(R) Operating System",
         false},
        {"(C) for ©", &TFileVersionInfo::LegalCopyright,
         "(C) Microsoft Corporation. All rights reserved.", false},
        {"userinit's name", &TFileVersionInfo::InternalName, "userinit", false},
        {"empty file name", &TFileVersionInfo::OriginalFileName, "", false},
        {"prefix only", &TFileVersionInfo::OriginalFileName, "taskmgr", false},
        {"Latin с for Cyrillic с", &TFileVersionInfo::CompanyName, "Корпорация Майкроcофт", false},
    };
    for (const Case& c : taskmgrCases) {
        SCOPED_TRACE(c.what);
        TFileVersionInfo info = record(test::xpTaskmgr(XpLanguage::Russian));
        info.*c.field = c.value;
        EXPECT_EQ(IsGenuineTaskmgr(info), c.genuine);
        EXPECT_FALSE(IsGenuineUserinit(info));
    }

    const Case userinitCases[] = {
        {"as shipped", &TFileVersionInfo::InternalName, "userinit", true},
        {"file name in lower case", &TFileVersionInfo::OriginalFileName, "userinit.exe", true},
        {"Russian description on an English file", &TFileVersionInfo::FileDescription,
         "Приложение Userinit для входа в систему", true},
        {"Russian product on an English file", &TFileVersionInfo::ProductName,
         "Операционная система Microsoft® Windows®", true},
        {"taskmgr's description", &TFileVersionInfo::FileDescription, "Windows Task Manager",
         false},
        {"double space", &TFileVersionInfo::FileDescription, "Userinit  Logon Application", false},
        {"another company", &TFileVersionInfo::CompanyName, "Microsoft Corp.", false},
    };
    for (const Case& c : userinitCases) {
        SCOPED_TRACE(c.what);
        TFileVersionInfo info = record(test::xpUserinit(XpLanguage::English));
        info.*c.field = c.value;
        EXPECT_EQ(IsGenuineUserinit(info), c.genuine);
        EXPECT_FALSE(IsGenuineTaskmgr(info));
    }
    EXPECT_FALSE(IsGenuineTaskmgr(TFileVersionInfo{}));
    EXPECT_FALSE(IsGenuineUserinit(TFileVersionInfo{}));
}

// A question that records what it was shown and answers as told.
class ScriptedQuestion : public RestoreQuestion {
public:
    explicit ScriptedQuestion(RestoreAnswer answer)
        : answer_(answer) {}
    RestoreAnswer ask(const std::array<SystemFileRow, 4>& rows) override {
        asked.push_back(rows);
        return answer_;
    }
    std::vector<std::array<SystemFileRow, 4>> asked;

private:
    RestoreAnswer answer_;
};

RestoreAnswer okTicking(std::initializer_list<SystemFile> files) {
    RestoreAnswer answer;
    answer.result = DialogResult::Ok;
    for (const SystemFile file : files) {
        answer.ticked[static_cast<std::size_t>(file)] = true;
    }
    return answer;
}
RestoreAnswer okTickingAll() {
    return okTicking({SystemFile::Userinit, SystemFile::UserinitCache, SystemFile::Taskmgr,
                      SystemFile::TaskmgrCache});
}

std::string contentOf(const fs::path& file) {
    const auto bytes = test::readFile(file);
    return {bytes.begin(), bytes.end()};
}

// The programs every test plants, built once: genuine ones in both languages,
// the clean copies (English, so a restored file is told from a Russian one)
// and a locker that calls itself taskmgr.
class SystemFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        programs_ = std::make_unique<test::TempDir>();
        const fs::path& p = programs_->path();
        test::buildVersionedPe(p / "taskmgr-ru.exe", test::xpTaskmgr(XpLanguage::Russian));
        test::buildVersionedPe(p / "userinit-ru.exe", test::xpUserinit(XpLanguage::Russian));
        test::buildVersionedPe(p / "taskmgr-en.exe", test::xpTaskmgr(XpLanguage::English));
        test::buildVersionedPe(p / "userinit-en.exe", test::xpUserinit(XpLanguage::English),
                               test::PeBits::Pe64);
        test::VersionStrings locker = test::xpTaskmgr(XpLanguage::Russian);
        locker.companyName = "Корпорация Майкрософт "; // one space too many
        test::buildVersionedPe(p / "locker.exe", locker);
    }
    static void TearDownTestSuite() { programs_.reset(); }

    void SetUp() override {
        tree_.addInstallation('c', "WINDOWS", test::WindowsKind::Xp32);
        system32_ = tree_.drive('c') / "WINDOWS" / "system32";
        dllcache_ = system32_ / "dllcache";
        fs::create_directories(dllcache_);
        for (const fs::path& folder : {system32_, dllcache_}) {
            place("taskmgr-ru.exe", folder / "taskmgr.exe");
            place("userinit-ru.exe", folder / "userinit.exe");
        }
        fs::create_directories(backup_.path());
        place("taskmgr-en.exe", backup_ / "taskmgr.exe");
        place("userinit-en.exe", backup_ / "userinit.exe");
        context_ = tree_.context();
        context_.SystemFolders = {"c:\\WINDOWS"};
        context_.backupFolder = backup_.path();
    }

    static void place(const std::string& program, const fs::path& target) {
        fs::copy_file(programs_->path() / program, target, fs::copy_options::overwrite_existing);
    }
    static std::string program(const std::string& name) {
        return contentOf(programs_->path() / name);
    }

    fs::path file(SystemFile which) const {
        switch (which) {
        case SystemFile::Userinit:
            return system32_ / "userinit.exe";
        case SystemFile::UserinitCache:
            return dllcache_ / "userinit.exe";
        case SystemFile::Taskmgr:
            return system32_ / "taskmgr.exe";
        case SystemFile::TaskmgrCache:
            return dllcache_ / "taskmgr.exe";
        }
        return {};
    }
    void plantLocker(SystemFile which) { place("locker.exe", file(which)); }

    static std::unique_ptr<test::TempDir> programs_;
    test::TargetTree tree_;
    test::TempDir backup_;
    Context context_;
    fs::path system32_;
    fs::path dllcache_;
};
std::unique_ptr<test::TempDir> SystemFiles::programs_;

TEST_F(SystemFiles, AllGenuineAsksNothing) {
    // A mix of editions is still the system's own.
    place("taskmgr-en.exe", file(SystemFile::TaskmgrCache));
    ScriptedQuestion question(okTickingAll());
    EXPECT_TRUE(CheckSystemFiles(context_, 0, question));
    EXPECT_TRUE(question.asked.empty());
    EXPECT_EQ(contentOf(file(SystemFile::Taskmgr)), program("taskmgr-ru.exe"));
}

TEST_F(SystemFiles, ShowsTheRowsInDialogOrder) {
    plantLocker(SystemFile::TaskmgrCache);
    fs::remove(file(SystemFile::Userinit));
    ScriptedQuestion question(RestoreAnswer{DialogResult::Cancel, {}});
    EXPECT_FALSE(CheckSystemFiles(context_, 0, question));
    ASSERT_EQ(question.asked.size(), 1u);
    const auto& rows = question.asked[0];
    struct Expected {
        SystemFile file;
        const char* label;
        const char* path;
        bool genuine;
    };
    const Expected expected[] = {
        {SystemFile::Userinit, "Userinit.exe", "c:\\WINDOWS\\system32\\userinit.exe", false},
        {SystemFile::UserinitCache, "dllcache\\Userinit.exe",
         "c:\\WINDOWS\\system32\\dllcache\\userinit.exe", true},
        {SystemFile::Taskmgr, "taskmgr.exe", "c:\\WINDOWS\\system32\\taskmgr.exe", true},
        {SystemFile::TaskmgrCache, "dllcache\\taskmgr.exe",
         "c:\\WINDOWS\\system32\\dllcache\\taskmgr.exe", false},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[i].file, expected[i].file);
        EXPECT_EQ(rows[i].label, expected[i].label);
        EXPECT_EQ(rows[i].windowsPath, expected[i].path);
        EXPECT_EQ(rows[i].genuine, expected[i].genuine);
    }
}

TEST_F(SystemFiles, RestoresTheTickedBadFilesFromTheCleanCopies) {
    for (const SystemFile f : {SystemFile::Userinit, SystemFile::UserinitCache, SystemFile::Taskmgr,
                               SystemFile::TaskmgrCache}) {
        plantLocker(f);
    }
    // A clean copy shorter than the file it replaces leaves no tail behind.
    fs::resize_file(file(SystemFile::Userinit), 300000);
    ScriptedQuestion question(okTickingAll());
    EXPECT_TRUE(CheckSystemFiles(context_, 0, question));
    EXPECT_EQ(contentOf(file(SystemFile::Userinit)), program("userinit-en.exe"));
    EXPECT_EQ(contentOf(file(SystemFile::UserinitCache)), program("userinit-en.exe"));
    EXPECT_EQ(contentOf(file(SystemFile::Taskmgr)), program("taskmgr-en.exe"));
    EXPECT_EQ(contentOf(file(SystemFile::TaskmgrCache)), program("taskmgr-en.exe"));
    // Checked again, all four are genuine now.
    ScriptedQuestion again(okTickingAll());
    EXPECT_TRUE(CheckSystemFiles(context_, 0, again));
    EXPECT_TRUE(again.asked.empty());
}

TEST_F(SystemFiles, OnlyTickedRowsOfBadFilesAreCopied) {
    plantLocker(SystemFile::TaskmgrCache);
    // OK without ticking the bad file's box: nothing copied, and false even
    // though the genuine rows are ticked.
    ScriptedQuestion untickedBad(okTicking({SystemFile::Userinit, SystemFile::Taskmgr}));
    EXPECT_FALSE(CheckSystemFiles(context_, 0, untickedBad));
    EXPECT_EQ(contentOf(file(SystemFile::TaskmgrCache)), program("locker.exe"));
    EXPECT_EQ(contentOf(file(SystemFile::Userinit)), program("userinit-ru.exe"));
    EXPECT_EQ(contentOf(file(SystemFile::Taskmgr)), program("taskmgr-ru.exe"));

    ScriptedQuestion ticked(okTickingAll());
    EXPECT_TRUE(CheckSystemFiles(context_, 0, ticked));
    EXPECT_EQ(contentOf(file(SystemFile::TaskmgrCache)), program("taskmgr-en.exe"));
    EXPECT_EQ(contentOf(file(SystemFile::Taskmgr)), program("taskmgr-ru.exe"));
    EXPECT_EQ(contentOf(file(SystemFile::UserinitCache)), program("userinit-ru.exe"));
}

TEST_F(SystemFiles, ClosingWithoutRestoreCopiesNothing) {
    plantLocker(SystemFile::Taskmgr);
    for (const DialogResult result : {DialogResult::No, DialogResult::Cancel}) {
        RestoreAnswer answer = okTickingAll();
        answer.result = result;
        ScriptedQuestion question(answer);
        EXPECT_FALSE(CheckSystemFiles(context_, 0, question));
        EXPECT_EQ(question.asked.size(), 1u);
        EXPECT_EQ(contentOf(file(SystemFile::Taskmgr)), program("locker.exe"));
    }
}

// Every chosen copy is attempted, and any failed one makes the result false:
// a file left as the locker's is never reported as restored.
TEST_F(SystemFiles, AFailedCopyMakesTheResultFalseWhateverItsPlace) {
    struct Case {
        const char* what;
        const char* missingSource;
        bool result;
    };
    // Userinit is copied before taskmgr: its failure comes first, then last.
    const Case cases[] = {
        {"first copy fails, second succeeds", "userinit.exe", false},
        {"first copy succeeds, second fails", "taskmgr.exe", false},
        {"both succeed", nullptr, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        place("taskmgr-en.exe", backup_ / "taskmgr.exe");
        place("userinit-en.exe", backup_ / "userinit.exe");
        plantLocker(SystemFile::Userinit);
        plantLocker(SystemFile::TaskmgrCache);
        if (c.missingSource != nullptr) {
            fs::remove(backup_ / c.missingSource);
        }
        ScriptedQuestion question(okTicking({SystemFile::Userinit, SystemFile::TaskmgrCache}));
        EXPECT_EQ(CheckSystemFiles(context_, 0, question), c.result);
        // The copy that could be made was made; the other file is untouched.
        const bool userinitSource = fs::exists(backup_ / "userinit.exe");
        const bool taskmgrSource = fs::exists(backup_ / "taskmgr.exe");
        EXPECT_EQ(contentOf(file(SystemFile::Userinit)),
                  program(userinitSource ? "userinit-en.exe" : "locker.exe"));
        EXPECT_EQ(contentOf(file(SystemFile::TaskmgrCache)),
                  program(taskmgrSource ? "taskmgr-en.exe" : "locker.exe"));
    }
}

TEST_F(SystemFiles, AMissingCacheFolderIsOfferedButCannotBeRestored) {
    fs::remove_all(dllcache_);
    ScriptedQuestion question(okTicking({SystemFile::UserinitCache, SystemFile::TaskmgrCache}));
    EXPECT_FALSE(CheckSystemFiles(context_, 0, question));
    ASSERT_EQ(question.asked.size(), 1u);
    const auto& rows = question.asked[0];
    EXPECT_TRUE(rows[0].genuine);
    EXPECT_FALSE(rows[1].genuine);
    EXPECT_TRUE(rows[2].genuine);
    EXPECT_FALSE(rows[3].genuine);
    EXPECT_FALSE(fs::exists(dllcache_)); // the copy does not make the folder
}

TEST_F(SystemFiles, AMissingFileInAnExistingFolderIsCreated) {
    fs::remove(file(SystemFile::TaskmgrCache));
    ScriptedQuestion question(okTicking({SystemFile::TaskmgrCache}));
    EXPECT_TRUE(CheckSystemFiles(context_, 0, question));
    EXPECT_EQ(contentOf(file(SystemFile::TaskmgrCache)), program("taskmgr-en.exe"));
}

// A link on the target disk under a system file's name is not followed: the
// copy writes nowhere outside the disk.
TEST_F(SystemFiles, ALinkAtTheTargetIsNotWrittenThrough) {
    const test::TempDir outside;
    const fs::path victim = outside / "victim.exe";
    place("locker.exe", victim);
    fs::remove(file(SystemFile::Taskmgr));
    fs::create_symlink(victim, file(SystemFile::Taskmgr));
    ScriptedQuestion question(okTicking({SystemFile::Taskmgr}));
    EXPECT_FALSE(CheckSystemFiles(context_, 0, question));
    ASSERT_EQ(question.asked.size(), 1u);
    EXPECT_FALSE(question.asked[0][2].genuine);
    EXPECT_EQ(contentOf(victim), program("locker.exe"));
}

// A restore that fails at any step before the new file is complete and on
// the disk leaves the locker's file whole, never a mix, and nothing beside it.
TEST_F(SystemFiles, ARestoreThatFailsMidwayKeepsTheOldFileWhole) {
    plantLocker(SystemFile::Taskmgr);
    hive::PosixFileIo real;
    for (const auto fault :
         {test::FaultyFileIo::Fault::WriteError, test::FaultyFileIo::Fault::ShortWrite,
          test::FaultyFileIo::Fault::SyncError}) {
        SCOPED_TRACE(static_cast<int>(fault));
        test::FaultyFileIo faulty(real, fault, 1);
        ScriptedQuestion question(okTicking({SystemFile::Taskmgr}));
        EXPECT_FALSE(CheckSystemFiles(context_, 0, question, faulty));
        EXPECT_TRUE(faulty.fired());
        EXPECT_EQ(contentOf(file(SystemFile::Taskmgr)), program("locker.exe"));
    }
    for (const auto& entry : fs::directory_iterator(system32_)) {
        EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
    }
}

TEST_F(SystemFiles, TheWritePolicyKeepsARestoreOff) {
    hive::PosixFileIo real;
    for (const test::WriteCase& c : test::kWriteCases) {
        SCOPED_TRACE(c.what);
        plantLocker(SystemFile::Taskmgr);
        const auto io = test::imposeWriteCondition(c.condition, tree_.drive('c'),
                                                   file(SystemFile::Taskmgr), real);
        const bool fine = c.condition == test::WriteCondition::Fine;
        ScriptedQuestion question(okTicking({SystemFile::Taskmgr}));
        EXPECT_EQ(CheckSystemFiles(context_, 0, question, *io), fine);
        EXPECT_EQ(contentOf(file(SystemFile::Taskmgr)),
                  program(fine ? "taskmgr-en.exe" : "locker.exe"));
        fs::remove(tree_.drive('c') / "hiberfil.sys");
        fs::permissions(file(SystemFile::Taskmgr), fs::perms::owner_write, fs::perm_options::add);
    }
}

// On a real NTFS volume the restored file keeps the replaced one's Windows
// attributes and security descriptor.
TEST_F(SystemFiles, ARestoredFileKeepsItsAttributesAndSecurityOnNtfs) {
    test::TempDir work;
    std::string whyNot;
    auto volume = test::NtfsVolume::create(work.path(), whyNot);
    if (!volume) {
        GTEST_SKIP() << whyNot;
    }
    const fs::path system32 = volume->root() / "WINDOWS" / "system32";
    fs::create_directories(system32 / "dllcache");
    for (const fs::path& folder : {system32, system32 / "dllcache"}) {
        place("taskmgr-ru.exe", folder / "taskmgr.exe");
        place("userinit-ru.exe", folder / "userinit.exe");
    }
    const fs::path taskmgr = system32 / "taskmgr.exe";
    place("locker.exe", taskmgr);
    // Hidden, system and archive, as a locker may leave its file.
    ASSERT_TRUE(test::writeXattr(taskmgr, "system.ntfs_attrib_be", {0, 0, 0, 0x26}));
    const auto acl = test::readXattr(taskmgr, "system.ntfs_acl");
    const auto attributes = test::readXattr(taskmgr, "system.ntfs_attrib_be");
    ASSERT_TRUE(acl && attributes);

    Context context;
    context.drives.add('c', platform::DriveType::Fixed, volume->root());
    context.SystemFolders = {"c:\\WINDOWS"};
    context.backupFolder = backup_.path();
    ScriptedQuestion question(okTicking({SystemFile::Taskmgr}));
    EXPECT_TRUE(CheckSystemFiles(context, 0, question));
    ASSERT_EQ(question.asked.size(), 1u);
    EXPECT_EQ(contentOf(taskmgr), program("taskmgr-en.exe"));
    EXPECT_EQ(test::readXattr(taskmgr, "system.ntfs_acl"), acl);
    EXPECT_EQ(test::readXattr(taskmgr, "system.ntfs_attrib_be"), attributes);
}

TEST_F(SystemFiles, AnIndexOutsideTheListAsksNothing) {
    plantLocker(SystemFile::Taskmgr);
    for (const int index : {-1, 1, 100}) {
        ScriptedQuestion question(okTickingAll());
        EXPECT_FALSE(CheckSystemFiles(context_, index, question));
        EXPECT_TRUE(question.asked.empty());
    }
    EXPECT_EQ(contentOf(file(SystemFile::Taskmgr)), program("locker.exe"));
}

} // namespace
} // namespace engine::rules
