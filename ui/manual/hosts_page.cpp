#include "manual/hosts_page.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>

#include "manual/console_widgets.h"
#include "shell/window_fonts.h"

namespace rules = engine::rules;

namespace {

constexpr int kFontPixels = 11; // Tahoma 8 pt at 96 dots per inch

// The editor's text line by line as the technician left it. Each block's own
// text is taken, not toPlainText(): that turns a no-break space into a plain
// one, and a line that only looked unedited would then be saved changed.
std::string editorText(const QPlainTextEdit& editor) {
    QStringList lines;
    for (QTextBlock block = editor.document()->begin(); block.isValid(); block = block.next()) {
        lines << block.text();
    }
    return fromQt(lines.join(QLatin1Char('\n')));
}

} // namespace

HostsPage::HostsPage(engine::Context& context, Log log, ShellHooks hooks, QWidget* parent)
    : QWidget(parent)
    , context_(context)
    , log_(std::move(log))
    , hooks_(std::move(hooks)) {
    setObjectName(QStringLiteral("HostsPage"));
    resize(683, 404);
    pcHosts_ = new QTabWidget(this);
    pcHosts_->setObjectName(QStringLiteral("pcHosts"));
    pcHosts_->setGeometry(0, 0, 683, 404);

    auto* listPage = new QWidget(pcHosts_);
    listPage->setObjectName(QStringLiteral("tsListHosts"));
    pcHosts_->addTab(listPage, QStringLiteral("Список Заблокированых сайтов и Proxy server"));
    tsEditHosts_ = new QWidget(pcHosts_);
    tsEditHosts_->setObjectName(QStringLiteral("tsEditHosts"));
    pcHosts_->addTab(tsEditHosts_, QStringLiteral("Редактор HOSTS файла"));

    buildListPage(listPage);
    buildProxyGroup(listPage);
    buildEditorPage(tsEditHosts_);
    pcHosts_->setCurrentWidget(listPage);
}

void HostsPage::buildListPage(QWidget* page) {
    auto* gbHosts =
        makeGroup(page, "gbHosts", "Список перенаправления сайтов", QRect(3, 3, 335, 271));
    lbHosts_ = new QListWidget(gbHosts);
    lbHosts_->setObjectName(QStringLiteral("lbHosts"));
    lbHosts_->setAccessibleName(QStringLiteral("Список перенаправления сайтов"));
    lbHosts_->setFont(tahomaFont(kFontPixels, true));
    lbHosts_->setGeometry(8, 18, 319, 215);
    auto* btEdit = makeButton(gbHosts, "btEdit", "Редактировать->", QRect(176, 238, 151, 25));
    connect(btEdit, &QPushButton::clicked, this,
            [this] { pcHosts_->setCurrentWidget(tsEditHosts_); });
}

void HostsPage::buildEditorPage(QWidget* page) {
    meHosts_ = new QPlainTextEdit(page);
    meHosts_->setObjectName(QStringLiteral("meHosts"));
    meHosts_->setAccessibleName(QStringLiteral("Редактор HOSTS файла"));
    meHosts_->setFont(tahomaFont(kFontPixels, true));
    meHosts_->setLineWrapMode(QPlainTextEdit::NoWrap);
    meHosts_->setGeometry(3, 3, 671, 340);
    auto* btHostsClear = makeButton(page, "btHostsClear", "Очистить", QRect(368, 349, 150, 25));
    btHostsClear->setAccessibleName(QStringLiteral("Очистить файл hosts"));
    connect(btHostsClear, &QPushButton::clicked, this, [this] {
        rules::ClearHostsEditor(hosts_);
        meHosts_->setPlainText(toQt(rules::JoinTextLines(hosts_.Editor)));
    });
    auto* btHostsSave = makeButton(page, "btHostsSave", "Сохранить", QRect(524, 349, 150, 25));
    btHostsSave->setAccessibleName(QStringLiteral("Сохранить файл hosts"));
    connect(btHostsSave, &QPushButton::clicked, this, &HostsPage::saveHosts);
}

void HostsPage::buildProxyGroup(QWidget* page) {
    gbProxy_ = makeGroup(page, "gbProxy", "Настройки Proxy сервера", QRect(3, 280, 671, 95));
    cbProxy_ = new QCheckBox(QStringLiteral("Включение прокси сервера"), gbProxy_);
    cbProxy_->setObjectName(QStringLiteral("cbProxy"));
    cbProxy_->setGeometry(8, 18, 250, 17);
    connect(cbProxy_, &QCheckBox::toggled, this, [this](bool on) { proxy_.Enabled = on; });
    makeLabel(gbProxy_, "Прокси сервер", QRect(8, 40, 250, 14));
    leServer_ = makeValueEdit(gbProxy_, "leServer", "Прокси сервер", QRect(8, 55, 250, 21));
    makeLabel(gbProxy_, "Локальные настройки", QRect(266, 40, 250, 14));
    leLocal_ = makeValueEdit(gbProxy_, "leLocal", "Локальные настройки", QRect(266, 55, 250, 21));
    for (QLineEdit* edit : {leServer_, leLocal_}) {
        setTextColour(edit, rules::TextColour::Red);
    }
    auto* btProxyDefault =
        makeButton(gbProxy_, "btProxyDefault", "Восстановить", QRect(526, 22, 137, 25));
    btProxyDefault->setAccessibleName(QStringLiteral("Восстановить настройки прокси"));
    connect(btProxyDefault, &QPushButton::clicked, this, [this] {
        rules::ProxyDefaults(proxy_);
        displayProxy();
    });
    auto* btProxySave = makeButton(gbProxy_, "btProxySave", "Сохранить", QRect(526, 53, 137, 25));
    btProxySave->setAccessibleName(QStringLiteral("Сохранить настройки прокси"));
    connect(btProxySave, &QPushButton::clicked, this,
            [this] { log_(rules::SaveProxySettings(context_, proxy_)); });
    gbProxy_->hide();
}

void HostsPage::load() {
    rules::LoadHostsFile(context_, hosts_);
    displayHosts();
}

void HostsPage::loadProxy() {
    proxy_ = rules::LoadProxySettings(context_);
    displayProxy();
    gbProxy_->show();
}

void HostsPage::hideProxy() {
    gbProxy_->hide();
}

void HostsPage::displayHosts() {
    meHosts_->setPlainText(toQt(rules::JoinTextLines(hosts_.Editor)));
    lbHosts_->clear();
    for (const std::string& line : hosts_.Redirections) {
        lbHosts_->addItem(toQt(line));
    }
}

void HostsPage::displayProxy() {
    cbProxy_->setChecked(proxy_.Enabled);
    leServer_->setText(toQt(proxy_.Server));
    leLocal_->setText(toQt(proxy_.Override));
    leServer_->setCursorPosition(0);
    leLocal_->setCursorPosition(0);
}

void HostsPage::saveHosts() {
    hosts_.Editor = rules::SplitTextLines(editorText(*meHosts_));
    const auto saved = rules::SaveHostsFile(context_, hosts_);
    if (saved) {
        displayHosts();
    } else if (saved.error() == rules::kHostsSaveRefused) {
        // Not a failure of the disk: the loaded system has no hosts file to
        // replace. The status line says so; the editor keeps the text.
        log_(saved.error());
    } else {
        // The old file is as it was; the editor keeps the technician's text.
        hooks_.showError(this, toQt(saved.error()));
    }
}
