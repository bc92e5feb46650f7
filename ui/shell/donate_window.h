#pragma once

#include <QDialog>

class QPushButton;
class QTextEdit;

// The donation appeal: a fixed text and two buttons that only close it.
class TfmDonate : public QDialog {
    Q_OBJECT
public:
    explicit TfmDonate(QWidget* parent = nullptr);

    QPushButton& button1() { return *Button1_; }
    QPushButton& button2() { return *Button2_; }
    QTextEdit& text() { return *meDonate_; }

private:
    QTextEdit* meDonate_ = nullptr;
    QPushButton* Button1_ = nullptr;
    QPushButton* Button2_ = nullptr;
};
