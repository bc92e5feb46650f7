// morvalin: the rescue tool's windows, as the live medium starts them.
#include <cstdlib>
#include <iostream>
#include <memory>

#include <CLI/CLI.hpp>
#include <QApplication>

#include "automatic/auto_pass.h"
#include "cli/drive_options.h"
#include "context/context.h"
#include "platform/launcher.h"
#include "regedit/registry_editor_commands.h"
#include "shell/current_mode_display.h"
#include "shell/main_windows.h"
#include "shell/window_fonts.h"
#include "shell/xrandr_display.h"

int main(int argc, char** argv) {
    // Qt takes its own options (-platform, -display, ...) out of argv first.
    QApplication application(argc, argv);

    CLI::App app{"Morvalin: разблокировка Windows, запертой программой-вымогателем"};
    app.name("morvalin");
    cli::DriveOptions drives;
    drives.addTo(app);
    std::string backupDir = "BACKUP";
    app.add_option("--backup-dir", backupDir, "Папка с чистыми taskmgr.exe и userinit.exe")
        ->type_name("DIR")
        ->capture_default_str();
    app.footer("Без параметров дисков диски находятся по смонтированным томам.\n"
               "Параметры Qt (например -platform offscreen) тоже принимаются.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }

    auto table = drives.tableOrDetected();
    if (!table) {
        std::cerr << "morvalin: " << table.error() << '\n';
        return 2;
    }
    engine::Context context;
    context.drives = std::move(*table);
    if (const char* windir = std::getenv("windir"); windir != nullptr) {
        context.windir = windir;
    }
    context.backupFolder = backupDir;
    engine::automatic::AutoState state;

    loadWindowFonts();

    const char* path = std::getenv("PATH");
    engine::platform::ProcessLauncher launcher({engine::platform::toolsBesideExecutable()},
                                               path != nullptr ? path : "");

    std::unique_ptr<engine::platform::DisplaySettings> display;
    if (QGuiApplication::platformName() == QStringLiteral("xcb")) {
        display = XrandrDisplay::open();
    }
    if (!display) {
        display = std::make_unique<CurrentModeDisplay>();
    }

    MainWindows windows(context, state, launcher, *display);
    // "regedit.exe" and "taskkill /f /im regedit.exe" mean the console's own
    // registry editor.
    takeOverEditorCommands(launcher, windows.fmManual.registryEditor());
    windows.fmWelcome.show();
    windows.fmWelcome.dock();
    return application.exec();
}
