// The whole automatic pass over locked computers built in temporary folders:
// the complete log, line by line with its colours, and the hives and files
// afterwards.
#include <algorithm>
#include <array>
#include <cctype>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "automatic/auto_pass.h"
#include "context/context.h"
#include "hive/file_io.h"
#include "hive/hive.h"
#include "registry/hive_mounting.h"
#include "rules/system_files.h"
#include "support/faulty_file_io.h"
#include "support/hive_dump_diff.h"
#include "support/independent_readers.h"
#include "support/pe_builder.h"
#include "support/target_tree.h"
#include "support/test_files.h"

#include "expected_log.h"

namespace engine::automatic {
namespace {

namespace fs = std::filesystem;
using namespace test::autolog;
using rules::DialogResult;
using rules::RestoreAnswer;
using rules::SystemFile;
using rules::SystemFileRow;
using test::dword;
using test::sz;
using test::TargetTree;
using test::WindowsKind;
using Strings = std::vector<std::string>;

constexpr std::time_t kNow = 1700000000; // 22:13:20 UTC

const std::string kCurrentVersion = "Microsoft\\Windows NT\\CurrentVersion";
const std::string kWinlogon = kCurrentVersion + "\\Winlogon";
const std::string kWowWinlogon = "Wow6432Node\\" + kWinlogon;
const std::string kPolicy = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const std::string kUserWinlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const std::string kUserWindows = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
const std::string kCmdPolicy = "Software\\Policies\\Microsoft\\Windows\\System";

// ---------------------------------------------------------------------------
// The system-file restore dialog, answered by a script.

class ScriptedRestore final : public rules::RestoreQuestion {
public:
    ScriptedRestore() = default;
    explicit ScriptedRestore(std::vector<RestoreAnswer> answers)
        : answers_(std::move(answers)) {}

    RestoreAnswer ask(const std::array<SystemFileRow, 4>& rows) override {
        asked.push_back(rows);
        if (asked.size() > answers_.size()) {
            ADD_FAILURE() << "the restore dialog was opened unexpectedly";
            return {};
        }
        return answers_[asked.size() - 1];
    }
    std::vector<std::array<SystemFileRow, 4>> asked;

private:
    std::vector<RestoreAnswer> answers_;
};

constexpr RestoreAnswer kRestoreAll{DialogResult::Ok, {true, true, true, true}};

// ---------------------------------------------------------------------------
// System files: genuine ones built once for the whole program, and a
// locker's look-alikes (the right names, another company).

enum class FileState { Genuine, Replaced, Missing };

const fs::path& genuineFiles() {
    static const test::TempDir dir;
    static const bool built = (test::writeGenuineXpSystemFiles(dir.path()), true);
    (void)built;
    return dir.path();
}

const fs::path& replacedFiles() {
    static const test::TempDir dir;
    static const bool built = [] {
        test::VersionStrings taskmgr = test::xpTaskmgr();
        taskmgr.companyName = "WinLock Software";
        test::buildVersionedPe(dir.path() / "taskmgr.exe", taskmgr);
        test::VersionStrings userinit = test::xpUserinit();
        userinit.legalCopyright = "(c) WinLock";
        test::buildVersionedPe(dir.path() / "userinit.exe", userinit);
        return true;
    }();
    (void)built;
    return dir.path();
}

// The four files of an installation's Windows folder, in the dialog's row
// order: userinit.exe, dllcache\userinit.exe, taskmgr.exe, dllcache\taskmgr.exe.
const std::array<const char*, 4> kSystemFiles = {
    "system32/userinit.exe", "system32/dllcache/userinit.exe", "system32/taskmgr.exe",
    "system32/dllcache/taskmgr.exe"};

// A copy of a test data file that can be written, as a disk's files are.
void copyWritable(const std::string& testdataFile, const fs::path& to) {
    fs::create_directories(to.parent_path());
    fs::copy_file(test::testdata(testdataFile), to, fs::copy_options::overwrite_existing);
    fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write);
}

void plantSystemFiles(const fs::path& windows, const std::array<FileState, 4>& states) {
    for (std::size_t i = 0; i < states.size(); ++i) {
        const fs::path target = windows / kSystemFiles[i];
        fs::create_directories(target.parent_path());
        fs::remove(target);
        if (states[i] == FileState::Missing) {
            continue;
        }
        const fs::path& from = states[i] == FileState::Genuine ? genuineFiles() : replacedFiles();
        fs::copy_file(from / target.filename(), target);
    }
}

constexpr std::array<FileState, 4> kAllGenuine = {FileState::Genuine, FileState::Genuine,
                                                  FileState::Genuine, FileState::Genuine};

// ---------------------------------------------------------------------------
// Hives before and after: every line of the dump stays as it was except the
// values the pass heals.

using test::dumpdiff::dumpOf;
using test::dumpdiff::HiveSnapshot;
// One healed value: its key as the dump names it, its name, and the line it
// has afterwards (nullopt: deleted).
using Healed = test::dumpdiff::Change;

// ---------------------------------------------------------------------------

class AutoPassTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        std::setlocale(LC_TIME, "C");
    }

    Log run(Context& context, rules::RestoreQuestion& restore) {
        LogLines sink;
        AutoPass pass{context, state_, sink, restore, [] { return kNow; }};
        StartAutoPass(pass);
        EXPECT_TRUE(state_.AutoFinished);
        return sink.lines;
    }

    // An XP installation with its four system files genuine.
    fs::path addXp(char letter, const std::string& folder,
                   const std::vector<test::PlantedValue>& extra = {}) {
        const fs::path hive = tree_.addInstallation(letter, folder, WindowsKind::Xp32, extra);
        plantSystemFiles(tree_.drive(letter) / folder, kAllGenuine);
        return hive;
    }

    Context context() {
        Context c = tree_.context();
        c.backupFolder = genuineFiles();
        return c;
    }

    TargetTree tree_;
    AutoState state_;
};

