// The registry editor window: a tree of keys read lazily from the mounted
// hives, the selected key's values, and the "Правка" commands passed on to
// the engine.
#include "regedit/registry_editor_window.h"

#include <array>
#include <memory>
#include <string_view>

#include <QAction>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QTreeWidget>

#include "context/context.h"
#include "hive/hive.h"
#include "registry/registry_editing.h"
#include "shell/plain_text.h"
#include "shell/program_icon.h"
#include "shell/window_fonts.h"

namespace {

namespace editing = engine::registry;

// A key item's editor path ("" for "Компьютер").
constexpr int kPathRole = Qt::UserRole;
// The child that stands for a key's subkeys until the key is expanded.
constexpr int kPlaceholderRole = Qt::UserRole + 1;
// A value row's name as stored ("" the default value), and whether the
// value is there at all (the default value's row may stand for none).
constexpr int kValueNameRole = Qt::UserRole;
constexpr int kValuePresentRole = Qt::UserRole + 1;

const QString kComputer = QStringLiteral("Компьютер");

QString fromStd(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toStd(const QString& text) {
    return text.toUtf8().toStdString();
}

struct NewValueKind {
    const char* caption;
    const char* objectName;
    std::uint32_t type;
};
constexpr std::array<NewValueKind, 6> kNewValueKinds = {{
    {"Строковый параметр", "acNewString", engine::hive::kRegSz},
    {"Двоичный параметр", "acNewBinary", engine::hive::kRegBinary},
    {"Параметр DWORD (32 бита)", "acNewDword", engine::hive::kRegDword},
    {"Параметр QWORD (64 бита)", "acNewQword", engine::hive::kRegQword},
    {"Мультистроковый параметр", "acNewMultiString", engine::hive::kRegMultiSz},
    {"Расширяемый строковый параметр", "acNewExpandString", engine::hive::kRegExpandSz},
}};

QString editTitle(std::uint32_t type) {
    switch (editing::editKindOf(type)) {
    case editing::EditKind::Text:
        return QStringLiteral("Изменение строкового параметра");
    case editing::EditKind::MultiText:
        return QStringLiteral("Изменение многострокового параметра");
    case editing::EditKind::Number:
        return type == engine::hive::kRegDword
                   ? QStringLiteral("Изменение параметра DWORD (32 бита)")
                   : QStringLiteral("Изменение параметра QWORD (64 бита)");
    case editing::EditKind::Bytes:
        break;
    }
    return QStringLiteral("Изменение двоичного параметра");
}

QString editLabel(const QString& shownName, std::uint32_t type) {
    QString label = QStringLiteral("Параметр: ") + shownName + QStringLiteral("\nЗначение");
    switch (editing::editKindOf(type)) {
    case editing::EditKind::Number:
        return label + QStringLiteral(" (десятичное или 0x шестнадцатеричное):");
    case editing::EditKind::Bytes:
        return label + QStringLiteral(" (байты парами шестнадцатеричных цифр):");
    case editing::EditKind::MultiText:
        return label + QStringLiteral(" (строка на каждой строке):");
    case editing::EditKind::Text:
        break;
    }
    return label + QStringLiteral(":");
}

QString joinPath(const QString& parent, const QString& name) {
    return parent.isEmpty() ? name : parent + QLatin1Char('\\') + name;
}

} // namespace

RegistryEditorWindow::RegistryEditorWindow(engine::Context& context, QWidget* parent,
                                           EditorHooks hooks)
    : QMainWindow(parent, Qt::Window)
    , context_(context)
    , hooks_(std::move(hooks)) {
    setObjectName(QStringLiteral("fmRegedit"));
    setWindowTitle(QStringLiteral("Редактор реестра"));
    setWindowIcon(programIcon());
    setFont(tahomaFont(11));
    resize(760, 520);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("spKeysValues"));
    tvKeys_ = new QTreeWidget(splitter);
    tvKeys_->setObjectName(QStringLiteral("tvKeys"));
    tvKeys_->setAccessibleName(QStringLiteral("Разделы реестра"));
    tvKeys_->setHeaderHidden(true);
    tvKeys_->setColumnCount(1);
    tvKeys_->setContextMenuPolicy(Qt::CustomContextMenu);

