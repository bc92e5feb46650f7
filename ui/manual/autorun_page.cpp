#include "manual/autorun_page.h"

#include <string_view>
#include <utility>

#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QVBoxLayout>

#include "manual/compact_tabs.h"
#include "manual/console_widgets.h"

namespace rules = engine::rules;

namespace {

using ListNames = std::array<const char*, rules::kAutorunTabCount>;

struct GroupLayout {
    const char* box;
    std::string_view caption;
    const char* tabs;
    ListNames lists;
    QRect geometry;
};

// The two groups side by side, edValue along the bottom of the page.
const std::array<GroupLayout, 2> kGroups = {{
    {"gbAutorunAll",
     rules::kSystemAutorunsCaption,
     "pcRunAll",
     {"clbRunAll", "clbRunOnceAll", "clbRunExAll", "clbRunExplorerAll", "clbFilesAll"},
     QRect(3, 3, 332, 370)},
    {"gbUserRun",
     rules::kUserAutorunsCaption,
     "pcUserRun",
     {"clbUserRun", "clbRunOnceUser", "clbRunOnceExUser", "clbExplorerRunUser", "clbFilesUser"},
     QRect(341, 3, 332, 370)},
}};
const QRect kValueGeometry(3, 377, 670, 21);

Qt::CheckState checkState(bool checked) {
    return checked ? Qt::Checked : Qt::Unchecked;
}

} // namespace

AutorunPage::AutorunPage(engine::Context& context, Log log, QWidget* parent)
    : QWidget(parent)
    , context_(context)
    , log_(std::move(log)) {
    setObjectName(QStringLiteral("AutorunPage"));
    resize(683, 404);
    // Made first: the groups' handlers write into it.
    edValue_ = makeValueEdit(this, "edValue", "Команда выбранного элемента", kValueGeometry);
    buildGroup(groups_[0], rules::AutorunScope::System);
    buildGroup(groups_[1], rules::AutorunScope::User);
}

void AutorunPage::buildGroup(Group& group, rules::AutorunScope scope) {
    const GroupLayout& layout = kGroups[scope == rules::AutorunScope::System ? 0 : 1];
    group.entries.Scope = scope;
    group.box = makeGroup(this, layout.box, layout.caption, layout.geometry);
    group.tabs = new QTabWidget(group.box);
    group.tabs->setObjectName(QString::fromUtf8(layout.tabs));
    group.tabs->setGeometry(8, 18, 316, 344);
    makeTabsCompact(*group.tabs);
    for (std::size_t tab = 0; tab < rules::kAutorunTabCount; ++tab) {
        auto* page = new QWidget(group.tabs);
        auto* list = new QListWidget(page);
        list->setObjectName(QString::fromUtf8(layout.lists[tab]));
        list->setAccessibleName(toQt(rules::kAutorunTabs[tab]) + QStringLiteral(": ") +
                                toQt(layout.caption));
        auto* fill = new QVBoxLayout(page);
        fill->setContentsMargins(0, 0, 0, 0);
        fill->addWidget(list);
        group.tabs->addTab(page, toQt(rules::kAutorunTabs[tab]));
        group.lists[tab] = list;
        connect(list, &QListWidget::itemChanged, this,
                [this, &group, tab](QListWidgetItem* item) { toggled(group, tab, item); });
        // A click shows the command again after a tab switch has emptied
        // edValue; a move of the current item by keyboard shows it too.
        connect(list, &QListWidget::itemClicked, this,
                [this, &group, tab] { showCommand(group, tab); });
        connect(list, &QListWidget::currentRowChanged, this,
                [this, &group, tab] { showCommand(group, tab); });
    }
    connect(group.tabs, &QTabWidget::currentChanged, this, [this] { edValue_->clear(); });
    group.box->hide();
}

void AutorunPage::fillSystem(const std::function<void()>& systemFileCheck) {
    groups_[0].entries = rules::FillSystemAutoruns(context_, systemFileCheck);
    display(groups_[0]);
}

void AutorunPage::showSystem() {
    groups_[0].box->show();
}

void AutorunPage::hideSystem() {
    groups_[0].box->hide();
    edValue_->clear();
}

void AutorunPage::fillUser() {
    groups_[1].box->show();
    groups_[1].entries = rules::FillUserAutoruns(context_);
    display(groups_[1]);
}

void AutorunPage::hideUser() {
    groups_[1].box->hide();
    edValue_->clear();
}

// Refilled lists have nothing selected, so edValue no longer shows one of
// their commands.
void AutorunPage::display(Group& group) {
    displaying_ = true;
    for (std::size_t tab = 0; tab < rules::kAutorunTabCount; ++tab) {
        QListWidget* list = group.lists[tab];
        list->clear();
        for (const rules::AutorunEntry& entry : group.entries.Lists[tab]) {
            auto* item = new QListWidgetItem(toQt(entry.Name), list);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(checkState(entry.Checked));
        }
    }
    displaying_ = false;
    edValue_->clear();
}

// Each box as the entry stands: a move that failed leaves its entry where it
// was, and the box goes back to say so.
void AutorunPage::displayChecks(Group& group, std::size_t tab) {
    displaying_ = true;
    QListWidget* list = group.lists[tab];
    const auto& entries = group.entries.Lists[tab];
    for (int row = 0; row < list->count(); ++row) {
        const auto index = static_cast<std::size_t>(row);
        if (index < entries.size()) {
            list->item(row)->setCheckState(checkState(entries[index].Checked));
        }
    }
    displaying_ = false;
}

void AutorunPage::toggled(Group& group, std::size_t tab, QListWidgetItem* item) {
    if (displaying_) {
        return;
    }
    const int row = group.lists[tab]->row(item);
    if (row < 0) {
        return;
    }
    const bool checked = item->checkState() == Qt::Checked;
    const auto message =
        rules::ToggleAutorun(context_, group.entries, tab, static_cast<std::size_t>(row), checked);
    displayChecks(group, tab);
    if (message) {
        log_(*message);
    }
}

void AutorunPage::showCommand(Group& group, std::size_t tab) {
    const int row = group.lists[tab]->currentRow();
    if (displaying_ || row < 0) {
        return;
    }
    edValue_->setText(
        toQt(rules::AutorunCommand(context_, group.entries, tab, static_cast<std::size_t>(row))));
    edValue_->setCursorPosition(0);
}
