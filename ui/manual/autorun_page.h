#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string>

#include <QWidget>

#include "rules/autoruns.h"

namespace engine {
struct Context;
}
class QGroupBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QTabWidget;

// The console's page "Автозагрузка" (tsAutorun): what the mounted
// installation starts at logon for everyone (gbAutorunAll) and for the
// mounted user (gbUserRun), each group's five inner tabs holding a check
// list, and below them the bold edit edValue with the command of the item
// last selected. Ticking or unticking an item moves the entry into place;
// the boxes then show where each entry lives.
class AutorunPage : public QWidget {
    Q_OBJECT
public:
    using Log = std::function<void(const std::string&)>;
    AutorunPage(engine::Context& context, Log log, QWidget* parent);

    // Part of the system loading: the machine-wide lists from the mounted
    // SOFTWARE hive and the common startup folder. `systemFileCheck` is the
    // console's Windows XP system-file check; it runs inside the filling,
    // on Windows XP only. The group stays as it is shown or hidden.
    void fillSystem(const std::function<void()>& systemFileCheck);
    void showSystem();
    void hideSystem();
    // Part of the user loading: shows gbUserRun, then fills its lists from
    // the mounted user hive and the user's startup folder.
    void fillUser();
    void hideUser();

    QGroupBox* systemGroup() const { return groups_[0].box; }
    QGroupBox* userGroup() const { return groups_[1].box; }

private:
    struct Group {
        engine::rules::AutorunGroup entries;
        QGroupBox* box = nullptr;
        QTabWidget* tabs = nullptr;
        std::array<QListWidget*, engine::rules::kAutorunTabCount> lists{};
    };

    void buildGroup(Group& group, engine::rules::AutorunScope scope);
    void display(Group& group);
    void displayChecks(Group& group, std::size_t tab);
    void toggled(Group& group, std::size_t tab, QListWidgetItem* item);
    void showCommand(Group& group, std::size_t tab);

    engine::Context& context_;
    Log log_;
    std::array<Group, 2> groups_; // gbAutorunAll, gbUserRun
    QLineEdit* edValue_ = nullptr;
    // Set while the page itself puts items and check states into the lists,
    // so that those changes are not taken for the operator's toggles.
    bool displaying_ = false;
};