    lvValues_ = new QTableWidget(0, 3, splitter);
    lvValues_->setObjectName(QStringLiteral("lvValues"));
    lvValues_->setAccessibleName(QStringLiteral("Параметры раздела"));
    lvValues_->setHorizontalHeaderLabels(
        {QStringLiteral("Имя"), QStringLiteral("Тип"), QStringLiteral("Значение")});
    lvValues_->verticalHeader()->hide();
    lvValues_->verticalHeader()->setMinimumSectionSize(1);
    lvValues_->verticalHeader()->setDefaultSectionSize(lvValues_->fontMetrics().height() + 4);
    lvValues_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lvValues_->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvValues_->setSelectionMode(QAbstractItemView::SingleSelection);
    lvValues_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvValues_->setShowGrid(false);
    lvValues_->setWordWrap(false);
    lvValues_->horizontalHeader()->setStretchLastSection(true);
    lvValues_->setColumnWidth(0, 180);
    lvValues_->setColumnWidth(1, 120);
    lvValues_->setContextMenuPolicy(Qt::CustomContextMenu);

    splitter->addWidget(tvKeys_);
    splitter->addWidget(lvValues_);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);
    splitter->setSizes({270, 490});
    setCentralWidget(splitter);

    statusBar()->setObjectName(QStringLiteral("sbStatus"));
    lbPath_ = makePlainLabel(statusBar()); // key names are the target's
    lbPath_->setObjectName(QStringLiteral("lbPath"));
    statusBar()->addWidget(lbPath_, 1);

    buildMenus();

    connect(tvKeys_, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* item) { fillChildren(item); });
    connect(tvKeys_, &QTreeWidget::currentItemChanged, this, [this] { keySelected(); });
    connect(tvKeys_, &QTreeWidget::itemClicked, this, [this] {
        pane_ = Pane::Keys;
        updateActions();
    });
    connect(lvValues_, &QTableWidget::itemSelectionChanged, this, [this] {
        if (selectedValueName()) {
            pane_ = Pane::Values;
        }
        updateActions();
    });
    connect(lvValues_, &QTableWidget::cellClicked, this, [this] {
        pane_ = Pane::Values;
        updateActions();
    });
    connect(lvValues_, &QTableWidget::cellDoubleClicked, this, [this] { modifyClick(); });
    connect(tvKeys_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (QTreeWidgetItem* item = tvKeys_->itemAt(at)) {
            tvKeys_->setCurrentItem(item);
        }
        pane_ = Pane::Keys;
        updateActions();
        QMenu menu(this);
        menu.addMenu(mnCreateValue_);
        menu.addAction(acCreateKey_);
        menu.addSeparator();
        menu.addAction(acRename_);
        menu.addAction(acDelete_);
        menu.exec(tvKeys_->viewport()->mapToGlobal(at));
    });
    connect(lvValues_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        pane_ = selectedValueName() ? Pane::Values : Pane::Keys;
        updateActions();
        QMenu menu(this);
        if (pane_ == Pane::Values) {
            menu.addAction(acModify_);
            menu.addSeparator();
            menu.addAction(acRename_);
            menu.addAction(acDelete_);
        } else {
            menu.addAction(acCreateKey_);
            menu.addMenu(mnCreateValue_);
        }
        menu.exec(lvValues_->viewport()->mapToGlobal(at));
    });

    rebuildTree();
}

