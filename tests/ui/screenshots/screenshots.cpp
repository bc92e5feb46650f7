// Pictures of the program's windows for the README: the toolbar, the mode
// chooser counting down, help, donation, the automatic window after a pass
// over a locked Windows 7 made in a temporary folder, and the restore dialog.
// Usage: morvalin_screenshots OUTPUT_FOLDER (scripts/screenshots.sh runs it
// under Xvfb).
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include "automatic/auto_pass.h"
#include "regedit/registry_editor_window.h"
#include "registry/hive_mounting.h"
#include "shell/current_mode_display.h"
#include "shell/main_windows.h"
#include "shell/window_fonts.h"
#include "shell/xrandr_display.h"
#include "support/recording_launcher.h"
#include "support/target_tree.h"

namespace {

void settle(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

bool save(QWidget& window, const std::filesystem::path& file) {
    window.raise();
    settle(400);
    const bool saved = window.grab().save(QString::fromStdString(file.string()), "PNG");
    std::cout << (saved ? "saved " : "FAILED ") << file.string() << '\n';
    return saved;
}

// The registry editor over a locked Windows 7's SOFTWARE hive, opened at its
// Winlogon key: the locker's shell and user-initialisation program among
// values of several types.
void press(QWidget& window, const char* button) {
    window.findChild<QPushButton*>(QString::fromUtf8(button))->click();
}

// The manual console in its three states over the locked Windows 7, and its
// tools page; everything is unmounted again afterwards.
bool shootConsole(TfmManual& console, const std::filesystem::path& out) {
    bool ok = true;
    auto* tabs = console.findChild<QTabWidget*>(QStringLiteral("pcTabs"));
    console.show();
    ok &= save(console, out / "console-nothing-loaded.png");
    press(console, "btLoad");
    ok &= save(console, out / "console-system-loaded.png");
    press(console, "btUserLoad");
    ok &= save(console, out / "console-user-loaded.png");
    tabs->setCurrentWidget(console.findChild<QWidget*>(QStringLiteral("ts3")));
    ok &= save(console, out / "console-tools.png");
    tabs->setCurrentWidget(console.findChild<QWidget*>(QStringLiteral("tsAutorun")));
    ok &= save(console, out / "console-autoruns.png");
    tabs->setCurrentWidget(console.findChild<QWidget*>(QStringLiteral("tsHosts")));
    ok &= save(console, out / "console-hosts.png");
    tabs->setCurrentIndex(0);
    press(console, "pnPanel");
    press(console, "pnPanel");
    console.hide();
    return ok;
}

bool shootRegistryEditor(const std::filesystem::path& out) {
    test::TargetTree tree;
    const std::string winlogon = "Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    const auto utf16 = [](const std::u16string& text) {
        std::vector<std::uint8_t> bytes;
        for (const char16_t unit : text + u'\0') {
            bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
        }
        return bytes;
    };
    std::vector<std::uint8_t> multi = utf16(u"Ivan");
    const auto second = utf16(u"Administrator");
    multi.insert(multi.end(), second.begin(), second.end());
    multi.insert(multi.end(), {0, 0});
    tree.addInstallation(
        'c', "Windows", test::WindowsKind::Win7x64,
        {test::dword(winlogon, "AutoRestartShell", 1),
         test::sz(winlogon, "CachedLogonsCount", "10"),
         {winlogon,
          "DCacheUpdate",
          engine::hive::kRegBinary,
          {0x10, 0x3c, 0xa5, 0x2f, 0x6e, 0x4d, 0xcd, 0x01}},
         test::sz(winlogon, "DefaultUserName", "Ivan"),
         {winlogon, "LastUsedUsers", engine::hive::kRegMultiSz, multi},
         test::dword(winlogon, "PasswordExpiryWarning", 5),
         test::sz(winlogon, "Shell", "explorer.exe,C:\\ProgramData\\winlock\\banner.exe"),
         test::expandSz(winlogon, "UIHost", "logonui.exe"),
         test::sz(winlogon, "Userinit",
                  "C:\\Windows\\system32\\userinit.exe,C:\\ProgramData\\winlock\\banner.exe,")});
    engine::Context context = tree.context();
    if (!engine::registry::LoadHive(context, engine::registry::kSoftwareMount,
                                    "c:\\Windows\\System32\\config\\SOFTWARE")) {
        std::cout << "FAILED to mount the registry editor's hive\n";
        return false;
    }
    RegistryEditorWindow editor(context);
    editor.resize(760, 420);
    editor.openAt(QStringLiteral("HKEY_LOCAL_MACHINE\\LoadedHiveSoftware\\") +
                  QString::fromStdString(winlogon));
    const bool saved = save(editor, out / "registry-editor.png");
    editor.closeEditor();
    return saved;
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::cerr << "usage: morvalin_screenshots OUTPUT_FOLDER\n";
        return 2;
    }
    const std::filesystem::path out = argv[1];
    std::filesystem::create_directories(out);
    loadWindowFonts();

