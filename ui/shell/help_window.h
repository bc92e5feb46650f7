#pragma once

#include <QDialog>

class QPlainTextEdit;

// The user manual: one read-only text without word wrap, closed from its
// frame.
class TfmHelp : public QDialog {
    Q_OBJECT
public:
    explicit TfmHelp(QWidget* parent = nullptr);

    // The manual's text.
    static QString manualText();
    // The line under the manual: the program and its version.
    static QString versionText();

private:
    QPlainTextEdit* meHelp_ = nullptr;
};
