#include "manual/files_box.h"

#include <QListWidget>
#include <QPushButton>

#include "manual/console_widgets.h"

namespace rules = engine::rules;

FilesBox::FilesBox(const engine::Context& context, Log log, QWidget* parent)
    : QGroupBox(QStringLiteral("Возможно файлы блокировщиков или вирусов"), parent)
    , context_(context)
    , log_(std::move(log)) {
    setObjectName(QStringLiteral("gbFiles"));
    resize(675, 170);
    clbFiles_ = new QListWidget(this);
    clbFiles_->setObjectName(QStringLiteral("clbFiles"));
    clbFiles_->setAccessibleName(QStringLiteral("Возможно файлы блокировщиков или вирусов"));
    clbFiles_->setGeometry(8, 18, 520, 144);
    // A tick the technician sets or clears by hand.
    connect(clbFiles_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        const int row = clbFiles_->row(item);
        if (!displaying_ && row >= 0 && static_cast<std::size_t>(row) < files_.size()) {
            files_[static_cast<std::size_t>(row)].Ticked = item->checkState() == Qt::Checked;
        }
    });
    connect(clbFiles_, &QListWidget::itemSelectionChanged, this, [this] {
        if (!displaying_ && !clbFiles_->selectedItems().isEmpty()) {
            log_(std::string(rules::kSuspiciousSelectionWarning));
        }
    });

    const struct {
        const char* name;
        const char* caption;
        void (*tick)(rules::SuspiciousFiles&);
    } ticks[] = {
        {"btCheck", "Выделить всё", &rules::CheckAllFiles},
        {"btUncheck", "Снять выделение", &rules::UncheckAllFiles},
    };
    int top = 18;
    for (const auto& entry : ticks) {
        auto* button = makeButton(this, entry.name, entry.caption, QRect(536, top, 131, 25));
        connect(button, &QPushButton::clicked, this, [this, tick = entry.tick] {
            tick(files_);
            display();
        });
        top += 31;
    }
    auto* btDeleteFiles =
        makeButton(this, "btDeleteFiles", "Удалить выбранное", QRect(536, 137, 131, 25));
    connect(btDeleteFiles, &QPushButton::clicked, this, &FilesBox::deleteTicked);
}

void FilesBox::setEntries(const std::vector<std::string>& files) {
    files_ = rules::suspiciousFilesFrom(files);
    displaying_ = true;
    clbFiles_->clear();
    for (const rules::SuspiciousFile& file : files_) {
        auto* item = new QListWidgetItem(toQt(file.Text), clbFiles_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    }
    displaying_ = false;
    display();
}

// The entries' texts and ticks as the list holds them now.
void FilesBox::display() {
    displaying_ = true;
    for (int row = 0; row < clbFiles_->count(); ++row) {
        const rules::SuspiciousFile& file = files_[static_cast<std::size_t>(row)];
        QListWidgetItem* item = clbFiles_->item(row);
        item->setText(toQt(file.Text));
        item->setCheckState(file.Ticked ? Qt::Checked : Qt::Unchecked);
    }
    displaying_ = false;
}

void FilesBox::deleteTicked() {
    const std::vector<std::string> messages = rules::DeleteTickedFiles(context_, files_);
    display();
    for (const std::string& message : messages) {
        log_(message);
    }
}