void RegistryEditorWindow::buildMenus() {
    QMenu* mnEdit = menuBar()->addMenu(QStringLiteral("Правка"));
    mnEdit->setObjectName(QStringLiteral("mnEdit"));

    acModify_ = mnEdit->addAction(QStringLiteral("Изменить..."));
    acModify_->setObjectName(QStringLiteral("acModify"));
    connect(acModify_, &QAction::triggered, this, [this] { modifyClick(); });
    mnEdit->addSeparator();

    QMenu* mnCreate = mnEdit->addMenu(QStringLiteral("Создать"));
    mnCreate->setObjectName(QStringLiteral("mnCreate"));
    acCreateKey_ = mnCreate->addAction(QStringLiteral("Создать раздел"));
    acCreateKey_->setObjectName(QStringLiteral("acCreateKey"));
    connect(acCreateKey_, &QAction::triggered, this, [this] { createKeyClick(); });
    mnCreateValue_ = mnCreate->addMenu(QStringLiteral("Создать параметр"));
    mnCreateValue_->setObjectName(QStringLiteral("mnCreateValue"));
    for (const NewValueKind& kind : kNewValueKinds) {
        QAction* action = mnCreateValue_->addAction(QString::fromUtf8(kind.caption));
        action->setObjectName(QString::fromLatin1(kind.objectName));
        const std::uint32_t type = kind.type;
        connect(action, &QAction::triggered, this, [this, type] { createValueClick(type); });
    }
    mnEdit->addSeparator();

    acDelete_ = mnEdit->addAction(QStringLiteral("Удалить"));
    acDelete_->setObjectName(QStringLiteral("acDelete"));
    acDelete_->setShortcut(QKeySequence::Delete);
    connect(acDelete_, &QAction::triggered, this, [this] { deleteClick(); });
    acRename_ = mnEdit->addAction(QStringLiteral("Переименовать"));
    acRename_->setObjectName(QStringLiteral("acRename"));
    acRename_->setShortcut(QKeySequence(Qt::Key_F2));
    connect(acRename_, &QAction::triggered, this, [this] { renameClick(); });

    QMenu* mnView = menuBar()->addMenu(QStringLiteral("Вид"));
    mnView->setObjectName(QStringLiteral("mnView"));
    acRefresh_ = mnView->addAction(QStringLiteral("Обновить"));
    acRefresh_->setObjectName(QStringLiteral("acRefresh"));
    acRefresh_->setShortcut(QKeySequence::Refresh);
    connect(acRefresh_, &QAction::triggered, this, [this] { refresh(); });
}

void RegistryEditorWindow::rebuildTree() {
    tvKeys_->clear();
    auto* computer = new QTreeWidgetItem(tvKeys_, {kComputer});
    computer->setData(0, kPathRole, QString());
    addKeyItem(computer, fromStd(editing::kLocalMachineRoot), fromStd(editing::kLocalMachineRoot));
    addKeyItem(computer, fromStd(editing::kCurrentUserRoot), fromStd(editing::kCurrentUserRoot));
    computer->setExpanded(true);
}

QTreeWidgetItem* RegistryEditorWindow::addKeyItem(QTreeWidgetItem* parent, const QString& name,
                                                  const QString& path) {
    auto* item = new QTreeWidgetItem(parent, {name});
    item->setData(0, kPathRole, path);
    if (editing::hasSubkeys(context_, toStd(path))) {
        auto* placeholder = new QTreeWidgetItem(item);
        placeholder->setData(0, kPlaceholderRole, true);
    }
    return item;
}

void RegistryEditorWindow::fillChildren(QTreeWidgetItem* item) {
    if (item->childCount() != 1 || !item->child(0)->data(0, kPlaceholderRole).toBool()) {
        return;
    }
    std::unique_ptr<QTreeWidgetItem> placeholder(item->takeChild(0));
    const QString path = item->data(0, kPathRole).toString();
    auto names = editing::listSubkeys(context_, toStd(path));
    if (!names) {
        return;
    }
    for (const auto& name : *names) {
        addKeyItem(item, fromStd(name), joinPath(path, fromStd(name)));
    }
}

