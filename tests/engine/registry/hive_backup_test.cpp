#include "registry/hive_backup.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "hive/dump.h"
#include "hive/hive.h"
#include "hive/log_recovery.h"
#include "registry/hive_mounting.h"
#include "support/faulty_file_io.h"
#include "support/independent_readers.h"
#include "support/ntfs_volume.h"
#include "support/test_files.h"
#include "target_disk.h"

namespace {

namespace fs = std::filesystem;
using engine::hive::PosixFileIo;
using engine::registry::BackupKind;
using engine::registry::RestoreOutcome;
using test::FaultyFileIo;

constexpr const char* kHivePath = "c:\\windows\\system32\\config\\software";

void writeText(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

mode_t modeOf(const fs::path& file) {
    struct stat st {};
    EXPECT_EQ(::stat(file.c_str(), &st), 0);
    return st.st_mode & 07777;
}

// An installation's disk on drive c: with its SOFTWARE hive (an XP user hive
// stands in for it), and a folder for backups beside the disk.
class HiveBackupTest : public ::testing::Test {
protected:
    HiveBackupTest() {
        const fs::path config = dir_ / "disk/WINDOWS/system32/config";
        fs::create_directories(config);
        fs::copy_file(test::testdata("hives/xp-ntuser.dat"), hive_);
        fs::permissions(hive_,
                        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        fs::create_directories(backups_);
        drives_.add('c', engine::platform::DriveType::Fixed, dir_ / "disk");
    }

    // The names in a folder, to see that no temporary file is left behind.
    static std::vector<std::string> namesIn(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TempDir dir_;
    fs::path hive_ = dir_ / "disk/WINDOWS/system32/config/SOFTWARE";
    fs::path backups_ = dir_ / "backups";
    engine::platform::DriveTable drives_;
    PosixFileIo io_;
};

TEST_F(HiveBackupTest, BackupIsAByteCopyThatReplacesAnOldBackup) {
    const fs::path backup = backups_ / "before.backregall";
    // A longer old backup: its tail must not survive the new copy.
    writeText(backup, std::string(2 * 1024 * 1024, 'x'));

    ASSERT_TRUE(engine::registry::backupHive(drives_, kHivePath, backup, io_));
    EXPECT_EQ(test::readFile(backup), test::readFile(hive_));
    EXPECT_EQ(namesIn(backups_), std::vector<std::string>{"before.backregall"});

    // A second backup over the first.
    fs::copy_file(test::testdata("hives/win7-ntuser.dat"), hive_,
                  fs::copy_options::overwrite_existing);
    ASSERT_TRUE(engine::registry::backupHive(drives_, kHivePath, backup, io_));
    EXPECT_EQ(test::readFile(backup), test::readFile(hive_));
}

TEST_F(HiveBackupTest, FailedBackupLeavesTheOldBackup) {
    const fs::path backup = backups_ / "before.backregall";
    writeText(backup, "the old backup");

    // The hive is missing; the hive's path is on no drive; the copy fails
    // midway; the copy cannot be made durable.
    EXPECT_FALSE(
        engine::registry::backupHive(drives_, "c:\\windows\\system32\\config\\none", backup, io_));
    EXPECT_FALSE(engine::registry::backupHive(drives_, "q:\\software", backup, io_));
    for (const auto& [fault, nth] : {std::pair{FaultyFileIo::Fault::WriteError, 2},
                                     std::pair{FaultyFileIo::Fault::ShortWrite, 3},
                                     std::pair{FaultyFileIo::Fault::SyncError, 1}}) {
        FaultyFileIo faulty(io_, fault, static_cast<std::size_t>(nth));
        EXPECT_FALSE(engine::registry::backupHive(drives_, kHivePath, backup, faulty));
        EXPECT_TRUE(faulty.fired());
    }
    std::ifstream in(backup);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the old backup");
    EXPECT_EQ(namesIn(backups_), std::vector<std::string>{"before.backregall"});
}

TEST(HiveBackupMessages, EachKindHasItsTextsAndDialogs) {
    EXPECT_EQ(engine::registry::backupMessage(BackupKind::Software, true),
              "Файл успешно сохранен...");
    EXPECT_EQ(engine::registry::backupMessage(BackupKind::UserHive, true),
              "Файл успешно сохранен...");
    EXPECT_EQ(engine::registry::backupMessage(BackupKind::Software, false),
              "Ошибка сохранения файла...");
    EXPECT_EQ(engine::registry::backupMessage(BackupKind::UserHive, false),
              "Не успешное сохранение файла...");

    engine::registry::RestoreResult result;
    result.outcome = RestoreOutcome::Restored;
    EXPECT_EQ(engine::registry::restoreMessage(result), "Файл реестра успешно восстановлен...");
    result.outcome = RestoreOutcome::CopyFailed;
    EXPECT_EQ(engine::registry::restoreMessage(result), "Неудачное восстановление файла...");

    const auto software = engine::registry::backupDialogs(BackupKind::Software);
    const auto user = engine::registry::backupDialogs(BackupKind::UserHive);
    EXPECT_EQ(software.pattern, "*.backregall");
    EXPECT_EQ(software.defaultExtension, "backregall");
    EXPECT_EQ(user.pattern, "*.backregusr");
    EXPECT_EQ(user.defaultExtension, "backregusr");
    for (const auto& dialogs : {software, user}) {
        EXPECT_EQ(dialogs.saveTitle, "Сохранение реестра...");
        EXPECT_EQ(dialogs.openTitle, "Восстановление файла реестра...");
        EXPECT_EQ(dialogs.filterName, "Сохранненый реестр");
    }
}

TEST_F(HiveBackupTest, RestorePutsTheBackupInPlaceAndKeepsThePermissions) {
    const fs::path backup = test::copyTestFile("hives/win7-ntuser.dat", backups_);
    fs::permissions(backup, fs::perms::owner_all | fs::perms::others_all);

    const auto result = engine::registry::restoreHive(drives_, kHivePath, backup, io_);
    ASSERT_EQ(result.outcome, RestoreOutcome::Restored) << result.reason;
    EXPECT_EQ(test::readFile(hive_), test::readFile(backup));
    EXPECT_EQ(modeOf(hive_), 0640u);
    EXPECT_EQ(namesIn(hive_.parent_path()), std::vector<std::string>{"SOFTWARE"});
    auto reopened = engine::hive::Hive::openRecovered(hive_);
    ASSERT_TRUE(reopened) << reopened.error().describe();
    EXPECT_FALSE(reopened->dirty());
}

// Files that must never be copied over an installation's hive: Windows could
// not load them, or would lose what their logs held.
TEST_F(HiveBackupTest, RestoreRefusesWhatIsNotALoadableHiveAndLeavesTheHive) {
    const auto before = test::readFile(hive_);
    writeText(backups_ / "text.backregall", "Windows Registry Editor Version 5.00\r\n");
    const struct {
        fs::path file;
        RestoreOutcome outcome;
    } cases[] = {
        {backups_ / "text.backregall", RestoreOutcome::NotAHive},
        {test::copyTestFile("hives/corrupt/BadListHive", backups_), RestoreOutcome::NotAHive},
        {test::copyTestFile("hives/corrupt/TruncatedHive", backups_), RestoreOutcome::NotAHive},
        {test::copyTestFile("hives/corrupt/WrongOrderHive", backups_), RestoreOutcome::NotAHive},
        // A copy of a hive left dirty, without the logs that held its changes.
        {test::copyTestFile("hives/dirty-new/NewDirtyHive", backups_), RestoreOutcome::NotAHive},
        {backups_ / "missing.backregall", RestoreOutcome::CopyFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.filename().string());
        const auto result = engine::registry::restoreHive(drives_, kHivePath, c.file, io_);
        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_FALSE(result.reason.empty());
        const std::string message = engine::registry::restoreMessage(result);
        EXPECT_NE(message, "Файл реестра успешно восстановлен...");
        if (c.outcome == RestoreOutcome::NotAHive) {
            EXPECT_NE(message.find(result.reason), std::string::npos) << message;
        }
        EXPECT_EQ(test::readFile(hive_), before);
    }
    EXPECT_EQ(namesIn(hive_.parent_path()), std::vector<std::string>{"SOFTWARE"});
}

TEST_F(HiveBackupTest, RestoreThatFailsMidwayLeavesTheOldHiveAndItsLogs) {
    const fs::path backup = test::copyTestFile("hives/win7-ntuser.dat", backups_);
    writeText(hive_.string() + ".LOG", "the hive's log");
    const auto before = test::readFile(hive_);
    for (const auto& [fault, nth] : {std::pair{FaultyFileIo::Fault::WriteError, 2},
                                     std::pair{FaultyFileIo::Fault::ShortWrite, 3},
                                     std::pair{FaultyFileIo::Fault::SyncError, 1}}) {
        FaultyFileIo faulty(io_, fault, static_cast<std::size_t>(nth));
        const auto result = engine::registry::restoreHive(drives_, kHivePath, backup, faulty);
        EXPECT_TRUE(faulty.fired());
        EXPECT_EQ(result.outcome, RestoreOutcome::CopyFailed);
        EXPECT_EQ(engine::registry::restoreMessage(result), "Неудачное восстановление файла...");
        EXPECT_EQ(test::readFile(hive_), before);
        EXPECT_EQ(modeOf(hive_), 0640u);
    }
    EXPECT_EQ(namesIn(hive_.parent_path()), (std::vector<std::string>{"SOFTWARE", "SOFTWARE.LOG"}));
}

// The logs beside a replaced hive belong to its old state: they are moved
// aside whole, never left where a recovery of the restored hive would look.
TEST_F(HiveBackupTest, RestoreMovesTheReplacedHivesLogsAside) {
    const fs::path config = hive_.parent_path();
    fs::remove(hive_);
    const fs::path dirty = test::copyTestFile("hives/dirty-new/NewDirtyHive", config);
    const fs::path log1 = test::copyTestFile("hives/dirty-new/NewDirtyHive.LOG1", config);
    const fs::path log2 = test::copyTestFile("hives/dirty-new/NewDirtyHive.LOG2", config);
    const auto log1Bytes = test::readFile(log1);
    const auto log2Bytes = test::readFile(log2);
    // A name already taken by an earlier restore is not overwritten.
    writeText(config / "NewDirtyHive.LOG1.before-restore", "earlier");
    const fs::path backup = test::copyTestFile("hives/dirty-new/RecoveredHive_Windows10", backups_);

    const auto result = engine::registry::restoreHive(
        drives_, "c:\\windows\\system32\\config\\newdirtyhive", backup, io_);
    ASSERT_EQ(result.outcome, RestoreOutcome::Restored) << result.reason;
    EXPECT_EQ(test::readFile(dirty), test::readFile(backup));
    EXPECT_EQ(result.logsSetAside,
              (std::vector<fs::path>{config / "NewDirtyHive.LOG1.before-restore.2",
                                     config / "NewDirtyHive.LOG2.before-restore"}));
    EXPECT_EQ(test::readFile(config / "NewDirtyHive.LOG1.before-restore.2"), log1Bytes);
    EXPECT_EQ(test::readFile(config / "NewDirtyHive.LOG2.before-restore"), log2Bytes);
    std::ifstream earlier(config / "NewDirtyHive.LOG1.before-restore");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(earlier), {}), "earlier");

    auto logs = engine::hive::readLogFiles(dirty);
    ASSERT_TRUE(logs);
    EXPECT_TRUE(logs->empty());
    auto reopened = engine::hive::Hive::openRecovered(dirty);
    ASSERT_TRUE(reopened) << reopened.error().describe();
    EXPECT_FALSE(reopened->recovery() && !reopened->recovery()->applied.empty());
}

} // namespace

namespace {

// On a real NTFS volume the restored hive keeps the replaced one's security
// descriptor and Windows attributes: Windows finds it protected as before.
TEST(HiveRestoreOnNtfs, KeepsTheHivesSecurityAndAttributes) {
    test::TempDir work;
    std::string whyNot;
    auto volume = test::NtfsVolume::create(work.path(), whyNot);
    if (!volume) {
        GTEST_SKIP() << whyNot;
    }
    const fs::path config = volume->root() / "WINDOWS" / "system32" / "config";
    fs::create_directories(config);
    const fs::path hive = config / "SOFTWARE";
    fs::copy_file(test::testdata("hives/xp-ntuser.dat"), hive);
    // A descriptor of its own, unlike what a new file in the folder inherits:
    // the system and hidden attributes set, as Windows keeps a hive.
    ASSERT_TRUE(test::writeXattr(hive, "system.ntfs_attrib_be", {0, 0, 0, 0x26}));
    const auto acl = test::readXattr(hive, "system.ntfs_acl");
    const auto attributes = test::readXattr(hive, "system.ntfs_attrib_be");
    ASSERT_TRUE(acl && attributes);

    engine::platform::DriveTable drives;
    drives.add('c', engine::platform::DriveType::Fixed, volume->root());
    const fs::path backup = test::copyTestFile("hives/win7-ntuser.dat", work.path());
    PosixFileIo io;
    const auto result = engine::registry::restoreHive(drives, kHivePath, backup, io);
    ASSERT_EQ(result.outcome, RestoreOutcome::Restored) << result.reason;
    EXPECT_EQ(test::readFile(hive), test::readFile(backup));
    EXPECT_EQ(test::readXattr(hive, "system.ntfs_acl"), acl);
    EXPECT_EQ(test::readXattr(hive, "system.ntfs_attrib_be"), attributes);
}

} // namespace

namespace {

// The hive as Windows would load it (recovered from its logs when dirty), in
// the engine's text form.
std::string recoveredDump(const fs::path& file) {
    auto hive = engine::hive::Hive::openRecovered(file);
    EXPECT_TRUE(hive) << file << ": " << (hive ? "" : hive.error().describe());
    std::string text;
    if (hive) {
        auto done = engine::hive::dumpHive(*hive, "", [&](std::string_view line) {
            text += line;
            text += '\n';
        });
        EXPECT_TRUE(done);
    }
    return text;
}

// A hive Windows left dirty mounts, recovered from its logs; its backup is
// that recovered hive, one clean whole file, which the restore takes back and
// which then loads with the same keys and values, without any log.
TEST(HiveBackupOfADirtyHive, IsTheRecoveredHiveAndRestores) {
    const struct {
        const char* folder;
        const char* primary;
        const char* windowsRecovered; // what Windows itself made of it
    } cases[] = {
        {"hives/dirty-new/", "NewDirtyHive", "RecoveredHive_Windows10"},
        {"hives/dirty-old/", "OldDirtyHive", "RecoveredHive_Windows7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.primary);
        test::TargetDisk disk;
        engine::Context& ctx = disk.context;
        const std::string folder = c.folder;
        const fs::path hive = disk.place(folder + c.primary, test::kSoftwarePath);
        for (const char* log : {".LOG1", ".LOG2"}) {
            disk.place(folder + c.primary + log, std::string(test::kSoftwarePath) + log);
        }
        const auto primaryBefore = test::readFile(hive);
        const std::string expected = recoveredDump(hive);
        EXPECT_EQ(expected, recoveredDump(test::testdata(folder + c.windowsRecovered)));

        ASSERT_TRUE(
            engine::registry::LoadHive(ctx, engine::registry::kSoftwareMount, test::kSoftwarePath))
            << ctx.registry.lastOutcome().detail;
        EXPECT_TRUE(ctx.registry.lastOutcome().recovered);
        ASSERT_TRUE(engine::registry::UnloadHive(ctx, engine::registry::kSoftwareMount));

        const test::TempDir backups;
        const fs::path backup = backups / "system.backregall";
        writeText(backup, "the old backup");
        PosixFileIo io;
        {
            // A backup that fails midway leaves the old one.
            FaultyFileIo faulty(io, FaultyFileIo::Fault::WriteError, 2);
            EXPECT_FALSE(
                engine::registry::backupHive(ctx.drives, test::kSoftwarePath, backup, faulty));
            EXPECT_TRUE(faulty.fired());
            std::ifstream in(backup);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the old backup");
        }
        ASSERT_TRUE(engine::registry::backupHive(ctx.drives, test::kSoftwarePath, backup, io));
        // The hive and its logs are as they were; the backup is clean and
        // whole, and every reader reads it.
        EXPECT_EQ(test::readFile(hive), primaryBefore);
        auto opened = engine::hive::Hive::open(backup);
        ASSERT_TRUE(opened) << opened.error().describe();
        EXPECT_FALSE(opened->dirty());
        EXPECT_EQ(recoveredDump(backup), expected);
        EXPECT_TRUE(test::independentReadersAgree(backup));

        const auto restored =
            engine::registry::restoreHive(ctx.drives, test::kSoftwarePath, backup, io);
        ASSERT_EQ(restored.outcome, RestoreOutcome::Restored) << restored.reason;
        EXPECT_EQ(restored.logsSetAside.size(), 2u);
        EXPECT_EQ(test::readFile(hive), test::readFile(backup));
        EXPECT_EQ(recoveredDump(hive), expected);
        ASSERT_TRUE(
            engine::registry::LoadHive(ctx, engine::registry::kSoftwareMount, test::kSoftwarePath))
            << ctx.registry.lastOutcome().detail;
        EXPECT_FALSE(ctx.registry.lastOutcome().recovered);
        ASSERT_TRUE(engine::registry::UnloadHive(ctx, engine::registry::kSoftwareMount));
    }
}

// A dirty hive whose logs cannot be applied has no copy that could be put
// back: no backup is made, and an old one stays.
TEST(HiveBackupOfADirtyHive, WithUnusableLogsIsRefused) {
    test::TargetDisk disk;
    const fs::path hive = disk.place("hives/bad-log-new/BadLogHive", test::kSoftwarePath);
    for (const char* log : {".LOG1", ".LOG2"}) {
        disk.place(std::string("hives/bad-log-new/BadLogHive") + log,
                   std::string(test::kSoftwarePath) + log);
    }
    const test::TempDir backups;
    const fs::path backup = backups / "system.backregall";
    writeText(backup, "the old backup");
    PosixFileIo io;
    EXPECT_FALSE(
        engine::registry::backupHive(disk.context.drives, test::kSoftwarePath, backup, io));
    std::ifstream in(backup);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the old backup");
}

} // namespace
