#pragma once

#include <functional>
#include <string>

#include <QWidget>

#include "rules/hosts_file.h"
#include "rules/proxy_settings.h"
#include "shell/shell_hooks.h"

namespace engine {
struct Context;
}
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QTabWidget;

// The console's page "Блокировка сайтов" (tsHosts): the loaded
// installation's hosts file as a list of redirections and as raw text in an
// editor (inner tabs pcHosts), and the mounted user's proxy settings
// (gbProxy, hidden until a user is loaded).
class HostsPage : public QWidget {
    Q_OBJECT
public:
    using Log = std::function<void(const std::string&)>;
    HostsPage(engine::Context& context, Log log, ShellHooks hooks, QWidget* parent);

    // Part of the system loading: the hosts file into the list and the
    // editor, its attributes cleared so that a save can replace it.
    void load();
    // Part of the user loading: the proxy settings, and gbProxy shown.
    void loadProxy();
    // The user was unmounted.
    void hideProxy();
    QGroupBox* proxyGroup() const { return gbProxy_; }

private:
    void buildListPage(QWidget* page);
    void buildEditorPage(QWidget* page);
    void buildProxyGroup(QWidget* page);
    void displayHosts();
    void displayProxy();
    void saveHosts();

    engine::Context& context_;
    Log log_;
    ShellHooks hooks_;
    engine::rules::HostsPage hosts_;
    engine::rules::ProxySettings proxy_;

    QTabWidget* pcHosts_ = nullptr;
    QWidget* tsEditHosts_ = nullptr;
    QListWidget* lbHosts_ = nullptr;
    QPlainTextEdit* meHosts_ = nullptr;
    QGroupBox* gbProxy_ = nullptr;
    QCheckBox* cbProxy_ = nullptr;
    QLineEdit* leServer_ = nullptr;
    QLineEdit* leLocal_ = nullptr;
};