void RegistryEditorWindow::reloadChildren(QTreeWidgetItem* item) {
    const bool expanded = item->isExpanded();
    for (QTreeWidgetItem* child : item->takeChildren()) {
        std::unique_ptr<QTreeWidgetItem> taken(child);
    }
    auto* placeholder = new QTreeWidgetItem(item);
    placeholder->setData(0, kPlaceholderRole, true);
    fillChildren(item);
    item->setExpanded(expanded);
}

QTreeWidgetItem* RegistryEditorWindow::selectPath(const QString& path) {
    QTreeWidgetItem* at = tvKeys_->topLevelItem(0);
    if (at == nullptr) {
        return nullptr;
    }
    const QStringList parts = path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        fillChildren(at);
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < at->childCount() && next == nullptr; ++i) {
            if (at->child(i)->text(0) == part) {
                next = at->child(i);
            }
        }
        for (int i = 0; i < at->childCount() && next == nullptr; ++i) {
            if (at->child(i)->text(0).compare(part, Qt::CaseInsensitive) == 0) {
                next = at->child(i);
            }
        }
        if (next == nullptr) {
            break;
        }
        at->setExpanded(true);
        at = next;
    }
    tvKeys_->setCurrentItem(at);
    tvKeys_->scrollToItem(at);
    keySelected();
    return at;
}

QString RegistryEditorWindow::currentKeyPath() const {
    const QTreeWidgetItem* item = tvKeys_->currentItem();
    return item == nullptr ? QString() : item->data(0, kPathRole).toString();
}

void RegistryEditorWindow::keySelected() {
    const QTreeWidgetItem* item = tvKeys_->currentItem();
    if (item == nullptr) {
        lbPath_->clear();
        lvValues_->setRowCount(0);
        updateActions();
        return;
    }
    const QString path = currentKeyPath();
    lastKeyPath_ = path;
    lbPath_->setText(path.isEmpty() ? kComputer : kComputer + QLatin1Char('\\') + path);
    fillValues();
    pane_ = Pane::Keys;
    updateActions();
}

void RegistryEditorWindow::fillValues() {
    lvValues_->setRowCount(0);
    const QString path = currentKeyPath();
    if (path.isEmpty()) {
        return;
    }
    auto values = editing::listValues(context_, toStd(path));
    if (!values) {
        lbPath_->setText(fromStd(values.error()));
        return;
    }
    lvValues_->setRowCount(static_cast<int>(values->size()));
    for (int row = 0; row < static_cast<int>(values->size()); ++row) {
        const editing::EditorValue& value = (*values)[static_cast<std::size_t>(row)];
        auto* name = new QTableWidgetItem(fromStd(value.shownName));
        name->setData(kValueNameRole, fromStd(value.name));
        name->setData(kValuePresentRole, value.present);
        lvValues_->setItem(row, 0, name);
        lvValues_->setItem(row, 1, new QTableWidgetItem(fromStd(value.typeName)));
        lvValues_->setItem(row, 2, new QTableWidgetItem(fromStd(value.dataText)));
    }
}

std::optional<QString> RegistryEditorWindow::selectedValueName() const {
    const auto rows = lvValues_->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        return std::nullopt;
    }
    const QTableWidgetItem* item = lvValues_->item(rows.front().row(), 0);
    if (item == nullptr) {
        return std::nullopt;
    }
    return item->data(kValueNameRole).toString();
}

bool RegistryEditorWindow::selectedValuePresent() const {
    const auto rows = lvValues_->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        return false;
    }
    const QTableWidgetItem* item = lvValues_->item(rows.front().row(), 0);
    return item != nullptr && item->data(kValuePresentRole).toBool();
}

void RegistryEditorWindow::selectValue(const QString& name) {
    for (int row = 0; row < lvValues_->rowCount(); ++row) {
        if (lvValues_->item(row, 0)->data(kValueNameRole).toString() == name) {
            lvValues_->selectRow(row);
            pane_ = Pane::Values;
            updateActions();
            return;
        }
    }
}

