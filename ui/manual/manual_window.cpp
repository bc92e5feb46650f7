#include "manual/manual_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "console/console_mounts.h"
#include "context/context.h"
#include "discovery/find_user_profiles.h"
#include "hive/file_io.h"
#include "manual/autorun_page.h"
#include "manual/console_widgets.h"
#include "manual/files_box.h"
#include "manual/hijack_prompts.h"
#include "manual/hosts_page.h"
#include "manual/temp_box.h"
#include "manual/tools_box.h"
#include "manual/user_boxes.h"
#include "manual/winlogon_box.h"
#include "platform/launcher.h"
#include "platform/outside_programs.h"
#include "regedit/registry_editor_window.h"
#include "registry/hive_backup.h"
#include "registry/hive_mounting.h"
#include "rules/boot_sector.h"
#include "rules/image_hijacks.h"
#include "rules/system_files.h"
#include "shell/plain_text.h"
#include "shell/program_icon.h"
#include "shell/window_fonts.h"

namespace console = engine::console;
using engine::platform::ShowMode;
using engine::registry::BackupKind;

namespace {

constexpr int kClientWidth = 689;
constexpr int kClientHeight = 490;
constexpr int kStatusHeight = 19;
constexpr int kPanelHeight = 41;
constexpr int kFontPixels = 11; // Tahoma 8 pt

// A page made of one widget: it takes the whole page, whatever size the tab
// set gives its pages once it is laid out.
void fillPage(QWidget* page, QWidget* content) {
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
}

FileDialogSpec dialogSpec(BackupKind kind, bool save) {
    const engine::registry::BackupDialogs dialogs = engine::registry::backupDialogs(kind);
    return {toQt(save ? dialogs.saveTitle : dialogs.openTitle),
            toQt(dialogs.filterName) + QStringLiteral(" (") + toQt(dialogs.pattern) +
                QStringLiteral(")"),
            toQt(dialogs.defaultExtension)};
}

} // namespace

TfmManual::TfmManual(engine::Context& context, engine::platform::Launcher& launcher,
                     engine::rules::RestoreQuestion& restoreQuestion, ShellHooks hooks,
                     QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , context_(context)
    , launcher_(launcher)
    , restoreQuestion_(restoreQuestion)
    , hooks_(std::move(hooks)) {
    setObjectName(QStringLiteral("fmManual"));
    setWindowTitle(QStringLiteral("Ручной режим..."));
    setWindowIcon(programIcon());
    setFont(tahomaFont(kFontPixels));
    setFixedSize(kClientWidth, kClientHeight);

    auto* status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("sbStatus"));
    status->setSizeGripEnabled(false);
    status->setGeometry(0, 0, kClientWidth, kStatusHeight);
    sbStatus_ = makePlainLabel(status); // its messages hold names and paths of the target
    sbStatus_->setObjectName(QStringLiteral("sbStatusText"));
    sbStatus_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    sbStatus_->setContentsMargins(0, 0, 8, 0); // the last letter clear of the window's edge
    status->addWidget(sbStatus_, 1);

    pcTabs_ = new QTabWidget(this);
    pcTabs_->setObjectName(QStringLiteral("pcTabs"));
    pcTabs_->setGeometry(0, kStatusHeight, kClientWidth,
                         kClientHeight - kStatusHeight - kPanelHeight);
    const struct {
        QWidget*& page;
        const char* name;
        const char* caption;
    } pages[] = {
        {ts1_, "ts1", "Подключение к системе"},
        {tsAutorun_, "tsAutorun", "Автозагрузка"},
        {ts3_, "ts3", "Инструменты и файлы"},
        {tsHosts_, "tsHosts", "Блокировка сайтов"},
    };
    for (const auto& entry : pages) {
        entry.page = new QWidget(pcTabs_);
        entry.page->setObjectName(QString::fromUtf8(entry.name));
        pcTabs_->addTab(entry.page, QString::fromUtf8(entry.caption));
    }
    buildToolsPage(ts3_); // before the first page: the Winlogon group fills clbFiles
    buildSystemPage(ts1_);
    buildAutorunPage(tsAutorun_);
    buildHostsPage(tsHosts_);

    // The exit panel: a flat button, so that screen readers read its caption
    // and the whole panel takes the click.
    pnPanel_ = new QPushButton(this);
    pnPanel_->setObjectName(QStringLiteral("pnPanel"));
    pnPanel_->setFlat(true);
    pnPanel_->setFont(tahomaFont(kFontPixels, true));
    pnPanel_->setFocusPolicy(Qt::NoFocus);
    pnPanel_->setGeometry(0, kClientHeight - kPanelHeight, kClientWidth, kPanelHeight);
    connect(pnPanel_, &QPushButton::clicked, this, &TfmManual::pnPanelClick);
    setExitCaption(console::kExitCaption);

    // The registry editor is a window of its own that stays usable while
    // the console runs modally: it is the console's child window.
    editor_ = new RegistryEditorWindow(context_, this);
    pcTabs_->setCurrentWidget(ts1_);
}