const Log kXpLoaded = systemLoaded("Microsoft Windows XP", kXpBuild, "C:\\WINDOWS", false);
const Log kXpWinlogonHealthy =
    join({systemRoot("C:\\WINDOWS"), shellHealthy("Explorer.exe"),
          userinitHealthy("C:\\WINDOWS\\system32\\userinit.exe,"), kTaskmanAbsent, kGinaAbsent});

TEST_F(AutoPassTest, AHealthyXpIsReportedHealthyAndNotWrittenTo) {
    const fs::path software = addXp('c', "WINDOWS");
    const fs::path ntuser = tree_.addProfile('c', WindowsKind::Xp32, "Admin");
    const HiveSnapshot softwareBefore(software), ntuserBefore(ntuser);
    Context ctx = context();
    ScriptedRestore restore;
    state_.SuspectFiles = {"left from the last pass"};

    const Log log = run(ctx, restore);

    EXPECT_TRUE(sameLog(join({passStart({"c:\\WINDOWS"}), kXpLoaded, kFilesGood, kXpWinlogonHealthy,
                              kSystemDone, kUsersStart, userLoaded("Admin"),
                              userChecks(kHealthyRealUser), userDone("Admin"), summary({})}),
                        log));
    EXPECT_TRUE(restore.asked.empty());
    EXPECT_TRUE(state_.SuspectFiles.empty());
    EXPECT_TRUE(ctx.registry.mounts().empty());
    EXPECT_EQ(ctx.AutoProfileNames, Strings{"Admin"});
    EXPECT_EQ(ctx.AutoProfileHives, Strings{"c:\\Documents and Settings\\Admin\\NTUSER.DAT"});
    EXPECT_EQ(ctx.CurrentSystemHive, "c:\\WINDOWS\\system32\\config\\software");
    EXPECT_EQ(ctx.LoadedProductName, "Microsoft Windows XP");
    softwareBefore.expectUntouched();
    ntuserBefore.expectUntouched();
}

TEST_F(AutoPassTest, ALockedXpIsHealedAndEveryForeignProgramListed) {
    const fs::path software =
        addXp('c', "WINDOWS",
              {sz(kWinlogon, "Shell", "explorer.exe, C:\\Program Files\\Lock\\banner.exe"),
               // The default with a second program after an empty item.
               sz(kWinlogon, "Userinit",
                  "C:\\WINDOWS\\system32\\userinit.exe,,C:\\WINDOWS\\system32\\sysnet.exe,"),
               sz(kWinlogon, "Taskman", ""),
               sz(kWinlogon, "GinaDll", "C:\\WINDOWS\\system32\\fakegina.dll")});
    plantSystemFiles(tree_.drive('c') / "WINDOWS", {FileState::Genuine, FileState::Genuine,
                                                    FileState::Replaced, FileState::Genuine});
    const fs::path taskmgr = tree_.drive('c') / "WINDOWS" / "system32" / "taskmgr.exe";
    const auto taskmgrBefore = test::readFile(taskmgr);

    // Every lock set to 1, the shells set, and a program in `load`.
    const fs::path admin = tree_.addProfile('c', WindowsKind::Xp32, "Admin");
    test::plantValues(
        admin, {sz(kPolicy, "Shell", "C:\\Documents and Settings\\Admin\\lock.exe"),
                sz(kUserWinlogon, "Shell", ""), sz(kUserWindows, "load", "C:\\WINDOWS\\load.exe"),
                dword(kPolicy, "DisableRegistryTools", 1), dword(kPolicy, "DisableTaskMgr", 1),
                dword(kCmdPolicy, "DisableCMD", 1)});
    // Every lock present but 0; `load` present and empty.
    const fs::path guest = tree_.addProfile('c', WindowsKind::Xp32, "Guest");
    test::plantValues(guest,
                      {dword(kPolicy, "DisableRegistryTools", 0),
                       dword(kPolicy, "DisableTaskMgr", 0), dword(kCmdPolicy, "DisableCMD", 0)});
    // Locks that are neither 0 nor 1 (2, and a string), and no `load` at all.
    const fs::path operatorHive = tree_.addProfile('c', WindowsKind::Xp32, "Operator");
    fs::remove(operatorHive);
    test::makeHive(operatorHive,
                   {sz(kPolicy, "DisableRegistryTools", "1"), dword(kPolicy, "DisableTaskMgr", 2),
                    dword(kCmdPolicy, "DisableCMD", 2)});

    const HiveSnapshot softwareBefore(software), adminBefore(admin), guestBefore(guest),
        operatorBefore(operatorHive);
    Context ctx = context();
    ScriptedRestore restore({{DialogResult::Cancel, {}}});

    const Log log = run(ctx, restore);

    const Strings suspects = {"C:\\Program Files\\Lock\\banner.exe",
                              "",
                              "C:\\WINDOWS\\system32\\sysnet.exe",
                              "C:\\WINDOWS\\system32\\fakegina.dll",
                              "C:\\Documents and Settings\\Admin\\lock.exe",
                              "",
                              "C:\\WINDOWS\\load.exe"};
    EXPECT_TRUE(sameLog(
        join({passStart({"c:\\WINDOWS"}),
              kXpLoaded,
              kFilesBad,
              systemRoot("C:\\WINDOWS"),
              shellHealed("explorer.exe, C:\\Program Files\\Lock\\banner.exe"),
              userinitHealed(
                  "C:\\WINDOWS\\system32\\userinit.exe,,C:\\WINDOWS\\system32\\sysnet.exe,"),
              kTaskmanEmpty,
              kGinaRemoved,
              kSystemDone,
              kUsersStart,
              userLoaded("Admin"),
              userChecks({kRemoved, kRemoved, kRemoved, kRegistryToolsUnlocked, kTaskMgrUnlocked,
                          kCmdUnlocked}),
              userDone("Admin"),
              userLoaded("Guest"),
              userChecks({kPolicyShellHealthy, kWinlogonShellHealthy, kSilent, kRegistryToolsZero,
                          kTaskMgrZero, kCmdZero}),
              userDone("Guest"),
              userLoaded("Operator"),
              userChecks({kPolicyShellHealthy, kWinlogonShellHealthy, kLoadAbsent, kSilent, kSilent,
                          kSilent}),
              userDone("Operator"),
              summary(suspects)}),
        log));
    EXPECT_EQ(state_.SuspectFiles, suspects);
    ASSERT_EQ(restore.asked.size(), 1u);
    EXPECT_FALSE(restore.asked[0][static_cast<std::size_t>(SystemFile::Taskmgr)].genuine);
    EXPECT_TRUE(restore.asked[0][static_cast<std::size_t>(SystemFile::Userinit)].genuine);
    EXPECT_EQ(test::readFile(taskmgr), taskmgrBefore); // the operator did not restore it

    softwareBefore.expectChangedAndReadable(
        {{kWinlogon, "Shell", R"("Shell" = REG_SZ "Explorer.exe")"},
         {kWinlogon, "Userinit", R"("Userinit" = REG_SZ "C:\\WINDOWS\\system32\\userinit.exe,")"},
         {kWinlogon, "GinaDll", std::nullopt}}); // the empty Taskman stays
    adminBefore.expectChangedAndReadable({{kPolicy, "Shell", std::nullopt},
                                          {kUserWinlogon, "Shell", std::nullopt},
                                          {kUserWindows, "load", R"("load" = REG_SZ "")"},
                                          {kPolicy, "DisableRegistryTools", std::nullopt},
                                          {kPolicy, "DisableTaskMgr", std::nullopt},
                                          {kCmdPolicy, "DisableCMD", std::nullopt}});
    guestBefore.expectUntouched();
    operatorBefore.expectUntouched();
}

