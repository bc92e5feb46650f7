#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QGroupBox>

#include "rules/winlogon_group.h"

namespace engine {
struct Context;
}
namespace engine::platform {
class Launcher;
}
class QLineEdit;
class QPushButton;

// The group of the machine-wide Winlogon values on the console's first page
// (gbAll): the four values with their resets, "Исправить всё" and
// "Сохранить", the image-hijack sweep and the boot-sector button of the
// mounted installation.
class WinlogonBox : public QGroupBox {
    Q_OBJECT
public:
    using Log = std::function<void(const std::string&)>;
    using ShowFiles = std::function<void(const std::vector<std::string>&)>;
    using SelectedSystem = std::function<int()>;

    WinlogonBox(engine::Context& context, engine::platform::Launcher& launcher, Log log,
                ShowFiles showFiles, SelectedSystem selectedSystem, QWidget* parent);

    // Reads the mounted installation's values and judges them.
    void load();
    // Judges the values as they stand and rebuilds the suspicious-files list.
    void judge();
    // Empties the four edits (after the system is unmounted).
    void clear();

    QPushButton* hijackButton() const { return Button3_; }

private:
    void display(const engine::rules::WinlogonGroup& group);
    void heal(std::string (*reset)(engine::rules::WinlogonGroup&));
    void healAll();
    void save();

    engine::Context& context_;
    engine::platform::Launcher& launcher_;
    Log log_;
    ShowFiles showFiles_;
    SelectedSystem selectedSystem_;
    engine::rules::WinlogonGroup group_;

    QLineEdit* leShell_ = nullptr;
    QLineEdit* leUserinit_ = nullptr;
    QLineEdit* leTaskman_ = nullptr;
    QLineEdit* leGina_ = nullptr;
    QPushButton* Button3_ = nullptr;
};