TfmManual::~TfmManual() = default;

void TfmManual::buildSystemPage(QWidget* page) {
    gbSystem_ = makeGroup(page, "gbSystem", "Выбор системы", QRect(3, 3, 329, 144));
    cbChoice_ = new QComboBox(gbSystem_);
    cbChoice_->setObjectName(QStringLiteral("cbChoice"));
    cbChoice_->setAccessibleName(QStringLiteral("Выбор системы"));
    cbChoice_->setEditable(false);
    cbChoice_->setGeometry(8, 18, 150, 21);
    btLoad_ = makeButton(gbSystem_, "btLoad", "Загрузить", QRect(164, 17, 77, 23));
    btUnload_ = makeButton(gbSystem_, "btUnload", "Выгрузить", QRect(245, 17, 77, 23));
    btUnload_->setEnabled(false);
    btSaveAll_ = makeButton(gbSystem_, "btSaveAll", "Сохранить", QRect(164, 43, 77, 23));
    btSaveAll_->setAccessibleName(QStringLiteral("Сохранить копию куста SOFTWARE"));
    btRecovAll_ = makeButton(gbSystem_, "btRecovAll", "Восстановить", QRect(245, 43, 77, 23));
    btRecovAll_->setAccessibleName(QStringLiteral("Восстановить куст SOFTWARE из копии"));
    meInfo_ = new QPlainTextEdit(gbSystem_);
    meInfo_->setObjectName(QStringLiteral("meInfo"));
    meInfo_->setAccessibleName(QStringLiteral("Информация о системе"));
    meInfo_->setReadOnly(true);
    meInfo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    meInfo_->setGeometry(8, 70, 314, 67);
    QPalette grey = meInfo_->palette();
    grey.setColor(QPalette::Base, palette().color(QPalette::Window));
    meInfo_->setPalette(grey);
    meInfo_->setPlainText(toQt(console::kNotLoaded));
    connect(btLoad_, &QPushButton::clicked, this, &TfmManual::btLoadClick);
    connect(btUnload_, &QPushButton::clicked, this, &TfmManual::btUnloadClick);
    connect(btSaveAll_, &QPushButton::clicked, this, [this] {
        backup(BackupKind::Software, context_.SystemHives, cbChoice_->currentIndex());
    });
    connect(btRecovAll_, &QPushButton::clicked, this, [this] {
        restore(BackupKind::Software, context_.SystemHives, cbChoice_->currentIndex());
    });

    gbAll_ = new WinlogonBox(
        context_, launcher_, [this](const std::string& message) { log(message); },
        [this](const std::vector<std::string>& files) { showFiles(files); },
        [this] { return cbChoice_->currentIndex(); }, page);
    gbAll_->setGeometry(3, 153, 329, 245);
    gbAll_->hide();
    hijackPrompts_ = std::make_unique<HijackPromptBoxes>(this, hooks_.showBox);
    connect(gbAll_->hijackButton(), &QPushButton::clicked, this,
            [this] { engine::rules::RemoveImageHijacks(context_, *hijackPrompts_); });

    gbChoiceUser_ = makeGroup(page, "gbChoiceUser", "Выбор пользователя", QRect(338, 3, 332, 79));
    gbChoiceUser_->installEventFilter(this);
    cbChoiceUser_ = new QComboBox(gbChoiceUser_);
    cbChoiceUser_->setObjectName(QStringLiteral("cbChoiceUser"));
    cbChoiceUser_->setAccessibleName(QStringLiteral("Выбор пользователя"));
    cbChoiceUser_->setEditable(false);
    cbChoiceUser_->setGeometry(8, 18, 153, 21);
    btUserLoad_ = makeButton(gbChoiceUser_, "btUserLoad", "Загрузить", QRect(167, 17, 77, 23));
    btUserLoad_->setAccessibleName(QStringLiteral("Загрузить реестр пользователя"));
    btUserUnload_ = makeButton(gbChoiceUser_, "btUserUnload", "Выгрузить", QRect(248, 17, 77, 23));
    btUserUnload_->setAccessibleName(QStringLiteral("Выгрузить реестр пользователя"));
    btUserUnload_->setEnabled(false);
    btSaveUser_ = makeButton(gbChoiceUser_, "btSaveUser", "Сохранить", QRect(167, 45, 77, 23));
    btSaveUser_->setAccessibleName(QStringLiteral("Сохранить копию NTUSER.DAT"));
    btRecovUser_ = makeButton(gbChoiceUser_, "btRecovUser", "Восстановить", QRect(248, 45, 77, 23));
    btRecovUser_->setAccessibleName(QStringLiteral("Восстановить NTUSER.DAT из копии"));
    gbChoiceUser_->hide();
    connect(btUserLoad_, &QPushButton::clicked, this, &TfmManual::btUserLoadClick);
    connect(btUserUnload_, &QPushButton::clicked, this, &TfmManual::btUserUnloadClick);
    connect(btSaveUser_, &QPushButton::clicked, this, [this] {
        backup(BackupKind::UserHive, context_.ProfileHives, cbChoiceUser_->currentIndex());
    });
    connect(btRecovUser_, &QPushButton::clicked, this, [this] {
        restore(BackupKind::UserHive, context_.ProfileHives, cbChoiceUser_->currentIndex());
    });

    auto logger = [this](const std::string& message) { log(message); };
    gbUser_ = new UserValuesBox(context_, logger, page);
    gbUser_->setGeometry(338, 81, 332, 178);
    gbUser_->hide();
    gbAdmin_ = new ToolPoliciesBox(context_, logger, page);
    gbAdmin_->setGeometry(338, 273, 332, 123);
    gbAdmin_->hide();
}

