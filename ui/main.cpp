// morvalin: the rescue tool's windows, as the live medium starts them.
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string_view>

#include <CLI/CLI.hpp>
#include <QApplication>

#include "automatic/auto_pass.h"
#include "cli/drive_options.h"
#include "context/context.h"
#include "morvalin/version.h"
#include "platform/launcher.h"
#include "regedit/registry_editor_commands.h"
#include "shell/current_mode_display.h"
#include "shell/main_windows.h"
#include "shell/program_icon.h"
#include "shell/window_fonts.h"
#include "shell/xrandr_display.h"

int main(int argc, char** argv) {
    // The version needs no display: answered before Qt looks for one.
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--version") {
            std::cout << "morvalin " << morvalin::kVersion << '\n';
            return 0;
        }
    }
    // Qt takes its own options (-platform, -display, ...) out of argv first.
    QApplication application(argc, argv);
    QApplication::setApplicationVersion(QString::fromUtf8(morvalin::kVersion));

    CLI::App app{"Morvalin: разблокировка Windows, запертой программой-вымогателем"};
    app.name("morvalin");
    cli::DriveOptions drives;
    drives.addTo(app);
    std::string backupDir = "BACKUP";
    app.add_option("--backup-dir", backupDir, "Папка с чистыми taskmgr.exe и userinit.exe")
        ->type_name("DIR")
        ->capture_default_str();
    app.set_version_flag("--version", std::string("morvalin ") + morvalin::kVersion,
                         "Версия программы");
    app.footer("Без параметров дисков диски находятся по смонтированным томам.\n"
               "Параметры Qt (например -platform offscreen) тоже принимаются.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : 2; // --help, or bad usage
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
    // Each window carries the icon; the application's is for the boxes and
    // dialogs that open without a parent.
    QApplication::setWindowIcon(programIcon());

    const char* path = std::getenv("PATH");
    engine::platform::ProcessLauncher launcher({engine::platform::toolsOfExecutable()},
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
