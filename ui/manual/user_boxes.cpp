#include "manual/user_boxes.h"

#include <QButtonGroup>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "manual/console_widgets.h"

namespace rules = engine::rules;

UserValuesBox::UserValuesBox(engine::Context& context, Log log, QWidget* parent)
    : QGroupBox(parent)
    , context_(context)
    , log_(std::move(log)) {
    setObjectName(QStringLiteral("gbUser"));
    setAccessibleName(QStringLiteral("Оболочка и загрузка пользователя"));
    const struct {
        QLineEdit*& edit;
        const char* name;
        const char* label;
        const char* heal;
        std::string (*reset)(rules::UserStartValues&);
    } rows[] = {
        {leUserAdminShell_, "leUserAdminShell", "Оболочка в политиках пользователя",
         "btUserAdminHeal", &rules::HealUserAdminShell},
        {leUserShell_, "leUserShell", "Оболочка пользователя в Winlogon", "btUserShell",
         &rules::HealUserShell},
        {leUserLoad_, "leUserLoad", "Загрузка в Windows\\Load", "btUserLoadHeal",
         &rules::HealUserLoad},
    };
    int top = 8;
    for (const auto& row : rows) {
        makeLabel(this, row.label, QRect(8, top, 300, 14));
        row.edit = makeValueEdit(this, row.name, row.label, QRect(8, top + 15, 237, 21));
        setTextColour(row.edit, rules::kUserStartValueColour);
        auto* button = makeButton(this, row.heal, "Исправить", QRect(249, top + 14, 75, 23));
        button->setAccessibleName(QStringLiteral("Исправить: ") + toQt(row.label));
        auto* reset = row.reset;
        connect(button, &QPushButton::clicked, this, [this, reset] {
            const std::string message = reset(values_);
            display();
            log_(message);
        });
        top += 40;
    }
    auto* btUserDefault = makeButton(this, "btUserDefault", "По умолчанию", QRect(8, 134, 154, 25));
    connect(btUserDefault, &QPushButton::clicked, this, [this] {
        for (const std::string& message : rules::UserDefaults(values_)) {
            display();
            log_(message);
        }
    });
    auto* btUserSave = makeButton(this, "btUserSave", "Сохранить", QRect(170, 134, 154, 25));
    connect(btUserSave, &QPushButton::clicked, this,
            [this] { log_(rules::SaveUserStartValues(context_, values_)); });
}

void UserValuesBox::load() {
    values_ = rules::LoadUserStartValues(context_);
    display();
}

void UserValuesBox::display() {
    leUserAdminShell_->setText(toQt(values_.AdminShell));
    leUserShell_->setText(toQt(values_.UserShell));
    leUserLoad_->setText(toQt(values_.Load));
    for (QLineEdit* edit : {leUserAdminShell_, leUserShell_, leUserLoad_}) {
        edit->setCursorPosition(0);
    }
}

ToolPoliciesBox::ToolPoliciesBox(engine::Context& context, Log log, QWidget* parent)
    : QGroupBox(QStringLiteral("Административные инструменты"), parent)
    , context_(context)
    , log_(std::move(log)) {
    setObjectName(QStringLiteral("gbAdmin"));
    const struct {
        const char* name;
        const rules::PolicyCaptions& captions;
        int rules::ToolPolicies::*index;
    } groups[] = {
        {"rgTaskman", rules::kTaskmanCaptions, &rules::ToolPolicies::Taskman},
        {"rgRegedit", rules::kRegeditCaptions, &rules::ToolPolicies::Regedit},
        {"rgCmd", rules::kCmdCaptions, &rules::ToolPolicies::Cmd},
    };
    int left = 8;
    std::size_t slot = 0;
    for (const auto& entry : groups) {
        Radio& radio = radios_[slot++];
        radio.index = entry.index;
        radio.group = makeGroup(this, entry.name, entry.captions.caption, QRect(left, 16, 102, 72));
        radio.buttons = new QButtonGroup(radio.group);
        for (int item = 0; item < 3; ++item) {
            auto* button = new QRadioButton(
                toQt(entry.captions.items[static_cast<std::size_t>(item)]), radio.group);
            button->setObjectName(QString::fromUtf8(entry.name) + QString::number(item));
            button->setGeometry(8, 16 + item * 17, 90, 17);
            radio.buttons->addButton(button, item);
        }
        connect(radio.buttons, &QButtonGroup::idClicked, this, [this, &radio](int item) {
            policies_.*radio.index = item;
            colour(radio);
        });
        left += 106;
    }
    auto* btToolsDefaults =
        makeButton(this, "btToolsDefaults", "По умолчанию", QRect(8, 92, 154, 25));
    connect(btToolsDefaults, &QPushButton::clicked, this, [this] {
        const std::string message = rules::ToolsDefaults(policies_);
        display();
        log_(message);
    });
    auto* btToolsSave = makeButton(this, "btToolsSave", "Сохранить", QRect(170, 92, 154, 25));
    connect(btToolsSave, &QPushButton::clicked, this,
            [this] { log_(rules::SaveToolPolicies(context_, policies_)); });
}

void ToolPoliciesBox::load() {
    policies_ = rules::LoadToolPolicies(context_);
    display();
}

void ToolPoliciesBox::display() {
    for (const Radio& radio : radios_) {
        select(radio, policies_.*radio.index);
    }
}

void ToolPoliciesBox::select(const Radio& radio, int index) {
    if (index == rules::kNoSelection) {
        // An exclusive group keeps one button checked; clearing it needs the
        // exclusivity lifted for a moment.
        radio.buttons->setExclusive(false);
        for (QAbstractButton* button : radio.buttons->buttons()) {
            button->setChecked(false);
        }
        radio.buttons->setExclusive(true);
    } else {
        radio.buttons->button(index)->setChecked(true);
    }
    colour(radio);
}

void ToolPoliciesBox::colour(const Radio& radio) {
    const rules::TextColour shade = rules::policyColour(policies_.*radio.index);
    setTextColour(radio.group, shade);
    for (QAbstractButton* button : radio.buttons->buttons()) {
        setTextColour(button, shade);
    }
}
