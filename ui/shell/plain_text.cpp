#include "shell/plain_text.h"

#include <QInputDialog>
#include <QLabel>

QLabel* makePlainLabel(QWidget* parent, const QString& text) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

PlainMessageBox::PlainMessageBox(Icon icon, const QString& title, const QString& text,
                                 StandardButtons buttons, QWidget* parent)
    : QMessageBox(icon, title, QString(), buttons, parent) {
    setTextFormat(Qt::PlainText);
    setText(text);
}

void showPlainError(QWidget* parent, const QString& title, const QString& text) {
    PlainMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, parent);
    box.exec();
}

bool askPlainYesNo(QWidget* parent, const QString& title, const QString& text) {
    PlainMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No,
                        parent);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    box.exec();
    return box.clickedButton() == box.button(QMessageBox::Yes);
}

std::optional<QString> askPlainText(QWidget* parent, const QString& title, const QString& label,
                                    const QString& text, bool multiLine) {
    QInputDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setInputMode(QInputDialog::TextInput);
    if (multiLine) {
        dialog.setOption(QInputDialog::UsePlainTextEditForTextInput);
    }
    // The dialog makes its label on the first text it is given: an empty one,
    // so that the label is plain before it holds the real one.
    dialog.setLabelText(QString());
    for (QLabel* shown : dialog.findChildren<QLabel*>()) {
        shown->setTextFormat(Qt::PlainText);
    }
    dialog.setLabelText(label);
    dialog.setTextValue(text);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.textValue();
}
