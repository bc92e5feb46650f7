#include "rules/boot_sector.h"

#include <gtest/gtest.h>

#include "support/recording_launcher.h"

namespace {

using engine::platform::ShowMode;
using Start = test::RecordingLauncher::Start;

TEST(BootSector, FixedButtonsAlwaysTargetDriveC) {
    test::RecordingLauncher launcher;
    engine::rules::restoreXpBootSectorOnC(launcher);
    engine::rules::restoreVista7BootSectorOnC(launcher);
    EXPECT_EQ(launcher.starts,
              (std::vector<Start>{{"\"bootsect.exe\" /nt52 C: /mbr", ShowMode::Normal},
                                  {"\"bootsect.exe\" /nt60 C: /mbr", ShowMode::Normal}}));
}

TEST(BootSector, MountedSystemChoosesTheBootCodeByProductNameAndItsDrive) {
    const struct {
        const char* hive;
        const char* product;
        const char* command;
    } cases[] = {
        {"d:\\windows\\system32\\config\\software", "Microsoft Windows XP",
         "\"bootsect.exe\" /nt52 D: /mbr"},
        {"c:\\WINDOWS\\system32\\config\\software", "MICROSOFT windows xp",
         "\"bootsect.exe\" /nt52 C: /mbr"},
        {"e:\\windows\\system32\\config\\software", "Microsoft Windows XP Professional x64 Edition",
         "\"bootsect.exe\" /nt60 E: /mbr"},
        {"c:\\windows\\system32\\config\\software", "Windows 7 Ultimate",
         "\"bootsect.exe\" /nt60 C: /mbr"},
        {"f:\\windows\\system32\\config\\software", "Windows Vista (TM) Home Premium",
         "\"bootsect.exe\" /nt60 F: /mbr"},
        {"c:\\windows\\system32\\config\\software", "", "\"bootsect.exe\" /nt60 C: /mbr"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.product);
        engine::Context context;
        context.SystemHives = {"c:\\other\\system32\\config\\software", c.hive};
        context.LoadedProductName = c.product;
        test::RecordingLauncher launcher;
        engine::rules::restoreMountedSystemBootSector(context, 1, launcher);
        EXPECT_EQ(launcher.starts, (std::vector<Start>{{c.command, ShowMode::Normal}}));
    }
}

TEST(BootSector, NothingStartsWithoutASelectedSystem) {
    engine::Context context;
    context.LoadedProductName = "Microsoft Windows XP";
    test::RecordingLauncher launcher;
    engine::rules::restoreMountedSystemBootSector(context, 0, launcher);
    context.SystemHives = {"c:\\windows\\system32\\config\\software"};
    engine::rules::restoreMountedSystemBootSector(context, 1, launcher);
    EXPECT_TRUE(launcher.starts.empty());
}

} // namespace
