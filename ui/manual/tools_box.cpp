#include "manual/tools_box.h"

#include <QPushButton>

#include "manual/console_widgets.h"
#include "platform/launcher.h"

using engine::platform::ShowMode;

ToolsBox::ToolsBox(engine::platform::Launcher& launcher, Log log, OpenAtKey openAtKey,
                   QWidget* parent)
    : QGroupBox(QStringLiteral("Инструменты"), parent) {
    setObjectName(QStringLiteral("gbTools"));
    // Each button shows its message first, then acts.
    const struct {
        const char* name;
        const char* caption;
        const char* message;
        std::function<void()> action;
    } buttons[] = {
        {"btRegedit", "Редактор реестра ", "Запуск редактора реестра...",
         [&launcher] { launcher.run("regedit.exe", ShowMode::Normal); }},
        {"btRegeditAll", "Открыть общий реестр ",
         "Запуск редактора реестра куст SOFTWARE для всех...",
         [openAtKey] { openAtKey(QStringLiteral("HKEY_LOCAL_MACHINE\\LoadedHiveSoftware")); }},
        {"btRegeditUser", "Открыть реестр пользователя",
         "Запуск редактора реестра куст пользователя...",
         [openAtKey] { openAtKey(QStringLiteral("HKEY_LOCAL_MACHINE\\LoadedUserHive")); }},
        {"btCmd", "Командная строка", "Запуск командной строки...",
         [&launcher] { launcher.run("cmd.exe", ShowMode::Normal); }},
    };
    int top = 20;
    for (const auto& entry : buttons) {
        auto* button = makeButton(this, entry.name, entry.caption, QRect(10, top, 213, 27));
        connect(button, &QPushButton::clicked, this,
                [log, message = std::string(entry.message), action = entry.action] {
                    log(message);
                    action();
                });
        top += 34;
    }
}
