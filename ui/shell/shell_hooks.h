#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QString>

#include "shell/plain_text.h"

// A file dialog's title, filter ("Описание (*.ext)") and default suffix.
struct FileDialogSpec {
    QString title;
    QString filter;
    QString defaultSuffix;
};

// How the windows open modal windows and file dialogs, show error boxes, make
// their fixed waits and tick their countdowns. The program keeps the
// defaults; tests record the windows opened, answer the dialogs, skip the
// waits and call the timer slots themselves.
struct ShellHooks {
    std::function<void(QDialog&)> showModal = [](QDialog& dialog) { dialog.exec(); };
    // A fixed wait blocks the window, as the one user-interface thread does.
    std::function<void(std::chrono::milliseconds)> wait = [](std::chrono::milliseconds time) {
        std::this_thread::sleep_for(time);
    };
    std::chrono::milliseconds tick{1000};

    // A save or open dialog: the chosen file, nullopt when cancelled. Neither
    // asks before overwriting nor insists that the file exists.
    std::function<std::optional<QString>(QWidget*, const FileDialogSpec&)> saveFileName =
        [](QWidget* parent, const FileDialogSpec& spec) { return askFileName(parent, spec, true); };
    std::function<std::optional<QString>(QWidget*, const FileDialogSpec&)> openFileName =
        [](QWidget* parent, const FileDialogSpec& spec) {
            return askFileName(parent, spec, false);
        };
    // An error box with the system's text.
    std::function<void(QWidget*, const QString&)> showError =
        [](QWidget* parent, const QString& text) { showPlainError(parent, QString(), text); };

    // A message box with its buttons (a PlainMessageBox): the button that
    // closed it.
    std::function<QMessageBox::StandardButton(QMessageBox&)> showBox = [](QMessageBox& box) {
        return static_cast<QMessageBox::StandardButton>(box.exec());
    };

    static std::optional<QString> askFileName(QWidget* parent, const FileDialogSpec& spec,
                                              bool save) {
        QFileDialog dialog(parent, spec.title, QString(), spec.filter);
        dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.setDefaultSuffix(spec.defaultSuffix);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return std::nullopt;
        }
        return dialog.selectedFiles().constFirst();
    }
};
