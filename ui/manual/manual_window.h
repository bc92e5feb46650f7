#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QDialog>

#include "registry/hive_backup.h"
#include "shell/shell_hooks.h"

namespace engine {
struct Context;
}
namespace engine::platform {
class Launcher;
}
namespace engine::rules {
class RestoreQuestion;
}
class QComboBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QWidget;
class AutorunPage;
class FilesBox;
class HijackPromptBoxes;
class HostsPage;
class RegistryEditorWindow;
class TempBox;
class ToolPoliciesBox;
class UserValuesBox;
class WinlogonBox;

// The manual console: one found installation's SOFTWARE hive and one of its
// users' NTUSER.DAT mounted by hand, every watched value shown (red when
// suspect) and changed group by group. It has three states, told by what is
// mounted: nothing, the system, the system and a user; the buttons lead one
// step up or down, the exit panel unmounts one hive per click (the user's
// first) and closes the window only when nothing is mounted.
//
// The system list is filled each time the window is opened, not each time it
// gets the focus back: with a system mounted, a re-run would select the first
// line again, and the boot-sector button and the system-file check act on
// the selected line. The window can only be closed with nothing mounted, so
// an opening never meets a mounted hive.
class TfmManual : public QDialog {
    Q_OBJECT
public:
    TfmManual(engine::Context& context, engine::platform::Launcher& launcher,
              engine::rules::RestoreQuestion& restoreQuestion, ShellHooks hooks = {},
              QWidget* parent = nullptr);
    ~TfmManual() override;

    // The status line: each message replaces the previous one.
    void log(const std::string& message);
    QString statusText() const;

    // Brings the registry editor up with a key selected
    // ("HKEY_LOCAL_MACHINE\LoadedUserHive").
    void OpenRegeditAtKey(const QString& keyPath);
    RegistryEditorWindow& registryEditor() { return *editor_; }

    // Closing happens only through the exit panel: Escape does nothing.
    void reject() override;

public slots:
    void btLoadClick();
    void btUnloadClick();
    void btUserLoadClick();
    void btUserUnloadClick();
    void pnPanelClick();
    // A click on the background of the user group judges the Winlogon values
    // again.
    void gbChoiceUserClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildSystemPage(QWidget* page);
    void buildAutorunPage(QWidget* page);
    void buildToolsPage(QWidget* page);
    void buildHostsPage(QWidget* page);

    void activate();
    void loading();
    void loadUser();
    void showFiles(const std::vector<std::string>& files);
    void setInfo(const std::vector<std::string>& lines);
    void setExitCaption(std::string_view caption);
    void setTabShown(QWidget* page, bool shown);
    // Runs a mount or unmount step; the restore privilege's error ends it
    // with the system's text in a box.
    template <typename Step>
    bool guarded(Step&& step);

    void backup(engine::registry::BackupKind kind, const std::vector<std::string>& hives,
                int index);
    void restore(engine::registry::BackupKind kind, const std::vector<std::string>& hives,
                 int index);

    engine::Context& context_;
    engine::platform::Launcher& launcher_;
    engine::rules::RestoreQuestion& restoreQuestion_;
    ShellHooks hooks_;
    bool closing_ = false;
    // The system report's heading and three lines, as the information box
    // shows them while a system is mounted.
    std::vector<std::string> systemInfo_;

    QLabel* sbStatus_ = nullptr;
    QTabWidget* pcTabs_ = nullptr;
    QPushButton* pnPanel_ = nullptr;

    QWidget* ts1_ = nullptr;
    QWidget* tsAutorun_ = nullptr;
    QWidget* ts3_ = nullptr;
    QWidget* tsHosts_ = nullptr;

    QGroupBox* gbSystem_ = nullptr;
    QComboBox* cbChoice_ = nullptr;
    QPushButton* btLoad_ = nullptr;
    QPushButton* btUnload_ = nullptr;
    QPushButton* btSaveAll_ = nullptr;
    QPushButton* btRecovAll_ = nullptr;
    QPlainTextEdit* meInfo_ = nullptr;

    WinlogonBox* gbAll_ = nullptr;

    QGroupBox* gbChoiceUser_ = nullptr;
    QComboBox* cbChoiceUser_ = nullptr;
    QPushButton* btUserLoad_ = nullptr;
    QPushButton* btUserUnload_ = nullptr;
    QPushButton* btSaveUser_ = nullptr;
    QPushButton* btRecovUser_ = nullptr;

    UserValuesBox* gbUser_ = nullptr;
    ToolPoliciesBox* gbAdmin_ = nullptr;

    AutorunPage* autorunPage_ = nullptr;

    QGroupBox* gbTools_ = nullptr;
    TempBox* gbTemp_ = nullptr;
    FilesBox* gbFiles_ = nullptr;

    HostsPage* hostsPage_ = nullptr;
    std::unique_ptr<HijackPromptBoxes> hijackPrompts_;

    RegistryEditorWindow* editor_ = nullptr;
};