void TfmManual::buildAutorunPage(QWidget* page) {
    autorunPage_ = new AutorunPage(
        context_, [this](const std::string& message) { log(message); }, page);
    fillPage(page, autorunPage_);
}

void TfmManual::buildToolsPage(QWidget* page) {
    gbTools_ = new ToolsBox(
        launcher_, [this](const std::string& message) { log(message); },
        [this](const QString& keyPath) { OpenRegeditAtKey(keyPath); }, page);
    gbTools_->setGeometry(0, 0, 233, 161);
    auto logger = [this](const std::string& message) { log(message); };
    gbTemp_ = new TempBox(context_, logger, page);
    gbTemp_->setGeometry(239, 0, 437, 161);
    gbTemp_->hide();
    gbFiles_ = new FilesBox(context_, logger, page);
    gbFiles_->setGeometry(3, 167, 675, 170);
    gbFiles_->hide();
    auto* button1 = makeButton(
        page, "Button1",
        "Восстановить загрузочный сектор WindowsXP на диске C:", QRect(131, 343, 398, 25));
    connect(button1, &QPushButton::clicked, this,
            [this] { engine::rules::restoreXpBootSectorOnC(launcher_); });
    // The drive letter of this caption is the Cyrillic С.
    auto* button2 = makeButton(
        page, "Button2",
        "Восстановить загрузочный сектор Windows Vista - 7 на диске С: ", QRect(131, 375, 398, 25));
    connect(button2, &QPushButton::clicked, this,
            [this] { engine::rules::restoreVista7BootSectorOnC(launcher_); });
}

void TfmManual::buildHostsPage(QWidget* page) {
    hostsPage_ = new HostsPage(
        context_, [this](const std::string& message) { log(message); }, hooks_, page);
    fillPage(page, hostsPage_);
}

// ---------------------------------------------------------------------------
// Showing and closing.

void TfmManual::log(const std::string& message) {
    sbStatus_->setText(toQt(message));
}

QString TfmManual::statusText() const {
    return sbStatus_->text();
}

void TfmManual::setInfo(const std::vector<std::string>& lines) {
    QStringList text;
    for (const std::string& line : lines) {
        text << toQt(line);
    }
    meInfo_->setPlainText(text.join(QLatin1Char('\n')));
}

void TfmManual::setExitCaption(std::string_view caption) {
    pnPanel_->setText(toQt(caption));
}

