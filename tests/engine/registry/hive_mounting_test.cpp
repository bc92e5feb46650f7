#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hive/file_io.h"
#include "hive/hive.h"
#include "registry/hive_mounting.h"
#include "registry/reg_engine.h"
#include "support/faulty_file_io.h"
#include "support/hive_content.h"
#include "support/independent_readers.h"
#include "support/ntfs_volume.h"
#include "target_disk.h"

namespace engine::registry {
namespace {

namespace fs = std::filesystem;
using test::kSoftwarePath;
using test::kUserPath;

std::string readString(Context& context, const std::string& key, const std::string& value) {
    TRegEngine r{false, key, value, 0};
    return RegEngineReadString(context.registry, r);
}

bool keyExists(Context& context, const std::string& key) {
    TRegEngine r{false, key, {}, 0};
    return RegEngineKeyExists(context.registry, r);
}

void writeString(Context& context, const std::string& key, const std::string& value,
                 const std::string& text) {
    TRegEngine r{false, key, value, 0};
    RegEngineWriteString(context.registry, r, text);
    EXPECT_EQ(r.Status, 0);
}

std::vector<unsigned char> bytesOf(const fs::path& file) {
    return test::readFile(file);
}

TEST(HiveMounting, MountsReadsChangesAndWritesBackOnUnload) {
    test::TargetDisk disk;
    Context& ctx = disk.context;
    const fs::path host = disk.place("hives/xp-ntuser.dat", kUserPath);

    // The path is matched on the disk without case, as Windows matches it.
    ASSERT_TRUE(LoadHive(ctx, kUserMount, "C:\\documents and settings\\ADMIN\\ntuser.dat"))
        << ctx.registry.lastOutcome().detail;
    EXPECT_EQ(ctx.registry.lastOutcome().failure, MountFailure::None);
    EXPECT_FALSE(ctx.registry.lastOutcome().recovered);
    EXPECT_TRUE(keyExists(ctx, "LoadedUserHive"));
    EXPECT_EQ(readString(ctx, "LoadedUserHive\\Control Panel\\Desktop", "CoolSwitch"), "1");

    writeString(ctx, "LoadedUserHive\\Control Panel\\Desktop", "CoolSwitch", "0");
    writeString(ctx, "LoadedUserHive\\Software\\Morvalin\\Test", "Проверка", "Готово");
    // Nothing reaches the file before the unmount.
    ASSERT_TRUE(hive::Hive::open(host)->findKey("Software\\Morvalin")->has_value() == false);

    ASSERT_TRUE(UnloadHive(ctx, kUserMount)) << ctx.registry.lastOutcome().detail;
    EXPECT_FALSE(keyExists(ctx, "LoadedUserHive"));
    EXPECT_EQ(readString(ctx, "LoadedUserHive\\Control Panel\\Desktop", "CoolSwitch"), "");

    // A fresh mount, and every independent reader, see the changes.
    ASSERT_TRUE(LoadHive(ctx, kUserMount, kUserPath));
    EXPECT_EQ(readString(ctx, "LoadedUserHive\\Control Panel\\Desktop", "CoolSwitch"), "0");
    EXPECT_EQ(readString(ctx, "LoadedUserHive\\SOFTWARE\\morvalin\\test", "проверка"), "Готово");
    ASSERT_TRUE(UnloadHive(ctx, kUserMount));
    EXPECT_TRUE(test::independentReadersAgree(host));
}

TEST(HiveMounting, UnloadWithoutChangesLeavesTheFileAlone) {
    test::TargetDisk disk;
    Context& ctx = disk.context;
    const fs::path host = disk.place("hives/win7-ntuser.dat", kUserPath);
    const auto before = bytesOf(host);
    ASSERT_TRUE(LoadHive(ctx, kUserMount, kUserPath)) << ctx.registry.lastOutcome().detail;
    // Reads, and a delete of a value that is not there in a key that is.
    TRegEngine r{false, "LoadedUserHive\\Control Panel\\Desktop", "NoSuchValue", 0};
    RegEngineDeleteValue(ctx.registry, r);
    EXPECT_EQ(r.Status, 0);
    EXPECT_FALSE(RegEngineValueExists(ctx.registry, r));
    EXPECT_FALSE(ctx.registry.find(kUserMount)->hive.changed());
    ASSERT_TRUE(UnloadHive(ctx, kUserMount));
    EXPECT_EQ(bytesOf(host), before);
    EXPECT_FALSE(fs::exists(host.string() + ".LOG"));
    EXPECT_FALSE(fs::exists(host.string() + ".LOG1"));
}

TEST(HiveMounting, ANameInUseIsRefusedAndTheFirstMountStays) {
    test::TargetDisk disk;
    Context& ctx = disk.context;
    disk.place("hives/xp-ntuser.dat", kSoftwarePath);
    disk.place("hives/win7-ntuser.dat", kUserPath);
    ASSERT_TRUE(LoadHive(ctx, kSoftwareMount, kSoftwarePath));

    for (const char* name : {"LoadedHiveSoftware", "loadedhivesoftware"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(LoadHive(ctx, name, kUserPath));
        EXPECT_EQ(ctx.registry.lastOutcome().failure, MountFailure::NameInUse);
    }
    ASSERT_EQ(ctx.registry.mounts().size(), 1u);
    EXPECT_EQ(ctx.registry.mounts()[0]->hiveFile, kSoftwarePath);
    // Still the first hive (the Windows 7 one has no ActiveWndTrkTimeout).
    TRegEngine r{false, "LoadedHiveSoftware\\Control Panel\\Desktop", "ActiveWndTrkTimeout", 0};
    EXPECT_EQ(RegEngineReadInteger(ctx.registry, r), 0);
    EXPECT_EQ(r.Status, 0);
    writeString(ctx, "LoadedHiveSoftware\\Control Panel\\Desktop", "CoolSwitch", "5");
    EXPECT_TRUE(UnloadHive(ctx, kSoftwareMount));
}

TEST(HiveMounting, TheSameFileCannotBeMountedUnderBothNames) {
    test::TargetDisk disk;
    Context& ctx = disk.context;
    const fs::path host = disk.place("hives/xp-ntuser.dat", kSoftwarePath);
    const fs::path link = disk.hostOf("c:\\other-name.dat");
    fs::create_hard_link(host, link);
    ASSERT_TRUE(LoadHive(ctx, kSoftwareMount, kSoftwarePath));
    for (const char* path :
         {"c:\\WINDOWS\\system32\\config\\software", "C:\\windows\\SYSTEM32\\CONFIG\\SOFTWARE",
          "c:\\other-name.dat", "c:\\WINDOWS\\system32\\..\\system32\\config\\software"}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(LoadHive(ctx, kUserMount, path));
        EXPECT_EQ(ctx.registry.lastOutcome().failure, MountFailure::AlreadyMounted);
        EXPECT_FALSE(keyExists(ctx, "LoadedUserHive"));
    }
    ASSERT_TRUE(UnloadHive(ctx, kSoftwareMount));
    EXPECT_TRUE(LoadHive(ctx, kUserMount, "c:\\other-name.dat"));
}

// Hives that must not mount: each is refused with its reason and keeps every
// byte (and so do its logs).
TEST(HiveMounting, RefusedHivesAreNotMountedAndNotTouched) {
    struct Case {
        const char* what;
        std::vector<const char*> files; // test data: the primary first, then its logs
        std::function<void(const fs::path& primary)> prepare;
        MountFailure failure;
        const char* windowsPath = nullptr; // another path to mount than the file's
    };
    const Case cases[] = {
        {"no file", {}, {}, MountFailure::Missing},
        {"a drive not in the table",
         {"hives/xp-ntuser.dat"},
         {},
         MountFailure::Missing,
         "x:\\WINDOWS\\system32\\config\\software"},
        {"a folder",
         {},
         [](const fs::path& p) { fs::create_directories(p); },
         MountFailure::Missing},
        {"not a hive",
         {},
         [](const fs::path& p) {
             fs::create_directories(p.parent_path());
             std::ofstream(p) << "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n";
         },
         MountFailure::NotAHive},
        {"a transaction log", {"hives/dirty-new/NewDirtyHive.LOG1"}, {}, MountFailure::NotAHive},
        {"truncated", {"hives/corrupt/TruncatedHive"}, {}, MountFailure::Damaged},
        {"subkeys out of order", {"hives/corrupt/WrongOrderHive"}, {}, MountFailure::Damaged},
        {"a broken subkey list", {"hives/corrupt/BadListHive"}, {}, MountFailure::Damaged},
        {"dirty with damaged logs",
         {"hives/bad-log-new/BadLogHive", "hives/bad-log-new/BadLogHive.LOG1",
          "hives/bad-log-new/BadLogHive.LOG2"},
         {},
         MountFailure::DirtyWithoutLogs},
        {"dirty with damaged old-format logs",
         {"hives/bad-log-old/BadLogHive", "hives/bad-log-old/BadLogHive.LOG1",
          "hives/bad-log-old/BadLogHive.LOG2"},
         {},
         MountFailure::DirtyWithoutLogs},
        {"without write permission",
         {"hives/xp-ntuser.dat"},
         [](const fs::path& p) {
             fs::permissions(p, fs::perms::owner_read | fs::perms::group_read |
                                    fs::perms::others_read);
         },
         MountFailure::ReadOnly},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TargetDisk disk;
        Context& ctx = disk.context;
        std::vector<fs::path> placed;
        for (std::size_t i = 0; i < c.files.size(); ++i) {
            const std::string suffix =
                i == 0 ? "" : fs::path(c.files[i]).extension().string(); // .LOG1, .LOG2
            placed.push_back(disk.place(c.files[i], std::string(kSoftwarePath) + suffix));
        }
        const fs::path primary = disk.hostOf(kSoftwarePath);
        if (c.prepare) {
            c.prepare(primary);
        }
        std::vector<std::vector<unsigned char>> before;
        for (const fs::path& p : placed) {
            before.push_back(bytesOf(p));
        }

        EXPECT_FALSE(LoadHive(ctx, kSoftwareMount, c.windowsPath ? c.windowsPath : kSoftwarePath));
        EXPECT_EQ(ctx.registry.lastOutcome().failure, c.failure)
            << ctx.registry.lastOutcome().detail;
        EXPECT_TRUE(ctx.registry.mounts().empty());
        EXPECT_FALSE(keyExists(ctx, "LoadedHiveSoftware"));
        EXPECT_FALSE(UnloadHive(ctx, kSoftwareMount));
        for (std::size_t i = 0; i < placed.size(); ++i) {
            EXPECT_EQ(bytesOf(placed[i]), before[i]) << placed[i];
        }
    }
}

TEST(HiveMounting, FilesAndVolumesThatCannotBeWrittenAreRefused) {
    const struct {
        const char* what;
        std::function<void(hive::FileFacts&)> alter;
    } cases[] = {
        {"read-only volume", [](hive::FileFacts& f) { f.readOnlyVolume = true; }},
        {"read-only attribute", [](hive::FileFacts& f) { f.attributes = 0x21; }},
        {"compressed", [](hive::FileFacts& f) { f.attributes = hive::kAttributeCompressed; }},
        {"encrypted", [](hive::FileFacts& f) { f.attributes = hive::kAttributeEncrypted; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TargetDisk disk;
        Context& ctx = disk.context;
        disk.place("hives/xp-ntuser.dat", kSoftwarePath);
        hive::PosixFileIo real;
        ctx.registry.setFileIo(std::make_shared<test::FaultyFileIo>(real, c.alter));
        EXPECT_FALSE(LoadHive(ctx, kSoftwareMount, kSoftwarePath));
        EXPECT_EQ(ctx.registry.lastOutcome().failure, MountFailure::ReadOnly)
            << ctx.registry.lastOutcome().detail;
        EXPECT_TRUE(ctx.registry.mounts().empty());
    }
}

TEST(HiveMounting, AHiveOnAReadOnlyNtfsVolumeIsRefused) {
    test::TempDir work;
    std::string whyNot;
    auto volume = test::NtfsVolume::create(work.path(), whyNot);
    if (!volume) {
        GTEST_SKIP() << "no NTFS volume: " << whyNot;
    }
    const fs::path config = volume->root() / "Windows" / "System32" / "config";
    fs::create_directories(config);
    fs::copy_file(test::testdata("hives/xp-ntuser.dat"), config / "SOFTWARE");
    ASSERT_EQ(volume->remount("ro"), std::nullopt);
    const auto before = bytesOf(config / "SOFTWARE");
    {
        Context ctx;
        ctx.drives.add('c', platform::DriveType::Fixed, volume->root());
        EXPECT_FALSE(LoadHive(ctx, kSoftwareMount, kSoftwarePath));
        EXPECT_EQ(ctx.registry.lastOutcome().failure, MountFailure::ReadOnly)
            << ctx.registry.lastOutcome().detail;
        EXPECT_TRUE(ctx.registry.mounts().empty());
    }
    EXPECT_EQ(bytesOf(config / "SOFTWARE"), before);
}

TEST(HiveMounting, AHibernatedVolumeIsRefused) {
    test::TargetDisk disk;
    Context& ctx = disk.context;
    const fs::path host = disk.place("hives/xp-ntuser.dat", kSoftwarePath);
    std::ofstream(disk.dir / "hiberfil.sys", std::ios::binary) << "HIBR" << std::string(4092, '\0');
    const auto before = bytesOf(host);
    EXPECT_FALSE(LoadHive(ctx, kSoftwareMount, kSoftwarePath));
    EXPECT_EQ(ctx.registry.lastOutcome().failure, MountFailure::Hibernated);
    EXPECT_TRUE(ctx.registry.mounts().empty());
    EXPECT_EQ(bytesOf(host), before);

    // Once Windows has shut down fully, the volume can be written.
    fs::remove(disk.dir / "hiberfil.sys");
    EXPECT_TRUE(LoadHive(ctx, kSoftwareMount, kSoftwarePath)) << ctx.registry.lastOutcome().detail;
}

TEST(HiveMounting, ADirtyHiveWithUsableLogsIsRecoveredAndMounts) {
    test::TargetDisk disk;
    Context& ctx = disk.context;
    const fs::path host = disk.place("hives/dirty-new/NewDirtyHive", kSoftwarePath);
    disk.place("hives/dirty-new/NewDirtyHive.LOG1", std::string(kSoftwarePath) + ".LOG1");
    disk.place("hives/dirty-new/NewDirtyHive.LOG2", std::string(kSoftwarePath) + ".LOG2");
    const auto before = bytesOf(host);

    ASSERT_TRUE(LoadHive(ctx, kSoftwareMount, kSoftwarePath)) << ctx.registry.lastOutcome().detail;
    EXPECT_TRUE(ctx.registry.lastOutcome().recovered);
    // What only the logs held (the primary itself has Key1 and Key2).
    TRegEngine r{false, "LoadedHiveSoftware", {}, 0};
    std::vector<std::string> names;
    RegEngineKeyNames(ctx.registry, r, names);
    EXPECT_EQ(names, std::vector<std::string>{"Key3"});
    r.KeyPath = "LoadedHiveSoftware\\Key3";
    RegEngineKeyNames(ctx.registry, r, names);
    EXPECT_EQ(names, (std::vector<std::string>{"Key3_1", "Key3_2", "Key3_3"}));

    // Unmounted without a change of ours, the file is left as it was: Windows,
    // or our next mount, recovers it the same way from the same logs.
    ASSERT_TRUE(UnloadHive(ctx, kSoftwareMount)) << ctx.registry.lastOutcome().detail;
    EXPECT_EQ(bytesOf(host), before);

    // Changed, it is written back whole: the recovered content and the change.
    ASSERT_TRUE(LoadHive(ctx, kSoftwareMount, kSoftwarePath));
    EXPECT_TRUE(ctx.registry.lastOutcome().recovered);
    writeString(ctx, "LoadedHiveSoftware\\Key3\\Key3_1", "Added", "new");
    ASSERT_TRUE(UnloadHive(ctx, kSoftwareMount)) << ctx.registry.lastOutcome().detail;
    auto h = hive::Hive::open(host);
    ASSERT_TRUE(h);
    EXPECT_FALSE(h->dirty());
    ASSERT_TRUE(LoadHive(ctx, kSoftwareMount, kSoftwarePath));
    EXPECT_FALSE(ctx.registry.lastOutcome().recovered);
    EXPECT_EQ(readString(ctx, "LoadedHiveSoftware\\Key3\\Key3_1", "Added"), "new");
    EXPECT_TRUE(keyExists(ctx, "LoadedHiveSoftware\\Key3\\Key3_3"));
    ASSERT_TRUE(UnloadHive(ctx, kSoftwareMount));
    EXPECT_TRUE(test::independentReadersAgree(host));
}

TEST(HiveMounting, UnloadingANameThatIsNotMountedFailsQuietly) {
    test::TargetDisk disk;
    Context& ctx = disk.context;
    bool result = true;
    EXPECT_NO_THROW(result = UnloadHive(ctx, kSoftwareMount));
    EXPECT_FALSE(result);
    EXPECT_EQ(ctx.registry.lastOutcome().failure, MountFailure::NotMounted);
    disk.place("hives/xp-ntuser.dat", kUserPath);
    ASSERT_TRUE(LoadHive(ctx, kUserMount, kUserPath));
    EXPECT_FALSE(UnloadHive(ctx, kSoftwareMount));
    EXPECT_EQ(ctx.registry.mounts().size(), 1u);
}

TEST(HiveMounting, AFailedWriteBackKeepsTheMountWithItsChanges) {
    test::TargetDisk disk;
    Context& ctx = disk.context;
    const fs::path host = disk.place("hives/xp-ntuser.dat", kUserPath);
    auto oldContent = test::recoveredContent(host);
    ASSERT_TRUE(oldContent);
    ASSERT_TRUE(LoadHive(ctx, kUserMount, kUserPath));
    writeString(ctx, "LoadedUserHive\\Control Panel\\Desktop", "CoolSwitch", "changed");

    auto real = std::make_shared<hive::PosixFileIo>();
    std::vector<test::HiveContent> onDiskAfterFaults;
    for (const auto fault :
         {test::FaultyFileIo::Fault::WriteError, test::FaultyFileIo::Fault::ShortWrite,
          test::FaultyFileIo::Fault::SyncError}) {
        for (const std::size_t nth : {1u, 3u}) {
            SCOPED_TRACE(testing::Message()
                         << "fault " << static_cast<int>(fault) << " at " << nth);
            auto faulty = std::make_shared<test::FaultyFileIo>(*real, fault, nth);
            ctx.registry.setFileIo(faulty);
            EXPECT_FALSE(UnloadHive(ctx, kUserMount));
            EXPECT_TRUE(faulty->fired());
            EXPECT_EQ(ctx.registry.lastOutcome().failure, MountFailure::WriteBackFailed);
            ASSERT_NE(ctx.registry.find(kUserMount), nullptr);
            EXPECT_EQ(readString(ctx, "LoadedUserHive\\Control Panel\\Desktop", "CoolSwitch"),
                      "changed");
            // What is on disk is the old hive or the new one, once recovered.
            auto onDisk = test::recoveredContent(host);
            ASSERT_TRUE(onDisk) << onDisk.error().describe();
            onDiskAfterFaults.push_back(*onDisk);
        }
    }

    ctx.registry.setFileIo(real);
    ASSERT_TRUE(UnloadHive(ctx, kUserMount)) << ctx.registry.lastOutcome().detail;
    EXPECT_EQ(ctx.registry.find(kUserMount), nullptr);
    auto newContent = test::recoveredContent(host);
    ASSERT_TRUE(newContent);
    EXPECT_FALSE(newContent->sameAs(*oldContent));
    for (const test::HiveContent& c : onDiskAfterFaults) {
        EXPECT_TRUE(c.sameAs(*oldContent) || c.sameAs(*newContent));
    }
    ASSERT_TRUE(LoadHive(ctx, kUserMount, kUserPath));
    EXPECT_EQ(readString(ctx, "LoadedUserHive\\Control Panel\\Desktop", "CoolSwitch"), "changed");
    ASSERT_TRUE(UnloadHive(ctx, kUserMount));
    EXPECT_TRUE(test::independentReadersAgree(host));
}

// A token that lacks the restore privilege, as Windows answers for it.
struct RecordingPrivileges {
    std::uint32_t answer = 0;
    std::vector<std::pair<std::string, bool>> calls;

    PrivilegeSource source() {
        return PrivilegeSource{true, [this](std::string_view name, bool enable) {
                                   calls.emplace_back(std::string(name), enable);
                                   return answer;
                               }};
    }
};

TEST(Privileges, AMissingRestorePrivilegeRaisesBeforeAnythingIsTouched) {
    test::TargetDisk disk;
    Context& ctx = disk.context;
    const fs::path host = disk.place("hives/xp-ntuser.dat", kSoftwarePath);
    RecordingPrivileges token;
    ctx.privileges = token.source();

    // Mounting works while the token has it.
    ASSERT_TRUE(LoadHive(ctx, kSoftwareMount, kSoftwarePath));
    writeString(ctx, "LoadedHiveSoftware\\Control Panel\\Desktop", "CoolSwitch", "9");
    const auto before = bytesOf(host);

    token.answer = 1300;
    const std::string text = "Не все требуемые привилегии или группы присвоены вызывающему.";
    try {
        UnloadHive(ctx, kSoftwareMount);
        ADD_FAILURE() << "UnloadHive did not raise";
    } catch (const PrivilegeError& e) {
        EXPECT_EQ(e.code(), 1300u);
        EXPECT_EQ(std::string(e.what()), text);
    }
    EXPECT_NE(ctx.registry.find(kSoftwareMount), nullptr);
    EXPECT_EQ(bytesOf(host), before);

    disk.place("hives/win7-ntuser.dat", kUserPath);
    try {
        LoadHive(ctx, kUserMount, kUserPath);
        ADD_FAILURE() << "LoadHive did not raise";
    } catch (const PrivilegeError& e) {
        EXPECT_EQ(e.code(), 1300u);
        EXPECT_EQ(std::string(e.what()), text);
    }
    EXPECT_EQ(ctx.registry.find(kUserMount), nullptr);
    // Not even a mount that would fail for its own reason gets a look.
    EXPECT_THROW(LoadHive(ctx, kSoftwareMount, "x:\\nothing"), PrivilegeError);
    EXPECT_EQ(ctx.registry.lastOutcome().failure, MountFailure::None);

    const std::vector<std::pair<std::string, bool>> restoreEnabled(
        4, {std::string(kRestorePrivilege), true});
    EXPECT_EQ(token.calls, restoreEnabled);

    token.answer = 0;
    EXPECT_TRUE(UnloadHive(ctx, kSoftwareMount));
    EXPECT_NE(bytesOf(host), before);
}

TEST(Privileges, SetPrivilegeAsksTheTokenAndRaisesTheSystemText) {
    Context ctx;
    RecordingPrivileges token;
    // Outside the NT family nothing is asked.
    ctx.privileges = PrivilegeSource{false, [&](std::string_view, bool) {
                                         ADD_FAILURE() << "asked outside the NT family";
                                         return std::uint32_t{1300};
                                     }};
    EXPECT_TRUE(SetPrivilege(ctx, kRestorePrivilege, true));
    EXPECT_TRUE(SetPrivilege(Context{}, kRestorePrivilege, true));

    ctx.privileges = token.source();
    EXPECT_TRUE(SetPrivilege(ctx, kRestorePrivilege, true));
    EXPECT_TRUE(SetPrivilege(ctx, "SeBackupPrivilege", false));
    EXPECT_EQ(token.calls, (std::vector<std::pair<std::string, bool>>{
                               {"SeRestorePrivilege", true}, {"SeBackupPrivilege", false}}));

    const struct {
        std::uint32_t code;
        const char* text;
    } errors[] = {
        {1300, "Не все требуемые привилегии или группы присвоены вызывающему."},
        {1313, "Указанная привилегия не существует."},
        {5, "Ошибка 5"},
    };
    for (const auto& e : errors) {
        token.answer = e.code;
        try {
            SetPrivilege(ctx, "SeNoSuchPrivilege", false);
            ADD_FAILURE() << "no error for " << e.code;
        } catch (const PrivilegeError& error) {
            EXPECT_EQ(error.code(), e.code);
            EXPECT_EQ(std::string(error.what()), e.text);
        }
        EXPECT_EQ(systemMessage(e.code), e.text);
    }
    EXPECT_EQ(token.calls.back(), (std::pair<std::string, bool>{"SeNoSuchPrivilege", false}));
}

} // namespace
} // namespace engine::registry