TEST_F(AutoPassTest, A64BitWindowsIsCheckedInTheNativeWinlogonKeyThenInWow6432Node) {
    // A locker in the native key, which the 64-bit logon reads, and a
    // Taskman in the 32-bit view; that view's Userinit is missing.
    const fs::path software = tree_.addInstallation(
        'c', "Windows", WindowsKind::Win7x64,
        {sz(kWinlogon, "Shell", "C:\\ProgramData\\winlock.exe"),
         sz(kWinlogon, "Userinit", "C:\\Windows\\system32\\userinit.exe,C:\\ProgramData\\svc.exe"),
         sz(kWowWinlogon, "Taskman", "C:\\ProgramData\\tm.exe")});
    const fs::path ntuser =
        tree_.addProfile('c', WindowsKind::Win7x64, "Admin", "hives/win7-ntuser.dat");
    test::plantValues(ntuser, {dword(kPolicy, "DisableTaskMgr", 1)});
    const HiveSnapshot softwareBefore(software), ntuserBefore(ntuser);
    Context ctx = context();
    ScriptedRestore restore; // no file check but on Windows XP

    const Log win7Loaded = systemLoaded("Windows 7 Ultimate", kWin7Build, "C:\\Windows", true);
    const Log first = run(ctx, restore);

    const Strings suspects = {"C:\\ProgramData\\winlock.exe", "C:\\ProgramData\\svc.exe",
                              "C:\\ProgramData\\tm.exe"};
    EXPECT_TRUE(sameLog(
        join({passStart({"c:\\Windows"}), win7Loaded, systemRoot("C:\\Windows"),
              // The native key, healed to the 32-bit defaults it has.
              shellHealed("C:\\ProgramData\\winlock.exe"),
              userinitHealed("C:\\Windows\\system32\\userinit.exe,C:\\ProgramData\\svc.exe"),
              kTaskmanAbsent, kGinaAbsent,
              // Then Wow6432Node, whose missing Userinit is no lock.
              shellHealthy("explorer.exe"), userinitHealthy(""), kTaskmanRemoved, kGinaAbsent,
              kSystemDone, kUsersStart, userLoaded("Admin"),
              userChecks({kPolicyShellHealthy, kWinlogonShellHealthy, kSilent, kRegistryToolsAbsent,
                          kTaskMgrUnlocked, kCmdAbsent}),
              userDone("Admin"), summary(suspects)}),
        first));
    softwareBefore.expectChangedAndReadable(
        {{kWinlogon, "Shell", R"("Shell" = REG_SZ "Explorer.exe")"},
         {kWinlogon, "Userinit", R"("Userinit" = REG_SZ "C:\\Windows\\system32\\userinit.exe,")"},
         {kWowWinlogon, "Taskman", std::nullopt}});
    ntuserBefore.expectChangedAndReadable({{kPolicy, "DisableTaskMgr", std::nullopt}});

    // A second pass finds it healthy and writes nothing.
    const HiveSnapshot softwareHealed(software), ntuserHealed(ntuser);
    Context again = context();
    const Log second = run(again, restore);
    EXPECT_TRUE(sameLog(
        join({passStart({"c:\\Windows"}), win7Loaded, systemRoot("C:\\Windows"),
              shellHealthy("Explorer.exe"), userinitHealthy("C:\\Windows\\system32\\userinit.exe,"),
              kTaskmanAbsent, kGinaAbsent, shellHealthy("explorer.exe"), userinitHealthy(""),
              kTaskmanAbsent, kGinaAbsent, kSystemDone, kUsersStart, userLoaded("Admin"),
              userChecks(kHealthyRealUser), userDone("Admin"), summary({})}),
        second));
    EXPECT_TRUE(state_.SuspectFiles.empty());
    softwareHealed.expectUntouched();
    ntuserHealed.expectUntouched();
    EXPECT_TRUE(restore.asked.empty());
}

