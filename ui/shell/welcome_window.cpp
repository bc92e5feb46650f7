#include "shell/welcome_window.h"

#include <QComboBox>
#include <QCursor>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include "context/context.h"
#include "discovery/find_systems.h"
#include "manual/manual_window.h"
#include "platform/launcher.h"
#include "platform/outside_programs.h"
#include "shell/choose_window.h"
#include "shell/donate_window.h"
#include "shell/help_window.h"
#include "shell/program_icon.h"
#include "shell/window_fonts.h"

using engine::platform::ShowMode;

namespace {

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(QString::fromUtf8(name));
    button->setAutoDefault(false);
    return button;
}

QGroupBox* makeGroup(QWidget* parent, const char* name, const char* caption) {
    auto* group = new QGroupBox(QString::fromUtf8(caption), parent);
    group->setObjectName(QString::fromUtf8(name));
    return group;
}

} // namespace

TfmWelcome::TfmWelcome(engine::Context& context, engine::platform::Launcher& launcher,
                       engine::platform::DisplaySettings& display, TfmChoose& choose, TfmHelp& help,
                       TfmDonate& donate, ShellHooks hooks, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    , context_(context)
    , launcher_(launcher)
    , display_(display)
    , choose_(choose)
    , help_(help)
    , donate_(donate)
    , hooks_(std::move(hooks)) {
    setObjectName(QStringLiteral("fmWelcome"));
    setWindowTitle(QStringLiteral("Morvalin LiveCD - Free version"));
    setWindowIcon(programIcon());
    setFont(tahomaFont(11));
    setFixedHeight(kHeight);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 4);
    // Narrow gaps: with ЗАКРЫТЬ and ПОДДЕРЖАТЬ side by side the strip still
    // fits a screen 800 pixels wide.
    layout->setSpacing(4);

    // "Экран": the docking edge, the display modes and their change.
    auto* gbScreen = makeGroup(this, "gbScreen", "Экран");
    auto* screenLayout = new QHBoxLayout(gbScreen);
    screenLayout->setContentsMargins(6, 2, 6, 6);
    auto* rgPos = makeGroup(gbScreen, "rgPos", "Положение");
    auto* posLayout = new QHBoxLayout(rgPos);
    posLayout->setContentsMargins(6, 2, 6, 4);
    rbTop_ = new QRadioButton(QStringLiteral("Сверху"), rgPos);
    rbTop_->setObjectName(QStringLiteral("rbTop"));
    rbBottom_ = new QRadioButton(QStringLiteral("Снизу"), rgPos);
    rbBottom_->setObjectName(QStringLiteral("rbBottom"));
    rbTop_->setChecked(true);
    posLayout->addWidget(rbTop_);
    posLayout->addWidget(rbBottom_);
    connect(rbTop_, &QRadioButton::toggled, this, &TfmWelcome::dock);
    screenLayout->addWidget(rgPos);
    auto* modeColumn = new QVBoxLayout;
    cbScreen_ = new QComboBox(gbScreen);
    cbScreen_->setObjectName(QStringLiteral("cbScreen"));
    cbScreen_->setAccessibleName(QStringLiteral("Режим экрана"));
    cbScreen_->setEditable(false);
    cbScreen_->setMinimumWidth(140);
    auto* Button2 = makeButton(gbScreen, "Button2", "Сменить");
    connect(Button2, &QPushButton::clicked, this, &TfmWelcome::Button2Click);
    modeColumn->addWidget(cbScreen_);
    modeColumn->addWidget(Button2);
    screenLayout->addLayout(modeColumn);
    layout->addWidget(gbScreen);

    // "MorvalinLiveCD": the mode chooser and the manual.
    auto* gbLive = makeGroup(this, "gbLive", "MorvalinLiveCD");
    auto* liveLayout = new QHBoxLayout(gbLive);
    liveLayout->setContentsMargins(6, 2, 6, 6);
    auto* btStart = makeButton(gbLive, "btStart", "СТАРТ");
    btStart->setFont(tahomaFont(16, true));
    btStart->setMinimumSize(96, 60);
    auto* btHelp = makeButton(gbLive, "btHelp", "ПОМОЩЬ");
    btHelp->setMinimumSize(80, 60);
    connect(btStart, &QPushButton::clicked, this, &TfmWelcome::btStartClick);
    connect(btHelp, &QPushButton::clicked, this, &TfmWelcome::btHelpClick);
    liveLayout->addWidget(btStart);
    liveLayout->addWidget(btHelp);
    layout->addWidget(gbLive);

    // "Программы": the file manager and the tools menu.
    auto* gbPrograms = makeGroup(this, "gbPrograms", "Программы");
    auto* programsLayout = new QVBoxLayout(gbPrograms);
    programsLayout->setContentsMargins(6, 2, 6, 6);
    auto* Button3 = makeButton(gbPrograms, "Button3", "TotalCMD 2k10 ");
    auto* Button1 = makeButton(gbPrograms, "Button1", "Меню утилит");
    connect(Button3, &QPushButton::clicked, this,
            [this] { launcher_.run(engine::platform::kFileManagerCommand, ShowMode::Normal); });
    connect(Button1, &QPushButton::clicked, this, &TfmWelcome::Button1Click);
    programsLayout->addWidget(Button3);
    programsLayout->addWidget(Button1);
    layout->addWidget(gbPrograms);

    layout->addStretch(1);

    // "ЗАКРЫТЬ" and "ПОДДЕРЖАТЬ" side by side, in that order, as tall as the
    // start button.
    auto* endRow = new QHBoxLayout;
    endRow->setContentsMargins(0, 8, 0, 0);
    endRow->setSpacing(4);
    auto* btClose = makeButton(this, "btClose", "ЗАКРЫТЬ");
    auto* btDonate = makeButton(this, "btDonate", "ПОДДЕРЖАТЬ");
    for (QPushButton* button : {btClose, btDonate}) {
        button->setMinimumHeight(60);
        endRow->addWidget(button);
    }
    connect(btClose, &QPushButton::clicked, this, &TfmWelcome::btCloseClick);
    connect(btDonate, &QPushButton::clicked, this, &TfmWelcome::btDonateClick);
    layout->addLayout(endRow);

    // The tools menu, in its order.
    pmMenu_ = new QMenu(this);
    pmMenu_->setObjectName(QStringLiteral("pmMenu"));
    const struct {
        const char* name;
        const char* caption;
        const char* command;
    } items[] = {
        {"N31", "TotalCMD 2k10 ", engine::platform::kFileManagerCommand},
        {"N21", "Командная строка", engine::platform::kCommandPromptCommand},
        {"N11", "Редактор реестра", engine::platform::kRegistryEditorCommand},
        {"N1", "Диспечер задач", engine::platform::kTaskManagerCommand},
    };
    for (const auto& item : items) {
        QAction* action = pmMenu_->addAction(QString::fromUtf8(item.caption));
        action->setObjectName(QString::fromUtf8(item.name));
        const std::string command = item.command;
        connect(action, &QAction::triggered, this,
                [this, command] { launcher_.run(command, ShowMode::Normal); });
    }

    // Creation: the shared lists, the first scan (its display lines go into
    // ProfileHives, which profile discovery clears before it fills it), the
    // display modes, and the live medium's recovery module.
    context_.SystemHives.clear();
    context_.AutoProfileHives.clear();
    context_.ProfileHives.clear();
    context_.SystemFolders.clear();
    context_.AutoProfileNames.clear();
    engine::discovery::FindSystems(context_, context_.ProfileHives);

    cbScreen_->clear();
    modes_ = engine::platform::enumerateDisplayModes(display_);
    for (const auto& mode : modes_) {
        cbScreen_->addItem(QString::fromStdString(engine::platform::displayModeCaption(mode)));
    }
    cbScreen_->setCurrentIndex(-1);

    launcher_.run(engine::platform::kRecoveryModuleCommand, ShowMode::Normal);

    // A mode change reaches the screen's geometry later, as the window system
    // reports it: dock again then too.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        connect(screen, &QScreen::availableGeometryChanged, this, &TfmWelcome::dock);
    }
    dock();
}

bool TfmWelcome::dockedAtBottom() const {
    return rbBottom_->isChecked();
}

void TfmWelcome::dock() {
    QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->availableGeometry();
    const int top = dockedAtBottom() ? area.bottom() + 1 - kHeight : area.top();
    setGeometry(area.left(), top, area.width(), kHeight);
}

void TfmWelcome::Button2Click() {
    const int index = cbScreen_->currentIndex();
    if (index < 0 || index >= static_cast<int>(modes_.size())) {
        return;
    }
    // A mode the display refuses leaves the screen as it was; docked again
    // either way.
    display_.change(modes_[static_cast<std::size_t>(index)]);
    dock();
}

void TfmWelcome::Button1Click() {
    pmMenu_->popup(QCursor::pos());
}

void TfmWelcome::btStartClick() {
    hooks_.showModal(choose_);
}

void TfmWelcome::btHelpClick() {
    hooks_.showModal(help_);
}

void TfmWelcome::btDonateClick() {
    hooks_.showModal(donate_);
}

void TfmWelcome::btCloseClick() {
    close();
}