void RegistryEditorWindow::updateActions() {
    const std::string path = toStd(currentKeyPath());
    const bool holds = tvKeys_->currentItem() != nullptr && !path.empty() &&
                       editing::canHoldChildren(context_, path);
    acCreateKey_->setEnabled(holds);
    mnCreateValue_->setEnabled(holds);
    if (pane_ == Pane::Values) {
        const auto name = selectedValueName();
        acModify_->setEnabled(holds && name.has_value());
        acRename_->setEnabled(holds && name.has_value() && !name->isEmpty());
        acDelete_->setEnabled(holds && name.has_value() && selectedValuePresent());
    } else {
        const bool editable = !path.empty() && editing::isEditableKey(context_, path);
        acModify_->setEnabled(false);
        acRename_->setEnabled(editable);
        acDelete_->setEnabled(editable);
    }
}

void RegistryEditorWindow::showError(const std::string& message) {
    hooks_.error(*this, QStringLiteral("Ошибка"), fromStd(message));
}

void RegistryEditorWindow::createKeyClick() {
    QTreeWidgetItem* item = tvKeys_->currentItem();
    if (item == nullptr) {
        return;
    }
    const QString path = currentKeyPath();
    auto created = editing::createKey(context_, toStd(path));
    if (!created) {
        showError(created.error());
        return;
    }
    reloadChildren(item);
    item->setExpanded(true);
    const QString name = fromStd(*created);
    selectPath(joinPath(path, name));
    // The new key is named at once, as it is created.
    const auto answer = hooks_.askText(*this, QStringLiteral("Новый раздел"),
                                       QStringLiteral("Имя раздела:"), name, false);
    if (answer && *answer != name) {
        renameKeyTo(joinPath(path, name), *answer);
    }
}

void RegistryEditorWindow::createValueClick(std::uint32_t type) {
    const QString path = currentKeyPath();
    if (path.isEmpty()) {
        return;
    }
    auto created = editing::createValue(context_, toStd(path), type);
    if (!created) {
        showError(created.error());
        return;
    }
    const QString name = fromStd(*created);
    fillValues();
    selectValue(name);
    const auto answer = hooks_.askText(*this, QStringLiteral("Новый параметр"),
                                       QStringLiteral("Имя параметра:"), name, false);
    if (answer && *answer != name) {
        renameValueTo(name, *answer);
    }
}

void RegistryEditorWindow::modifyClick() {
    const auto name = selectedValueName();
    const QString path = currentKeyPath();
    if (!name || path.isEmpty()) {
        return;
    }
    editing::ValueData value{engine::hive::kRegSz, {}};
    if (selectedValuePresent()) {
        auto read = editing::readValue(context_, toStd(path), toStd(*name));
        if (!read) {
            showError(read.error());
            fillValues();
            return;
        }
        value = std::move(*read);
    }
    const QString shownName = name->isEmpty() ? fromStd(editing::kDefaultValueName) : *name;
    const auto answer =
        hooks_.askText(*this, editTitle(value.type), editLabel(shownName, value.type),
                       fromStd(editing::valueEditText(value.type, value.data)),
                       editing::editKindOf(value.type) == editing::EditKind::MultiText);
    if (!answer) {
        return;
    }
    auto set =
        editing::setValueText(context_, toStd(path), toStd(*name), value.type, toStd(*answer));
    if (!set) {
        showError(set.error());
        return;
    }
    fillValues();
    selectValue(*name);
}