TEST_F(AutoPassTest, WithoutAnInstallationThePassEndsAfterDiscovery) {
    tree_.drive('c');
    fs::create_directories(tree_.drive('c') / "WINDOWS" / "system32" / "config");
    Context ctx = context();
    ScriptedRestore restore;
    state_.SuspectFiles = {"left from the last pass"};
    ctx.AutoProfileNames = {"left from the last pass"};

    EXPECT_TRUE(sameLog(join({passStart({}), kNothingFound}), run(ctx, restore)));
    EXPECT_TRUE(state_.SuspectFiles.empty());
    // The installation phase never started.
    EXPECT_EQ(ctx.AutoProfileNames, Strings{"left from the last pass"});
}

TEST_F(AutoPassTest, AnInstallationThatDoesNotMountIsReportedAndThePassGoesOn) {
    const fs::path broken = tree_.drive('c') / "WINDOWS" / "system32" / "config" / "software";
    fs::create_directories(broken.parent_path());
    std::ofstream(broken) << "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n";
    const auto brokenBefore = test::readFile(broken);
    tree_.addInstallation('d', "Windows", WindowsKind::Win7x64);
    Context ctx = context();
    ScriptedRestore restore;

    EXPECT_TRUE(sameLog(join({passStart({"c:\\WINDOWS", "d:\\Windows"}),
                              systemNotLoaded("c:\\WINDOWS\\system32\\config\\software"),
                              {red(kNotAHiveNote)},
                              systemLoaded("Windows 7 Ultimate", kWin7Build, "D:\\Windows", true),
                              systemRoot("D:\\Windows"),
                              shellHealthy("Explorer.exe"),
                              userinitHealthy("D:\\Windows\\system32\\userinit.exe,"),
                              kTaskmanAbsent,
                              kGinaAbsent,
                              shellHealthy("explorer.exe"),
                              userinitHealthy(""),
                              kTaskmanAbsent,
                              kGinaAbsent,
                              kSystemDone,
                              kUsersStart,
                              kNoUsers,
                              summary({})}),
                        run(ctx, restore)));
    EXPECT_EQ(test::readFile(broken), brokenBefore);
    EXPECT_TRUE(ctx.registry.mounts().empty());
}

TEST_F(AutoPassTest, AMountRefusedForAReasonTheOperatorCanMendSaysWhatToDo) {
    const std::string softwarePath = "WINDOWS/system32/config/software";
    const struct {
        const char* what;
        std::function<void(TargetTree&, Context&)> prepare;
        std::string note;
    } cases[] = {
        {"a hibernated volume",
         [](TargetTree& tree, Context&) {
             tree.addInstallation('c', "WINDOWS", WindowsKind::Xp32);
             std::ofstream(tree.drive('c') / "hiberfil.sys", std::ios::binary)
                 << "HIBR" << std::string(4092, '\0');
         },
         kHibernatedNote},
        {"dirty, with logs that cannot be applied",
         [&](TargetTree& tree, Context&) {
             const fs::path hive = tree.drive('c') / softwarePath;
             for (const char* suffix : {"", ".LOG1", ".LOG2"}) {
                 copyWritable(std::string("hives/bad-log-new/BadLogHive") + suffix,
                              hive.string() + suffix);
             }
         },
         kDirtyNote},
        {"damaged",
         [&](TargetTree& tree, Context&) {
             copyWritable("hives/corrupt/WrongOrderHive", tree.drive('c') / softwarePath);
         },
         kDamagedNote},
        {"on a read-only volume",
         [](TargetTree& tree, Context& ctx) {
             tree.addInstallation('c', "WINDOWS", WindowsKind::Xp32);
             static engine::hive::PosixFileIo real;
             ctx.registry.setFileIo(std::make_shared<test::FaultyFileIo>(
                 real, [](engine::hive::FileFacts& f) { f.readOnlyVolume = true; }));
         },
         kReadOnlyNote},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TargetTree tree;
        tree.drive('c');
        Context ctx = tree.context();
        c.prepare(tree, ctx);
        const fs::path hive = tree.drive('c') / softwarePath;
        const auto before = test::readFile(hive);
        ScriptedRestore restore;

        EXPECT_TRUE(sameLog(join({passStart({"c:\\WINDOWS"}),
                                  systemNotLoaded("c:\\WINDOWS\\system32\\config\\software"),
                                  {red(c.note)},
                                  kUsersStart,
                                  kNoUsers,
                                  summary({})}),
                            run(ctx, restore)));
        EXPECT_EQ(test::readFile(hive), before);
    }
}

