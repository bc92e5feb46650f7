#pragma once

// A Windows 7 on drive c: with its SOFTWARE hive mounted as
// LoadedHiveSoftware and a user's real NTUSER.DAT as LoadedUserHive, and the
// registry editor window over them with scripted answers to its questions.
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include <QAction>
#include <QLabel>
#include <QString>
#include <QTableWidget>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "context/context.h"
#include "hive/hive.h"
#include "regedit/registry_editor_window.h"
#include "registry/hive_mounting.h"
#include "registry/registry_editing.h"
#include "support/target_tree.h"

namespace regedit_test {

inline const QString kSoftware = QStringLiteral("HKEY_LOCAL_MACHINE\\LoadedHiveSoftware");
inline const QString kUser = QStringLiteral("HKEY_LOCAL_MACHINE\\LoadedUserHive");
inline const std::string kRunKey = "Microsoft\\Windows\\CurrentVersion\\Run";
inline const QString kRun = kSoftware + QStringLiteral("\\") + QString::fromStdString(kRunKey);

struct Question {
    QString title;
    QString label;
    QString text;
    bool multiLine = false;
};

class RegeditTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree_.addInstallation('c', "Windows", test::WindowsKind::Win7x64,
                              {test::sz(kRunKey, "Sidebar", "sidebar.exe"),
                               test::dword(kRunKey, "Count", 7),
                               test::keyOnly(kRunKey + "\\Child")});
        tree_.addProfile('c', test::WindowsKind::Win7x64, "Ivan");
        context_ = tree_.context();
        mount(engine::registry::kSoftwareMount, "c:\\Windows\\System32\\config\\SOFTWARE");
        mount(engine::registry::kUserMount, "c:\\Users\\Ivan\\NTUSER.DAT");

        hooks_.confirm = [this](QWidget&, const QString& title, const QString&) {
            confirmations.push_back(title);
            return confirmAnswer;
        };
        hooks_.error = [this](QWidget&, const QString&, const QString& text) {
            errors.push_back(text);
        };
        hooks_.askText = [this](QWidget&, const QString& title, const QString& label,
                                const QString& text, bool multiLine) -> std::optional<QString> {
            questions.push_back({title, label, text, multiLine});
            // An empty queue, or a scripted nullopt, cancels. (Built anew
            // rather than copied: g++'s optimiser warns about copying an
            // optional QString out of the queue.)
            if (answers.empty()) {
                return std::nullopt;
            }
            const bool given = answers.front().has_value();
            const QString answer = given ? *answers.front() : QString();
            answers.pop_front();
            if (!given) {
                return std::nullopt;
            }
            return std::make_optional(answer);
        };
    }

    void mount(std::string_view name, const std::string& file) {
        ASSERT_TRUE(engine::registry::LoadHive(context_, name, file))
            << context_.registry.lastOutcome().detail;
    }

    RegistryEditorWindow& window() {
        if (!window_) {
            window_.emplace(context_, nullptr, hooks_);
        }
        return *window_;
    }

    QTreeWidget& keys() { return *window().findChild<QTreeWidget*>(QStringLiteral("tvKeys")); }
    QTableWidget& values() {
        return *window().findChild<QTableWidget*>(QStringLiteral("lvValues"));
    }
    QAction& action(const char* name) {
        auto* found = window().findChild<QAction*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return *found;
    }
    QString statusText() { return window().findChild<QLabel*>(QStringLiteral("lbPath"))->text(); }
    QString selectedKey() {
        const QTreeWidgetItem* item = keys().currentItem();
        return item == nullptr ? QString() : item->text(0);
    }
    // The tree's items below the selected key.
    QStringList shownSubkeys() {
        QStringList names;
        if (const QTreeWidgetItem* item = keys().currentItem()) {
            for (int i = 0; i < item->childCount(); ++i) {
                names << item->child(i)->text(0);
            }
        }
        return names;
    }

    // The value list as the operator reads it: name, type and data per row.
    std::vector<QStringList> rows() {
        std::vector<QStringList> result;
        QTableWidget& table = values();
        for (int row = 0; row < table.rowCount(); ++row) {
            result.push_back({table.item(row, 0)->text(), table.item(row, 1)->text(),
                              table.item(row, 2)->text()});
        }
        return result;
    }
    std::optional<QStringList> row(const QString& name) {
        for (const auto& r : rows()) {
            if (r[0] == name) {
                return r;
            }
        }
        return std::nullopt;
    }
    // Selects a value's row as a click on it does.
    void clickValue(const QString& name) {
        QTableWidget& table = values();
        for (int r = 0; r < table.rowCount(); ++r) {
            if (table.item(r, 0)->text() == name) {
                table.selectRow(r);
                emit table.cellClicked(r, 0);
                return;
            }
        }
        ADD_FAILURE() << "no value row " << name.toStdString();
    }

    // What the mounted hive holds, read through the engine.
    std::vector<std::string> hiveSubkeys(const QString& path) {
        auto names = engine::registry::listSubkeys(context_, path.toStdString());
        return names.value_or(std::vector<std::string>{});
    }
    std::optional<engine::registry::ValueData> hiveValue(const QString& path,
                                                         const std::string& name) {
        auto value = engine::registry::readValue(context_, path.toStdString(), name);
        if (!value) {
            return std::nullopt;
        }
        return *value;
    }

    test::TargetTree tree_;
    engine::Context context_;
    EditorHooks hooks_;
    std::optional<RegistryEditorWindow> window_;

    bool confirmAnswer = true;
    std::vector<QString> confirmations;
    std::vector<QString> errors;
    std::vector<Question> questions;
    std::deque<std::optional<QString>> answers;
};

} // namespace regedit_test
