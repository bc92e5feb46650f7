#pragma once

#include <array>
#include <functional>
#include <string>

#include <QGroupBox>

#include "rules/user_restrictions.h"

namespace engine {
struct Context;
}
class QButtonGroup;
class QLineEdit;

// The mounted user's three start values (gbUser, no caption): read-only red
// edits with their resets, "По умолчанию" and "Сохранить".
class UserValuesBox : public QGroupBox {
    Q_OBJECT
public:
    using Log = std::function<void(const std::string&)>;
    UserValuesBox(engine::Context& context, Log log, QWidget* parent);

    void load();

private:
    void display();

    engine::Context& context_;
    Log log_;
    engine::rules::UserStartValues values_;
    QLineEdit* leUserAdminShell_ = nullptr;
    QLineEdit* leUserShell_ = nullptr;
    QLineEdit* leUserLoad_ = nullptr;
};

// The mounted user's tool policies (gbAdmin "Административные инструменты"):
// three radio groups, "По умолчанию" and "Сохранить".
class ToolPoliciesBox : public QGroupBox {
    Q_OBJECT
public:
    using Log = std::function<void(const std::string&)>;
    ToolPoliciesBox(engine::Context& context, Log log, QWidget* parent);

    void load();

private:
    struct Radio {
        QGroupBox* group = nullptr;
        QButtonGroup* buttons = nullptr;
        int engine::rules::ToolPolicies::*index = nullptr;
    };
    void display();
    void select(const Radio& radio, int index);
    void colour(const Radio& radio);

    engine::Context& context_;
    Log log_;
    engine::rules::ToolPolicies policies_;
    std::array<Radio, 3> radios_{}; // rgTaskman, rgRegedit, rgCmd
};