TEST_F(AutoPassTest, UserHivesThatAreRecoveredOrDoNotMountAreReported) {
    // Neither product name is exactly "Microsoft Windows XP": no file check.
    tree_.addInstallation(
        'c', "WINDOWS", WindowsKind::Xp32,
        {sz(kCurrentVersion, "ProductName", "Microsoft Windows XP Professional")});
    // Admin's hive was left dirty; its logs hold the last changes.
    const fs::path admin = tree_.addProfile('c', WindowsKind::Xp32, "Admin");
    for (const char* suffix : {"", ".LOG1", ".LOG2"}) {
        copyWritable(std::string("hives/dirty-new/NewDirtyHive") + suffix, admin.string() + suffix);
    }
    const fs::path broken = tree_.addProfile('c', WindowsKind::Xp32, "Broken");
    std::ofstream(broken, std::ios::trunc) << "not a hive";
    const fs::path guest = tree_.addProfile('c', WindowsKind::Xp32, "Guest");
    test::plantValues(guest, {dword(kPolicy, "DisableRegistryTools", 1)});
    const HiveSnapshot adminBefore(admin), guestBefore(guest);
    Context ctx = context();
    ScriptedRestore restore;

    EXPECT_TRUE(sameLog(
        join({passStart({"c:\\WINDOWS"}),
              systemLoaded("Microsoft Windows XP Professional", kXpBuild, "C:\\WINDOWS", false),
              kXpWinlogonHealthy,
              kSystemDone,
              kUsersStart,
              userLoaded("Admin"),
              {blue(kRecoveredNote)},
              userChecks({kPolicyShellHealthy, kWinlogonShellHealthy, kLoadAbsent,
                          kRegistryToolsAbsent, kTaskMgrAbsent, kCmdAbsent}),
              userDone("Admin"),
              kUserNotLoaded,
              {red(kNotAHiveNote)},
              userLoaded("Guest"),
              userChecks({kPolicyShellHealthy, kWinlogonShellHealthy, kSilent,
                          kRegistryToolsUnlocked, kTaskMgrAbsent, kCmdAbsent}),
              userDone("Guest"),
              summary({})}),
        run(ctx, restore)));
    // Nothing to heal in the recovered hive: it is left for Windows to
    // recover the same way.
    adminBefore.expectUntouched();
    guestBefore.expectChangedAndReadable({{kPolicy, "DisableRegistryTools", std::nullopt}});
    EXPECT_TRUE(ctx.registry.mounts().empty());
}

TEST_F(AutoPassTest, UsersOfAProfilesFolderTwoInstallationsShareAreCheckedTwice) {
    // Two installations on c: that name the same profiles folder, and whose
    // product names only look like Windows XP's: no file check.
    tree_.addInstallation(
        'c', "WINDOWS", WindowsKind::Xp32,
        {sz(kCurrentVersion, "ProductName", "Microsoft Windows XP Professional")});
    tree_.addInstallation('c', "WINNT", WindowsKind::Xp32,
                          {sz(kCurrentVersion, "ProductName", "microsoft windows xp")});
    const fs::path admin = tree_.addProfile('c', WindowsKind::Xp32, "Admin");
    test::plantValues(
        admin, {dword(kPolicy, "DisableTaskMgr", 1), sz(kUserWindows, "load", "C:\\x\\load.exe")});
    const HiveSnapshot adminBefore(admin);
    Context ctx = context();
    ScriptedRestore restore;

    EXPECT_TRUE(sameLog(
        join({passStart({"c:\\WINDOWS", "c:\\WINNT"}),
              systemLoaded("Microsoft Windows XP Professional", kXpBuild, "C:\\WINDOWS", false),
              kXpWinlogonHealthy, kSystemDone,
              systemLoaded("microsoft windows xp", kXpBuild, "C:\\WINNT", false),
              systemRoot("C:\\WINNT"), shellHealthy("Explorer.exe"),
              userinitHealthy("C:\\WINNT\\system32\\userinit.exe,"), kTaskmanAbsent, kGinaAbsent,
              kSystemDone, kUsersStart, userLoaded("Admin"),
              userChecks({kPolicyShellHealthy, kWinlogonShellHealthy, kRemoved,
                          kRegistryToolsAbsent, kTaskMgrUnlocked, kCmdAbsent}),
              userDone("Admin"), userLoaded("Admin"), userChecks(kHealthyRealUser),
              userDone("Admin"), summary({"C:\\x\\load.exe"})}),
        run(ctx, restore)));
    EXPECT_EQ(ctx.AutoProfileNames, (Strings{"Admin", "Admin"}));
    EXPECT_EQ(ctx.CurrentSystemHive, "c:\\WINNT\\system32\\config\\software");
    adminBefore.expectChangedAndReadable({{kPolicy, "DisableTaskMgr", std::nullopt},
                                          {kUserWindows, "load", R"("load" = REG_SZ "")"}});
}

