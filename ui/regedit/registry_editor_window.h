#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <QMainWindow>
#include <QString>

#include "regedit/editor_hooks.h"

namespace engine {
struct Context;
}

class QAction;
class QLabel;
class QMenu;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;

// The registry editor over the mounted hives: the tree of keys ("Компьютер",
// HKEY_LOCAL_MACHINE with the mounts below it, the empty HKEY_CURRENT_USER),
// the selected key's values, and the changes of the "Правка" menu. Every
// decision and change is the engine's (registry/registry_editing.h); the
// window keeps nothing of a hive but key paths, so a hive may be unmounted
// while it is hidden.
class RegistryEditorWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit RegistryEditorWindow(engine::Context& context, QWidget* parent = nullptr,
                                  EditorHooks hooks = {});

    // Reads the tree afresh from the current mounts, shows the window
    // normally, raises and activates it, and selects the key (expanding the
    // tree down to it); a key that does not exist gives its deepest existing
    // ancestor.
    void openAt(const QString& keyPath);
    // Reads the tree and the values afresh, keeping the selected key (or its
    // deepest existing ancestor).
    void refresh();
    // Hides the window and drops its tree and values (what "taskkill /im
    // regedit.exe" does); the key it showed is kept for the next opening.
    void closeEditor();

    // The selected key's path ("HKEY_LOCAL_MACHINE\LoadedUserHive\..."; ""
    // for "Компьютер"), and the last one shown, also after closeEditor.
    QString currentKeyPath() const;
    QString lastKeyPath() const { return lastKeyPath_; }

    // The menu's commands. Rename and delete act on the selected value when
    // the value list was used last, else on the selected key.
    void createKeyClick();
    void createValueClick(std::uint32_t type);
    void modifyClick();
    void renameClick();
    void deleteClick();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    enum class Pane { Keys, Values };

    void buildMenus();
    void rebuildTree();
    QTreeWidgetItem* addKeyItem(QTreeWidgetItem* parent, const QString& name, const QString& path);
    void fillChildren(QTreeWidgetItem* item);
    void reloadChildren(QTreeWidgetItem* item);
    QTreeWidgetItem* selectPath(const QString& path);
    void keySelected();
    void fillValues();
    void updateActions();
    // The selected row's value name; nullopt when no row is selected.
    std::optional<QString> selectedValueName() const;
    bool selectedValuePresent() const;
    void selectValue(const QString& name);
    void showError(const std::string& message);
    void renameKeyTo(const QString& path, const QString& newName);
    void renameValueTo(const QString& name, const QString& newName);

    engine::Context& context_;
    EditorHooks hooks_;
    QTreeWidget* tvKeys_ = nullptr;
    QTableWidget* lvValues_ = nullptr;
    QLabel* lbPath_ = nullptr;
    QAction* acCreateKey_ = nullptr;
    QMenu* mnCreateValue_ = nullptr;
    QAction* acModify_ = nullptr;
    QAction* acRename_ = nullptr;
    QAction* acDelete_ = nullptr;
    QAction* acRefresh_ = nullptr;
    Pane pane_ = Pane::Keys;
    QString lastKeyPath_;
};
