#pragma once

#include <optional>

#include <QMessageBox>
#include <QString>

class QLabel;
class QWidget;

// Labels, message boxes and input dialogs that show their text as it is.
// A product name, a path, a profile, key or value name read off the target
// may be written to look like markup: left to guess, Qt renders it as rich
// text and loads any image it names (a named pipe or a device then holds the
// window). Every label and box of the windows is made here, so none guesses.

// A label whose text, now and later, is plain.
QLabel* makePlainLabel(QWidget* parent, const QString& text = {});

// A message box whose text is plain: the format is set before the text.
class PlainMessageBox : public QMessageBox {
public:
    PlainMessageBox(Icon icon, const QString& title, const QString& text, StandardButtons buttons,
                    QWidget* parent);
};

// An error box with OK, run modally.
void showPlainError(QWidget* parent, const QString& title, const QString& text);
// A question with Yes and No, No by default and on Escape; true for Yes.
bool askPlainYesNo(QWidget* parent, const QString& title, const QString& text);
// A text to type (on one line or several) below a plain label; nullopt when
// cancelled.
std::optional<QString> askPlainText(QWidget* parent, const QString& title, const QString& label,
                                    const QString& text, bool multiLine);