    // A Windows 7 a locker took over: its program after the shell and the
    // user-initialisation program, and a user.
    test::TargetTree tree;
    const std::string winlogon = "Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    tree.addInstallation(
        'c', "Windows", test::WindowsKind::Win7x64,
        {test::sz(winlogon, "Shell", "explorer.exe,C:\\ProgramData\\winlock\\banner.exe"),
         test::sz(winlogon, "Userinit",
                  "C:\\Windows\\system32\\userinit.exe,C:\\ProgramData\\winlock\\banner.exe,"),
         test::sz("Microsoft\\Windows\\CurrentVersion\\Run", "WinLock",
                  "C:\\ProgramData\\winlock\\banner.exe /silent"),
         test::expandSz("Microsoft\\Windows\\CurrentVersion\\Run", "SoundMan",
                        "%SystemRoot%\\SoundMan.exe")});
    // Its hosts file sends the antivirus sites nowhere.
    {
        const auto etc = tree.drive('c') / "Windows" / "System32" / "drivers" / "etc";
        std::filesystem::create_directories(etc);
        std::ofstream(etc / "hosts", std::ios::binary)
            << "# Copyright (c) 1993-2009 Microsoft Corp.\r\n127.0.0.1       localhost\r\n"
               "0.0.0.0 www.kaspersky.ru\r\n0.0.0.0 drweb.com # blocked\r\n"
               "0.0.0.0 support.microsoft.com\r\n";
    }
    const auto ivan = tree.addProfile('c', test::WindowsKind::Win7x64, "Ivan");
    // The locker also blocked Ivan's task manager and planted a shell of his.
    const std::string policies = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
    test::plantValues(ivan, {test::dword(policies, "DisableTaskMgr", 1),
                             test::sz(policies, "Shell", "C:\\Users\\Ivan\\AppData\\lock.exe")});
    engine::Context context = tree.context();
    engine::automatic::AutoState state;
    test::RecordingLauncher launcher;
    std::unique_ptr<engine::platform::DisplaySettings> display;
    if (QGuiApplication::platformName() == QStringLiteral("xcb")) {
        display = XrandrDisplay::open();
    }
    if (!display) {
        display = std::make_unique<CurrentModeDisplay>();
    }
    ShellHooks hooks;
    hooks.showModal = [](QDialog& dialog) { dialog.show(); };
    hooks.tick = std::chrono::hours(24); // ticked by hand below
    MainWindows windows(context, state, launcher, *display, hooks);

    bool ok = true;
    // The console before the automatic pass below heals the system.
    ok &= shootConsole(windows.fmManual, out);

    windows.fmWelcome.show();
    windows.fmWelcome.dock();
    ok &= save(windows.fmWelcome, out / "toolbar.png");

    windows.fmChoose.show();
    for (int i = 0; i < 4; ++i) {
        windows.fmChoose.tmAutostartTimer();
    }
    ok &= save(windows.fmChoose, out / "chooser.png");
    windows.fmChoose.btExitClick();

    windows.fmHelp.show();
    ok &= save(windows.fmHelp, out / "help.png");
    windows.fmHelp.hide();

    windows.fmDonate.show();
    ok &= save(windows.fmDonate, out / "donate.png");
    windows.fmDonate.hide();

    {
        QEventLoop passLoop;
        QObject::connect(&windows.fmAuto, &TfmAuto::passEnded, &passLoop, &QEventLoop::quit);
        QTimer::singleShot(120000, &passLoop, &QEventLoop::quit);
        windows.fmAuto.show();
        windows.fmAuto.activateWindow();
        passLoop.exec();
        windows.fmAuto.tmCloseTimerTimer(); // the countdown's first second
        ok &= save(windows.fmAuto, out / "automatic.png");
        windows.fmAuto.hide();
    }

    // The restore dialog as a Windows XP check asks it: the user
    // initialisation programs genuine, the task manager replaced.
    using engine::rules::SystemFile;
    const std::array<engine::rules::SystemFileRow, 4> rows = {{
        {SystemFile::Userinit, "Userinit.exe", "c:\\WINDOWS\\system32\\userinit.exe", true},
        {SystemFile::UserinitCache, "dllcache\\Userinit.exe",
         "c:\\WINDOWS\\system32\\dllcache\\userinit.exe", true},
        {SystemFile::Taskmgr, "taskmgr.exe", "c:\\WINDOWS\\system32\\taskmgr.exe", false},
        {SystemFile::TaskmgrCache, "dllcache\\taskmgr.exe",
         "c:\\WINDOWS\\system32\\dllcache\\taskmgr.exe", false},
    }};
    QTimer::singleShot(0, [&] {
        ok &= save(windows.fmChange, out / "restore.png");
        windows.fmChange.reject();
    });
    windows.fmChange.ask(rows);
    ok &= shootRegistryEditor(out);
    return ok ? 0 : 1;
}
