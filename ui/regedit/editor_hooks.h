#pragma once

#include <functional>
#include <optional>

#include <QString>
#include <QWidget>

#include "shell/plain_text.h"

// How the registry editor asks and tells the operator: a Yes/No question, an
// error box and a text to type (a name, or a value's data, on one line or
// several). The program keeps the defaults, the standard dialogs with plain
// texts (key and value names are the target's); tests answer them without
// opening anything.
struct EditorHooks {
    std::function<bool(QWidget& parent, const QString& title, const QString& text)> confirm =
        [](QWidget& parent, const QString& title, const QString& text) {
            return askPlainYesNo(&parent, title, text);
        };
    std::function<void(QWidget& parent, const QString& title, const QString& text)> error =
        [](QWidget& parent, const QString& title, const QString& text) {
            showPlainError(&parent, title, text);
        };
    // nullopt when the operator cancels.
    std::function<std::optional<QString>(QWidget& parent, const QString& title,
                                         const QString& label, const QString& text, bool multiLine)>
        askText =
            [](QWidget& parent, const QString& title, const QString& label, const QString& text,
               bool multiLine) { return askPlainText(&parent, title, label, text, multiLine); };
};
