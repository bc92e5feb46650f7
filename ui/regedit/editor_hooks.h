#pragma once

#include <functional>
#include <optional>

#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QString>
#include <QWidget>

// How the registry editor asks and tells the operator: a Yes/No question, an
// error box and a text to type (a name, or a value's data, on one line or
// several). The program keeps the defaults, the standard dialogs; tests
// answer them without opening anything.
struct EditorHooks {
    std::function<bool(QWidget& parent, const QString& title, const QString& text)> confirm =
        [](QWidget& parent, const QString& title, const QString& text) {
            return QMessageBox::question(&parent, title, text, QMessageBox::Yes | QMessageBox::No,
                                         QMessageBox::No) == QMessageBox::Yes;
        };
    std::function<void(QWidget& parent, const QString& title, const QString& text)> error =
        [](QWidget& parent, const QString& title, const QString& text) {
            QMessageBox::critical(&parent, title, text);
        };
    // nullopt when the operator cancels.
    std::function<std::optional<QString>(QWidget& parent, const QString& title,
                                         const QString& label, const QString& text, bool multiLine)>
        askText = [](QWidget& parent, const QString& title, const QString& label,
                     const QString& text, bool multiLine) -> std::optional<QString> {
        bool ok = false;
        const QString answer =
            multiLine ? QInputDialog::getMultiLineText(&parent, title, label, text, &ok)
                      : QInputDialog::getText(&parent, title, label, QLineEdit::Normal, text, &ok);
        if (!ok) {
            return std::nullopt;
        }
        return answer;
    };
};