// A hive whose changes cannot be written back: the pass's red line, then
// ours saying its repairs are lost and what to do; the mount is let go, so
// the installations and users after it still mount and are repaired.
TEST_F(AutoPassTest, RepairsThatAreNotWrittenAreSaidToBeLostAndTheNextHivesStillMount) {
    const struct {
        const char* what;
        bool lockedSystem; // the first installation's shell is a locker's
        std::size_t nth;   // the write of the pass that fails (0: none)
        bool systemLost;   // ... is that installation's SOFTWARE hive's
        bool userLost;     // ... is the first user's
    } cases[] = {
        {"every write-back succeeds", true, 0, false, false},
        {"the SOFTWARE hive's write-back fails", true, 1, true, false},
        {"a user hive's write-back fails", false, 1, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TargetTree tree;
        std::vector<test::PlantedValue> planted = {
            sz(kCurrentVersion, "ProductName", "Windows XP")};
        if (c.lockedSystem) {
            planted.push_back(sz(kWinlogon, "Shell", "lock.exe"));
        }
        const fs::path windows = tree.addInstallation('c', "WINDOWS", WindowsKind::Xp32, planted);
        const fs::path winnt = tree.addInstallation(
            'd', "WINNT", WindowsKind::Xp32, {sz(kCurrentVersion, "ProductName", "Windows XP")});
        const fs::path admin = tree.addProfile('c', WindowsKind::Xp32, "Admin");
        const fs::path guest = tree.addProfile('c', WindowsKind::Xp32, "Guest");
        for (const fs::path& user : {admin, guest}) {
            test::plantValues(user, {dword(kPolicy, "DisableTaskMgr", 1)});
        }
        const HiveSnapshot windowsBefore(windows), winntBefore(winnt), adminBefore(admin),
            guestBefore(guest);
        Context ctx = tree.context();
        engine::hive::PosixFileIo real;
        auto faulty = std::make_shared<test::FaultyFileIo>(
            real,
            c.nth == 0 ? test::FaultyFileIo::Fault::None : test::FaultyFileIo::Fault::WriteError,
            c.nth);
        ctx.registry.setFileIo(faulty);
        ScriptedRestore restore;

        const std::string lost =
            "Исправления этого куста не записаны на диск (ошибка записи "
            "(проверка)) и будут потеряны: проверьте диск (chkdsk), подключите "
            "том для записи и запустите проверку снова";
        const Log firstSystem = join(
            {systemLoaded("Windows XP", kXpBuild, "C:\\WINDOWS", false), systemRoot("C:\\WINDOWS"),
             c.lockedSystem ? shellHealed("lock.exe") : shellHealthy("Explorer.exe"),
             userinitHealthy("C:\\WINDOWS\\system32\\userinit.exe,"), kTaskmanAbsent, kGinaAbsent,
             c.systemLost ? Log{kEmpty, black("Проверка закончена"), red("Система не выгружена..."),
                                red(lost)}
                          : kSystemDone});
        // The next installation mounts and is checked.
        const Log secondSystem = join({systemLoaded("Windows XP", kXpBuild, "D:\\WINNT", false),
                                       systemRoot("D:\\WINNT"), shellHealthy("Explorer.exe"),
                                       userinitHealthy("D:\\WINNT\\system32\\userinit.exe,"),
                                       kTaskmanAbsent, kGinaAbsent, kSystemDone});
        const UserOutcome unlocked = {kPolicyShellHealthy,  kWinlogonShellHealthy, kSilent,
                                      kRegistryToolsAbsent, kTaskMgrUnlocked,      kCmdAbsent};
        const Log firstUser = join({userLoaded("Admin"), userChecks(unlocked),
                                    c.userLost ? Log{black("Выгружаем пользователя: Admin"),
                                                     red("Ошибка выгрузки ..."), red(lost)}
                                               : userDone("Admin")});
        const Strings suspects = c.lockedSystem ? Strings{"lock.exe"} : Strings{};

        EXPECT_TRUE(sameLog(join({passStart({"c:\\WINDOWS", "d:\\WINNT"}), firstSystem,
                                  secondSystem, kUsersStart, firstUser, userLoaded("Guest"),
                                  userChecks(unlocked), userDone("Guest"), summary(suspects)}),
                            run(ctx, restore)));
        EXPECT_EQ(state_.ChangesNotWritten, c.systemLost || c.userLost);
        EXPECT_EQ(faulty->fired(), c.nth != 0);
        // Nothing is left mounted, and a lost hive's file holds its old
        // content (the fault came before its log was written).
        EXPECT_TRUE(ctx.registry.mounts().empty());
        if (c.systemLost) {
            EXPECT_EQ(dumpOf(windows), windowsBefore.dump);
        } else if (c.lockedSystem) {
            windowsBefore.expectChanged(
                {{kWinlogon, "Shell", R"("Shell" = REG_SZ "Explorer.exe")"}});
        } else {
            windowsBefore.expectUntouched();
        }
        winntBefore.expectUntouched();
        if (c.userLost) {
            EXPECT_EQ(dumpOf(admin), adminBefore.dump);
        } else {
            adminBefore.expectChanged({{kPolicy, "DisableTaskMgr", std::nullopt}});
        }
        guestBefore.expectChanged({{kPolicy, "DisableTaskMgr", std::nullopt}});
    }
}

// A hive whose every change the registry refuses (here: its in-memory copy
// marked dirty, which the engine never changes): no heal of it is logged as
// done, each says it was not made, and the pass remembers it.
TEST_F(AutoPassTest, AHealWhoseWriteIsRefusedIsNotLoggedAsDone) {
    const fs::path software = tree_.addInstallation(
        'c', "WINDOWS", WindowsKind::Xp32,
        {sz(kCurrentVersion, "ProductName", "Windows XP"), sz(kWinlogon, "Shell", "C:\\lock.exe"),
         sz(kWinlogon, "Taskman", "C:\\tm.exe")});
    const fs::path ntuser = tree_.addProfile('c', WindowsKind::Xp32, "Admin");
    test::plantValues(ntuser, {sz(kPolicy, "Shell", "C:\\user.exe"),
                               sz(kUserWindows, "load", "C:\\load.exe"),
                               dword(kPolicy, "DisableRegistryTools", 1)});
    const HiveSnapshot softwareBefore(software), ntuserBefore(ntuser);
    Context ctx = context();
    ScriptedRestore restore;
    LogLines sink;
    AutoPass pass{ctx, state_, sink, restore, [] { return kNow; }};

    // The mounted hive replaced by the same bytes with a dirty header.
    const auto refuseChanges = [&](std::string_view mount, const fs::path& file) {
        auto bytes = test::readFile(file);
        bytes[4] ^= 1; // the primary sequence number no longer matches the secondary
        std::uint32_t sum = 0;
        for (std::size_t i = 0; i < 508; i += 4) {
            sum ^= static_cast<std::uint32_t>(bytes[i]) | bytes[i + 1] << 8 | bytes[i + 2] << 16 |
                   static_cast<std::uint32_t>(bytes[i + 3]) << 24;
        }
        for (std::size_t i = 0; i < 4; ++i) {
            bytes[508 + i] = static_cast<unsigned char>(sum >> (8 * i));
        }
        auto dirty = engine::hive::Hive::fromBytes(bytes, file.string());
        ASSERT_TRUE(dirty) << dirty.error().describe();
        ASSERT_TRUE(dirty->dirty());
        ctx.registry.find(mount)->hive = std::move(*dirty);
    };

    ASSERT_TRUE(registry::LoadHive(ctx, registry::kSoftwareMount,
                                   "c:\\WINDOWS\\system32\\config\\software"));
    refuseChanges(registry::kSoftwareMount, software);
    CheckSystemValues(pass, 0);
    ASSERT_TRUE(registry::UnloadHive(ctx, registry::kSoftwareMount));
    EXPECT_TRUE(state_.ChangesNotWritten);

    state_.ChangesNotWritten = false;
    ASSERT_TRUE(registry::LoadHive(ctx, registry::kUserMount,
                                   "c:\\Documents and Settings\\Admin\\NTUSER.DAT"));
    refuseChanges(registry::kUserMount, ntuser);
    CheckUserValues(pass);
    ASSERT_TRUE(registry::UnloadHive(ctx, registry::kUserMount));
    EXPECT_TRUE(state_.ChangesNotWritten);

    const LogLine refused = red("Запись в реестр не удалась: исправление не сделано...!!!");
    EXPECT_TRUE(sameLog(join({systemRoot("C:\\WINDOWS"),
                              {black("Проверка оболочки...C:\\lock.exe"), kInfection,
                               red("Восстановление оболочки...!!!"), refused},
                              userinitHealthy("C:\\WINDOWS\\system32\\userinit.exe,"),
                              {blue("Проверка Значения Taskman...!!!"), kInfection, refused},
                              kGinaAbsent,
                              userChecks({{red("Возможно заражение!!!"), refused},
                                          kWinlogonShellHealthy,
                                          {red("Возможно заражение!!!"), refused},
                                          {red("Редактор реестра заблокирован!!!"), refused},
                                          kTaskMgrAbsent,
                                          kCmdAbsent})}),
                        sink.lines));
    // What was found is still listed; nothing reached the files.
    EXPECT_EQ(state_.SuspectFiles,
              (Strings{"C:\\lock.exe", "C:\\tm.exe", "C:\\user.exe", "C:\\load.exe"}));
    softwareBefore.expectUntouched();
    ntuserBefore.expectUntouched();
}

TEST_F(AutoPassTest, TheXpFileCheckAsksAboutBadFilesAndLogsItsResult) {
    using enum FileState;
    const struct {
        const char* what;
        std::array<FileState, 4> files;
        std::optional<RestoreAnswer> answer; // nullopt: the dialog must not open
        bool backupPresent;
        bool good;
        std::array<FileState, 4> after;
    } cases[] = {
        {"all genuine", kAllGenuine, std::nullopt, true, true, kAllGenuine},
        {"taskmgr replaced, restored",
         {Genuine, Genuine, Replaced, Genuine},
         kRestoreAll,
         true,
         true,
         kAllGenuine},
        {"userinit missing, restored",
         {Missing, Genuine, Genuine, Genuine},
         kRestoreAll,
         true,
         true,
         kAllGenuine},
        {"both replaced, answered No",
         {Replaced, Genuine, Replaced, Genuine},
         RestoreAnswer{DialogResult::No, {true, true, true, true}},
         true,
         false,
         {Replaced, Genuine, Replaced, Genuine}},
        {"replaced, dialog closed",
         {Genuine, Genuine, Replaced, Replaced},
         RestoreAnswer{DialogResult::Cancel, {}},
         true,
         false,
         {Genuine, Genuine, Replaced, Replaced}},
        {"replaced, restore chosen but no clean copy on the medium",
         {Genuine, Genuine, Replaced, Genuine},
         kRestoreAll,
         false,
         false,
         {Genuine, Genuine, Replaced, Genuine}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TargetTree tree;
        tree.addInstallation('c', "WINDOWS", WindowsKind::Xp32);
        const fs::path windows = tree.drive('c') / "WINDOWS";
        plantSystemFiles(windows, c.files);
        test::TempDir emptyBackup;
        Context ctx = tree.context();
        ctx.backupFolder = c.backupPresent ? genuineFiles() : emptyBackup.path();
        ScriptedRestore restore(c.answer ? std::vector<RestoreAnswer>{*c.answer}
                                         : std::vector<RestoreAnswer>{});

        EXPECT_TRUE(
            sameLog(join({passStart({"c:\\WINDOWS"}), kXpLoaded, c.good ? kFilesGood : kFilesBad,
                          kXpWinlogonHealthy, kSystemDone, kUsersStart, kNoUsers, summary({})}),
                    run(ctx, restore)));
        ASSERT_EQ(restore.asked.size(), c.answer ? 1u : 0u);
        if (c.answer) {
            const auto& rows = restore.asked[0];
            for (std::size_t i = 0; i < rows.size(); ++i) {
                EXPECT_EQ(rows[i].genuine, c.files[i] == Genuine) << rows[i].windowsPath;
            }
            EXPECT_EQ(rows[static_cast<std::size_t>(SystemFile::Taskmgr)].windowsPath,
                      "c:\\WINDOWS\\system32\\taskmgr.exe");
        }
        for (std::size_t i = 0; i < c.after.size(); ++i) {
            const fs::path file = windows / kSystemFiles[i];
            if (c.after[i] == Missing) {
                EXPECT_FALSE(fs::exists(file)) << file;
                continue;
            }
            const fs::path& source = c.after[i] == Genuine ? genuineFiles() : replacedFiles();
            EXPECT_EQ(test::readFile(file), test::readFile(source / file.filename())) << file;
        }
    }
}

// Links a locker planted to lead the pass off the drive: profile folders
// (relative, climbing out; absolute) and a dllcache, each to a folder next to
// the drive holding locked decoys. Nothing outside is read into the log or
// written; the real profile and the system files on the drive are healed.
TEST_F(AutoPassTest, LinksOffTheDriveLeadNothingOutsideAndTheDriveIsStillHealed) {
    const fs::path software = addXp('c', "WINDOWS");
    const fs::path windows = tree_.drive('c') / "WINDOWS";
    plantSystemFiles(
        windows, {FileState::Genuine, FileState::Genuine, FileState::Replaced, FileState::Genuine});
    const fs::path admin = tree_.addProfile('c', WindowsKind::Xp32, "Admin");
    test::plantValues(admin, {dword(kPolicy, "DisableTaskMgr", 1)});
    const fs::path profiles = admin.parent_path().parent_path();

    const test::TempDir outside;
    for (const char* decoy : {"Relative", "Absolute"}) {
        copyWritable("hives/xp-ntuser.dat", outside / decoy / "NTUSER.DAT");
        test::plantValues(outside / decoy / "NTUSER.DAT", {dword(kPolicy, "DisableTaskMgr", 1)});
    }
    fs::create_directory_symlink("../../../" + outside.path().filename().string() + "/Relative",
                                 profiles / "Relative");
    fs::create_directory_symlink(outside / "Absolute", profiles / "Absolute");
    fs::create_directories(outside / "dllcache");
    fs::copy_file(replacedFiles() / "taskmgr.exe", outside / "dllcache" / "taskmgr.exe");
    fs::copy_file(replacedFiles() / "userinit.exe", outside / "dllcache" / "userinit.exe");
    fs::remove_all(windows / "system32" / "dllcache");
    fs::create_directory_symlink(outside / "dllcache", windows / "system32" / "dllcache");
    ASSERT_TRUE(fs::exists(profiles / "Relative" / "NTUSER.DAT")) << "the link leads out";
    const auto outsideBefore = test::treeSnapshot(outside.path());
    const HiveSnapshot softwareBefore(software), adminBefore(admin);

    Context ctx = context();
    ScriptedRestore restore({kRestoreAll});
    const Log log = run(ctx, restore);

    EXPECT_EQ(test::treeSnapshot(outside.path()), outsideBefore);
    for (const LogLine& line : log) {
        EXPECT_EQ(line.text.find("Relative"), std::string::npos) << line.text;
        EXPECT_EQ(line.text.find("Absolute"), std::string::npos) << line.text;
    }
    ASSERT_EQ(restore.asked.size(), 1u);
    EXPECT_FALSE(restore.asked[0][static_cast<std::size_t>(SystemFile::Taskmgr)].genuine);
    EXPECT_EQ(test::readFile(windows / "system32" / "taskmgr.exe"),
              test::readFile(genuineFiles() / "taskmgr.exe"));
    adminBefore.expectChangedAndReadable({{kPolicy, "DisableTaskMgr", std::nullopt}});
    softwareBefore.expectUntouched();
}

TEST_F(AutoPassTest, WithoutTheRestorePrivilegeThePassEndsAndCanBeClosed) {
    const fs::path software = addXp('c', "WINDOWS");
    const HiveSnapshot before(software);
    Context ctx = context();
    ctx.privileges.ntFamily = true;
    ctx.privileges.adjust = [](std::string_view, bool) -> std::uint32_t { return 1300; };
    ScriptedRestore restore;
    state_.AutoFinished = false;

    EXPECT_TRUE(sameLog(
        join({passStart({"c:\\WINDOWS"}),
              {black(kPlus), blue("Попытка загрузки системы..."),
               red("Не удалось включить привилегию SeRestorePrivilege: Не все требуемые "
                   "привилегии или группы присвоены вызывающему."),
               red("Без неё кусты реестра не загружаются и не сохраняются: проверка прервана"),
               blue("Выходим..."), blue(kEquals)}}),
        run(ctx, restore)));
    EXPECT_TRUE(ctx.registry.mounts().empty());
    before.expectUntouched();
}

} // namespace
} // namespace engine::automatic