void RegistryEditorWindow::renameClick() {
    if (pane_ == Pane::Values && selectedValueName()) {
        const QString name = *selectedValueName();
        if (name.isEmpty()) {
            showError(editing::renameValue(context_, toStd(currentKeyPath()), "", "").error());
            return;
        }
        const auto answer = hooks_.askText(*this, QStringLiteral("Переименование параметра"),
                                           QStringLiteral("Новое имя параметра:"), name, false);
        if (answer && *answer != name) {
            renameValueTo(name, *answer);
        }
        return;
    }
    QTreeWidgetItem* item = tvKeys_->currentItem();
    if (item == nullptr) {
        return;
    }
    const QString path = currentKeyPath();
    if (!editing::isEditableKey(context_, toStd(path))) {
        auto refused = editing::renameKey(context_, toStd(path), "?");
        showError(refused ? std::string("Раздел переименовать нельзя.") : refused.error());
        return;
    }
    const auto answer = hooks_.askText(*this, QStringLiteral("Переименование раздела"),
                                       QStringLiteral("Новое имя раздела:"), item->text(0), false);
    if (answer && *answer != item->text(0)) {
        renameKeyTo(path, *answer);
    }
}

void RegistryEditorWindow::renameKeyTo(const QString& path, const QString& newName) {
    auto renamed = editing::renameKey(context_, toStd(path), toStd(newName));
    if (!renamed) {
        showError(renamed.error());
        return;
    }
    QTreeWidgetItem* item = selectPath(path);
    if (item != nullptr && item->parent() != nullptr) {
        reloadChildren(item->parent());
    }
    selectPath(fromStd(*renamed));
}

void RegistryEditorWindow::renameValueTo(const QString& name, const QString& newName) {
    auto renamed =
        editing::renameValue(context_, toStd(currentKeyPath()), toStd(name), toStd(newName));
    if (!renamed) {
        showError(renamed.error());
        fillValues();
        selectValue(name);
        return;
    }
    fillValues();
    selectValue(newName);
}

void RegistryEditorWindow::deleteClick() {
    if (pane_ == Pane::Values && selectedValueName()) {
        const QString name = *selectedValueName();
        if (!hooks_.confirm(*this, QStringLiteral("Подтверждение удаления параметра"),
                            QStringLiteral("Удаление некоторых параметров реестра может "
                                           "привести к нестабильной работе системы. Вы "
                                           "действительно хотите удалить этот параметр?"))) {
            return;
        }
        auto deleted = editing::deleteValue(context_, toStd(currentKeyPath()), toStd(name));
        if (!deleted) {
            showError(deleted.error());
        }
        fillValues();
        updateActions();
        return;
    }
    QTreeWidgetItem* item = tvKeys_->currentItem();
    if (item == nullptr) {
        return;
    }
    const QString path = currentKeyPath();
    if (!editing::isEditableKey(context_, toStd(path))) {
        auto refused = editing::deleteKey(context_, toStd(path));
        showError(refused ? std::string("Раздел удалить нельзя.") : refused.error());
        return;
    }
    if (!hooks_.confirm(*this, QStringLiteral("Подтверждение удаления раздела"),
                        QStringLiteral("Вы действительно хотите удалить этот раздел и все его "
                                       "подразделы?"))) {
        return;
    }
    auto deleted = editing::deleteKey(context_, toStd(path));
    if (!deleted) {
        showError(deleted.error());
        return;
    }
    QTreeWidgetItem* parent = item->parent();
    tvKeys_->setCurrentItem(parent);
    reloadChildren(parent);
    selectPath(parent->data(0, kPathRole).toString());
}

void RegistryEditorWindow::openAt(const QString& keyPath) {
    rebuildTree();
    selectPath(fromStd(editing::existingKeyPath(context_, toStd(keyPath))));
    showNormal();
    raise();
    activateWindow();
}

void RegistryEditorWindow::refresh() {
    const QString path = tvKeys_->currentItem() != nullptr ? currentKeyPath() : lastKeyPath_;
    rebuildTree();
    selectPath(fromStd(editing::existingKeyPath(context_, toStd(path))));
}

void RegistryEditorWindow::closeEditor() {
    const QString last = lastKeyPath_;
    tvKeys_->clear();
    lvValues_->setRowCount(0);
    lbPath_->clear();
    lastKeyPath_ = last;
    hide();
}

void RegistryEditorWindow::closeEvent(QCloseEvent* event) {
    closeEditor();
    event->accept();
}
