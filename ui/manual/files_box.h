#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QGroupBox>

#include "rules/suspicious_files.h"

namespace engine {
struct Context;
}
class QListWidget;

// The programs the Winlogon judge found suspect (gbFiles "Возможно файлы
// блокировщиков или вирусов"): the check list clbFiles with "Выделить всё",
// "Снять выделение" and "Удалить выбранное", which deletes the ticked files
// and marks each entry with what became of it.
class FilesBox : public QGroupBox {
    Q_OBJECT
public:
    using Log = std::function<void(const std::string&)>;
    FilesBox(const engine::Context& context, Log log, QWidget* parent);

    // The judge's list: one unticked entry per path, in order.
    void setEntries(const std::vector<std::string>& files);

private:
    void display();
    void deleteTicked();

    const engine::Context& context_;
    Log log_;
    engine::rules::SuspiciousFiles files_;
    QListWidget* clbFiles_ = nullptr;
    bool displaying_ = false;
};