void TfmManual::setTabShown(QWidget* page, bool shown) {
    pcTabs_->setTabVisible(pcTabs_->indexOf(page), shown);
}

void TfmManual::showFiles(const std::vector<std::string>& files) {
    gbFiles_->setEntries(files);
}

void TfmManual::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        activate();
    }
}

void TfmManual::activate() {
    setTabShown(tsAutorun_, false);
    setTabShown(tsHosts_, false);
    log(std::string(console::kChooseSystem));
    const std::vector<std::string> lines = console::FindConsoleSystems(context_);
    cbChoice_->clear();
    for (const std::string& line : lines) {
        cbChoice_->addItem(toQt(line));
    }
    if (context_.SystemHives.empty()) {
        btLoad_->setEnabled(false);
    }
    cbChoice_->setCurrentIndex(0);
}

void TfmManual::reject() {}

void TfmManual::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->accept();
    } else {
        event->ignore();
    }
}

bool TfmManual::eventFilter(QObject* watched, QEvent* event) {
    if (watched == gbChoiceUser_ && event->type() == QEvent::MouseButtonRelease) {
        gbChoiceUserClick();
    }
    return QDialog::eventFilter(watched, event);
}

void TfmManual::pnPanelClick() {
    if (btUserUnload_->isEnabled()) {
        btUserUnloadClick();
        setExitCaption(console::kExitWhileMounted);
    } else if (btUnload_->isEnabled()) {
        btUnloadClick();
    } else {
        closing_ = true;
        accept();
        closing_ = false;
    }
}

void TfmManual::gbChoiceUserClick() {
    gbAll_->judge();
}

// ---------------------------------------------------------------------------
// Mounting and unmounting.

template <typename Step>
bool TfmManual::guarded(Step&& step) {
    try {
        step();
        return true;
    } catch (const engine::registry::PrivilegeError& error) {
        hooks_.showError(this, QString::fromStdString(error.what()));
        return false;
    }
}

void TfmManual::btLoadClick() {
    btLoad_->setEnabled(false);
    if (context_.SystemHives.empty() || cbChoice_->currentIndex() < 0) {
        return;
    }
    log(std::string(console::kLoading));
    meInfo_->clear();
    console::SystemLoad result;
    if (!guarded(
            [&] { result = console::LoadConsoleSystem(context_, cbChoice_->currentIndex()); })) {
        btLoad_->setEnabled(true); // nothing was mounted: the technician may try again
        return;
    }
    log(result.status);
    if (!result.loaded) {
        setInfo(result.info);
        btLoad_->setEnabled(true);
        return;
    }
    systemInfo_ = result.info;
    setInfo(systemInfo_);
    cbChoice_->setEnabled(false);
    btUnload_->setEnabled(true);
    setExitCaption(console::kExitWhileMounted);
    loading();
}

void TfmManual::loading() {
    gbAll_->load();
    gbAll_->show();
    gbFiles_->show();
    gbChoiceUser_->show();

    std::vector<std::string> names;
    engine::discovery::FindUserProfiles(context_, names);
    cbChoiceUser_->clear();
    for (const std::string& name : names) {
        cbChoiceUser_->addItem(toQt(name));
    }
    cbChoiceUser_->setCurrentIndex(cbChoiceUser_->count() - 1);

    // The autoruns run the system-file check of an XP between reading the
    // names of its Run list and ticking them.
    autorunPage_->fillSystem([this] {
        engine::rules::CheckSystemFiles(context_, cbChoice_->currentIndex(), restoreQuestion_);
    });
    hostsPage_->load();

    autorunPage_->showSystem();
    setTabShown(tsAutorun_, true);
    btSaveAll_->setEnabled(false);
    btRecovAll_->setEnabled(false);
    setTabShown(tsHosts_, true);
}

void TfmManual::btUnloadClick() {
    launcher_.run(engine::platform::kCloseRegistryEditorCommand, ShowMode::MinimizedNoActive);
    meInfo_->clear();
    console::Unload result;
    if (!guarded([&] { result = console::UnloadConsoleSystem(context_); })) {
        setInfo(systemInfo_);
        return;
    }
    log(result.status);
    setInfo(result.info);
    if (!result.unloaded) {
        return;
    }
    systemInfo_.clear();
    setExitCaption(console::kExitAfterUnload);
    cbChoice_->setEnabled(true);
    btLoad_->setEnabled(true);
    btUnload_->setEnabled(false);
    gbAll_->clear();
    gbAll_->hide();
    gbFiles_->hide();
    gbChoiceUser_->hide();
    autorunPage_->hideSystem();
    setTabShown(tsAutorun_, false);
    btSaveAll_->setEnabled(true);
    btRecovAll_->setEnabled(true);
    setTabShown(tsHosts_, false);
}

