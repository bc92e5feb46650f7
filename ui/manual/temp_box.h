#pragma once

#include <functional>
#include <string>

#include <QGroupBox>

#include "rules/temp_folders.h"

namespace engine {
struct Context;
}
class QCheckBox;
class QLabel;
class QLineEdit;

// The mounted user's temporary folders (gbTemp "Временные файлы"): TEMP and
// TMP, each with its "Выбрать" box (TMP only when it differs from TEMP), and
// "Очистить", which empties the ticked folders.
class TempBox : public QGroupBox {
    Q_OBJECT
public:
    using Log = std::function<void(const std::string&)>;
    TempBox(engine::Context& context, Log log, QWidget* parent);

    // Part of the user loading: both boxes unticked, the two folders shown.
    void load();

private:
    void clearTicked();

    engine::Context& context_;
    Log log_;
    engine::rules::TempFolders folders_;
    QLineEdit* leTemp_ = nullptr;
    QCheckBox* cbTemp_ = nullptr;
    QLabel* lbTmp_ = nullptr;
    QLineEdit* leTMP_ = nullptr;
    QCheckBox* cbTmp_ = nullptr;
};
