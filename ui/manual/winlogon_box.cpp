#include "manual/winlogon_box.h"

#include <QLineEdit>
#include <QPushButton>

#include "manual/console_widgets.h"
#include "rules/boot_sector.h"

using engine::rules::TextColour;
using engine::rules::WinlogonGroup;

WinlogonBox::WinlogonBox(engine::Context& context, engine::platform::Launcher& launcher, Log log,
                         ShowFiles showFiles, SelectedSystem selectedSystem, QWidget* parent)
    : QGroupBox(parent)
    , context_(context)
    , launcher_(launcher)
    , log_(std::move(log))
    , showFiles_(std::move(showFiles))
    , selectedSystem_(std::move(selectedSystem)) {
    setObjectName(QStringLiteral("gbAll"));
    setAccessibleName(QStringLiteral("Значения Winlogon"));

    // Four rows: the label, then the edit with its reset beside it.
    const struct {
        QLineEdit*& edit;
        const char* name;
        const char* label;
        const char* heal;
        std::string (*reset)(WinlogonGroup&);
    } rows[] = {
        {leShell_, "leShell", "Оболочка", "btHealShell", &engine::rules::HealShell},
        {leUserinit_, "leUserinit", "Программа инициализации пользователя", "btHealUserinit",
         &engine::rules::HealUserinit},
        {leTaskman_, "leTaskman", "Taskman", "btHealTaskman", &engine::rules::HealTaskman},
        {leGina_, "leGina", "GinaDll", "btHealGina", &engine::rules::HealGina},
    };
    int top = 8;
    for (const auto& row : rows) {
        makeLabel(this, row.label, QRect(8, top, 300, 14));
        row.edit = makeValueEdit(this, row.name, row.label, QRect(8, top + 15, 234, 21));
        auto* button = makeButton(this, row.heal, "Исправить", QRect(246, top + 14, 75, 23));
        button->setAccessibleName(QStringLiteral("Исправить: ") + toQt(row.label));
        auto* reset = row.reset;
        connect(button, &QPushButton::clicked, this, [this, reset] { heal(reset); });
        top += 38;
    }
    setTextColour(leTaskman_, engine::rules::kTaskmanColour);
    setTextColour(leGina_, engine::rules::kGinaColour);

    auto* btHealAll = makeButton(this, "btHealAll", "Исправить всё", QRect(8, 162, 153, 24));
    connect(btHealAll, &QPushButton::clicked, this, &WinlogonBox::healAll);
    auto* btSave = makeButton(this, "btSave", "Сохранить", QRect(168, 162, 153, 24));
    connect(btSave, &QPushButton::clicked, this, &WinlogonBox::save);
    Button3_ =
        makeButton(this, "Button3", "Удаление замены образов HiJack", QRect(8, 189, 313, 24));
    auto* btBoot =
        makeButton(this, "btBoot", "Восстановить загрузочный сектор", QRect(8, 216, 313, 24));
    connect(btBoot, &QPushButton::clicked, this, [this] {
        engine::rules::restoreMountedSystemBootSector(
            context_, static_cast<std::size_t>(selectedSystem_()), launcher_);
    });
}

void WinlogonBox::load() {
    std::vector<std::string> files;
    group_ = engine::rules::LoadWinlogonGroup(context_, files);
    display(group_);
    showFiles_(files);
}

void WinlogonBox::judge() {
    std::vector<std::string> files;
    engine::rules::leChange(group_, files);
    display(group_);
    showFiles_(files);
}

void WinlogonBox::clear() {
    group_.Shell.clear();
    group_.Userinit.clear();
    group_.Taskman.clear();
    group_.GinaDll.clear();
    for (QLineEdit* edit : {leShell_, leUserinit_, leTaskman_, leGina_}) {
        edit->clear();
    }
}

void WinlogonBox::display(const WinlogonGroup& group) {
    leShell_->setText(toQt(group.Shell));
    leUserinit_->setText(toQt(group.Userinit));
    leTaskman_->setText(toQt(group.Taskman));
    leGina_->setText(toQt(group.GinaDll));
    setTextColour(leShell_, group.ShellColour);
    setTextColour(leUserinit_, group.UserinitColour);
    // Long values (a locker's path after the default) are read from their start.
    for (QLineEdit* edit : {leShell_, leUserinit_, leTaskman_, leGina_}) {
        edit->setCursorPosition(0);
    }
}

void WinlogonBox::heal(std::string (*reset)(WinlogonGroup&)) {
    const std::string message = reset(group_);
    display(group_);
    log_(message);
}

void WinlogonBox::healAll() {
    for (const std::string& message : engine::rules::HealAll(group_)) {
        display(group_);
        log_(message);
    }
}

void WinlogonBox::save() {
    log_(engine::rules::SaveWinlogonGroup(context_, group_));
}