void TfmManual::btUserLoadClick() {
    if (context_.ProfileHives.empty() || cbChoiceUser_->currentIndex() < 0) {
        return;
    }
    btUserLoad_->setEnabled(false);
    btUnload_->setEnabled(false);
    log(std::string(console::kLoading));
    launcher_.run(engine::platform::kCloseRegistryEditorCommand, ShowMode::MinimizedNoActive);
    console::SystemLoad result;
    const bool done = guarded([&] {
        result = console::LoadConsoleUser(context_, cbChoiceUser_->currentIndex(),
                                          fromQt(cbChoiceUser_->currentText()));
    });
    if (!done || !result.loaded) {
        if (done) {
            log(result.status);
            std::vector<std::string> info = systemInfo_;
            info.insert(info.end(), result.info.begin(), result.info.end());
            setInfo(info);
        }
        btUserLoad_->setEnabled(true);
        btUnload_->setEnabled(true);
        return;
    }
    setInfo(systemInfo_);
    log(result.status);
    loadUser();
}

void TfmManual::loadUser() {
    gbUser_->load();
    gbAdmin_->load();
    autorunPage_->fillUser();
    gbTemp_->load();
    hostsPage_->loadProxy();
    gbAll_->judge();

    btUserUnload_->setEnabled(true);
    btUnload_->setEnabled(false);
    gbUser_->show();
    gbAdmin_->show();
    cbChoiceUser_->setEnabled(false);
    btSaveUser_->setEnabled(false);
    btRecovUser_->setEnabled(false);
    autorunPage_->showSystem();
    gbTemp_->show();
}

void TfmManual::btUserUnloadClick() {
    launcher_.run(engine::platform::kCloseRegistryEditorCommand, ShowMode::MinimizedNoActive);
    hooks_.wait(std::chrono::milliseconds(1000));
    console::Unload result;
    if (!guarded([&] { result = console::UnloadConsoleUser(context_); })) {
        return;
    }
    log(result.status);
    if (!result.unloaded) {
        return;
    }
    btUserUnload_->setEnabled(false);
    btUnload_->setEnabled(true);
    btUserLoad_->setEnabled(true);
    gbUser_->hide();
    gbAdmin_->hide();
    autorunPage_->hideUser();
    cbChoiceUser_->setEnabled(true);
    btSaveUser_->setEnabled(true);
    btRecovUser_->setEnabled(true);
    gbTemp_->hide();
    hostsPage_->hideProxy();
}

// ---------------------------------------------------------------------------
// Backups: each pair acts only while its hive is not mounted.

namespace {

std::optional<std::string> selectedHive(const std::vector<std::string>& hives, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= hives.size()) {
        return std::nullopt;
    }
    return hives[static_cast<std::size_t>(index)];
}

} // namespace

void TfmManual::backup(BackupKind kind, const std::vector<std::string>& hives, int index) {
    const auto hive = selectedHive(hives, index);
    if (!hive) {
        return;
    }
    const auto file = hooks_.saveFileName(this, dialogSpec(kind, true));
    if (!file) {
        return;
    }
    engine::hive::PosixFileIo io;
    const bool saved =
        engine::registry::backupHive(context_.drives, *hive, file->toStdString(), io).has_value();
    log(engine::registry::backupMessage(kind, saved));
}

void TfmManual::restore(BackupKind kind, const std::vector<std::string>& hives, int index) {
    const auto hive = selectedHive(hives, index);
    if (!hive) {
        return;
    }
    const auto file = hooks_.openFileName(this, dialogSpec(kind, false));
    if (!file) {
        return;
    }
    engine::hive::PosixFileIo io;
    log(engine::registry::restoreMessage(
        engine::registry::restoreHive(context_.drives, *hive, file->toStdString(), io)));
}

// ---------------------------------------------------------------------------
// The registry editor.

void TfmManual::OpenRegeditAtKey(const QString& keyPath) {
    editor_->openAt(keyPath);
}
