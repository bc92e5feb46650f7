// The one write policy as the mounts and the hive restores keep it, and the
// volume a host file lies on.
#include "registry/write_policy.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "registry/hive_backup.h"
#include "registry/hive_mounting.h"
#include "support/write_conditions.h"
#include "target_disk.h"

namespace engine::registry {
namespace {

namespace fs = std::filesystem;
using test::kSoftwarePath;
using test::WriteCondition;

std::optional<WriteBlock> blockOf(WriteCondition condition) {
    switch (condition) {
    case WriteCondition::HibernatedVolume:
        return WriteBlock::Hibernated;
    case WriteCondition::ReadOnlyFile:
    case WriteCondition::ReadOnlyVolume:
        return WriteBlock::ReadOnly;
    case WriteCondition::Fine:
        break;
    }
    return std::nullopt;
}

TEST(WritePolicy, MountsAndRestoresRefuseWhatMayNotBeWritten) {
    for (const test::WriteCase& c : test::kWriteCases) {
        SCOPED_TRACE(c.what);
        const auto block = blockOf(c.condition);
        hive::PosixFileIo real;
        {
            test::TargetDisk disk;
            Context& ctx = disk.context;
            const fs::path host = disk.place("hives/xp-ntuser.dat", kSoftwarePath);
            ctx.registry.setFileIo(
                test::imposeWriteCondition(c.condition, disk.dir.path(), host, real));
            EXPECT_EQ(LoadHive(ctx, kSoftwareMount, kSoftwarePath), !block);
            const MountFailure expected = !block ? MountFailure::None
                                          : *block == WriteBlock::Hibernated
                                              ? MountFailure::Hibernated
                                              : MountFailure::ReadOnly;
            EXPECT_EQ(ctx.registry.lastOutcome().failure, expected)
                << ctx.registry.lastOutcome().detail;
        }
        {
            test::TargetDisk disk;
            const fs::path host = disk.place("hives/xp-ntuser.dat", kSoftwarePath);
            const test::TempDir backups;
            const fs::path backup = test::copyTestFile("hives/win7-ntuser.dat", backups.path());
            const auto io = test::imposeWriteCondition(c.condition, disk.dir.path(), host, real);
            const auto before = test::readFile(host);
            const RestoreResult result =
                restoreHive(disk.context.drives, kSoftwarePath, backup, *io);
            if (!block) {
                EXPECT_EQ(result.outcome, RestoreOutcome::Restored) << result.reason;
                EXPECT_EQ(test::readFile(host),
                          test::readFile(test::testdata("hives/win7-ntuser.dat")));
                continue;
            }
            EXPECT_EQ(result.outcome, RestoreOutcome::Refused) << result.reason;
            EXPECT_EQ(result.block, *block);
            EXPECT_EQ(test::readFile(host), before);
            const std::string message = restoreMessage(result);
            EXPECT_NE(message.find(std::string(writeRefusalNote(*block))), std::string::npos)
                << message;
        }
    }
}

TEST(WritePolicy, AFileStillToBeCreatedCountsByItsFolder) {
    test::TempDir dir;
    hive::PosixFileIo real;
    test::FaultyFileIo readOnly(real, [](hive::FileFacts& f) { f.readOnlyVolume = true; });
    EXPECT_FALSE(writeRefusal(dir.path(), dir / "new", real).has_value());
    EXPECT_FALSE(writeRefusal(dir.path(), dir / "no-folder" / "new", real).has_value());
    const auto refused = writeRefusal(dir.path(), dir / "new", readOnly);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->block, WriteBlock::ReadOnly);
    test::plantHibernationImage(dir.path());
    const auto hibernated = writeRefusal(dir.path(), dir / "new", real);
    ASSERT_TRUE(hibernated);
    EXPECT_EQ(hibernated->block, WriteBlock::Hibernated);
}

TEST(WritePolicy, AHostFileLiesOnTheDeepestDriveThatHoldsIt) {
    test::TempDir dir;
    fs::create_directories(dir / "outer" / "inner" / "folder");
    platform::DriveTable drives;
    drives.add('c', platform::DriveType::Fixed, dir / "outer");
    drives.add('d', platform::DriveType::Fixed, dir / "outer" / "inner");
    drives.add('e', platform::DriveType::Fixed, dir / "out");
    EXPECT_EQ(volumeRootOf(drives, dir / "outer" / "inner" / "folder" / "new"),
              dir / "outer" / "inner");
    EXPECT_EQ(volumeRootOf(drives, dir / "outer" / "file"), dir / "outer");
    // Outside every drive ("out" is no prefix of "outer/..."): its mount point.
    const fs::path elsewhere = volumeRootOf(drives, dir / "outside" / "file");
    EXPECT_EQ(elsewhere, mountPointOf(dir.path()));
    EXPECT_FALSE(elsewhere.empty());
    EXPECT_EQ(mountPointOf("/proc/self/status"), "/proc");
}

} // namespace
} // namespace engine::registry
