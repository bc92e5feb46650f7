// What the console shows around its mounts, without a window: the system
// list's lines, the status line of a load (with its Latin o), the shortened
// report, the reason of a refused mount, and indices that name nothing.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console/console_mounts.h"
#include "context/context.h"
#include "support/target_tree.h"

namespace engine::console {
namespace {

using test::WindowsKind;
using Lines = std::vector<std::string>;

TEST(ConsoleMounts, SystemLinesNameTheDrivesInUpperCase) {
    test::TargetTree tree;
    tree.addInstallation('d', "Windows", WindowsKind::Win7x64);
    tree.addInstallation('c', "WINDOWS", WindowsKind::Xp32);
    Context context = tree.context();
    const Lines lines = FindConsoleSystems(context);
    ASSERT_EQ(lines.size(), context.SystemHives.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const char drive = static_cast<char>(context.SystemHives[i][0] - 'a' + 'A');
        EXPECT_EQ(lines[i], std::string("Система на диске ") + drive + ":");
    }

    test::TargetTree empty;
    empty.drive('c');
    Context none = empty.context();
    EXPECT_EQ(FindConsoleSystems(none), Lines{"Систем не найдено..."});
    EXPECT_FALSE(LoadConsoleSystem(none, 0).loaded);
    EXPECT_TRUE(none.registry.mounts().empty());
}

TEST(ConsoleMounts, ALoadShowsTheSystemLineAfterTheLatinO) {
    test::TargetTree tree;
    tree.addInstallation('c', "Windows", WindowsKind::Win7x64);
    Context context = tree.context();
    FindConsoleSystems(context);
    const SystemLoad load = LoadConsoleSystem(context, 0);
    ASSERT_TRUE(load.loaded);
    // "Загружен" in Cyrillic, then the Latin o (0x6F), a colon and the
    // report's line with its two leading spaces: three spaces in all.
    EXPECT_EQ(load.status.substr(0, 16), "Загружен");
    EXPECT_EQ(load.status.substr(16, 5), "o:   ");
    EXPECT_EQ(load.info.size(), 4u);
    EXPECT_EQ(load.info[0], "  Информация о загруженной системе:");
    EXPECT_EQ(context.CurrentSystemHive, context.SystemHives[0]);

    const Unload unload = UnloadConsoleSystem(context);
    EXPECT_TRUE(unload.unloaded);
    EXPECT_EQ(unload.info, Lines{"Не загружено..."});
    EXPECT_TRUE(context.CurrentSystemHive.empty());
    EXPECT_EQ(UnloadConsoleSystem(context).status, "Ошибка выгрузки...");
    EXPECT_EQ(UnloadConsoleUser(context).status, "Ошибка выгрузки ...");
}

TEST(ConsoleMounts, ARefusedUserHiveSaysWhy) {
    test::TargetTree tree;
    tree.addInstallation('c', "WINDOWS", WindowsKind::Xp32);
    const auto user = tree.addProfile('c', WindowsKind::Xp32, "Admin");
    std::ofstream(user, std::ios::binary | std::ios::trunc) << std::string(4096, '\0');
    Context context = tree.context();
    FindConsoleSystems(context);
    context.ProfileHives = {"c:\\Documents and Settings\\Admin\\NTUSER.DAT"};
    const SystemLoad load = LoadConsoleUser(context, 0, "Admin");
    EXPECT_FALSE(load.loaded);
    EXPECT_EQ(load.status, "Ошибка загрузки...");
    ASSERT_EQ(load.info.size(), 1u);
    EXPECT_FALSE(LoadConsoleUser(context, 1, "nobody").loaded);
    EXPECT_TRUE(context.CurrentUserHive.empty());
}

} // namespace
} // namespace engine::console
