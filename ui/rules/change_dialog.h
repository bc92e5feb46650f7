#pragma once

#include <array>

#include <QDialog>

#include "rules/system_files.h"

class QCheckBox;
class QLabel;
class QPushButton;

// The system-file restore dialog: one row per checked file, green when the
// file is the system's own, red with a "Восстановить" box when it is not. The
// boxes keep their states between questions of a run. "Восстановить" closes
// it with Ok, "Отменить" with No, the close box with Cancel. Must be asked on
// the GUI thread.
class TfmChange : public QDialog, public engine::rules::RestoreQuestion {
    Q_OBJECT
public:
    explicit TfmChange(QWidget* parent = nullptr);
    engine::rules::RestoreAnswer
    ask(const std::array<engine::rules::SystemFileRow, 4>& rows) override;

private:
    // The dialog's own result codes for done(): Rejected (0, the close box)
    // stands for Cancel.
    static constexpr int kRecover = QDialog::Accepted;
    static constexpr int kRefuse = 2;

    // Indexed by engine::rules::SystemFile, which is also the row order.
    std::array<QLabel*, 4> labels_{};
    std::array<QCheckBox*, 4> boxes_{};
    QLabel* lbTest_ = nullptr;
    QPushButton* btRecover_ = nullptr;
    QPushButton* btCancel_ = nullptr;
};
