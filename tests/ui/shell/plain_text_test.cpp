// The labels, message boxes and input dialogs the windows show the target's
// texts in, as the program makes them: a text that looks like markup is
// shown as the text it is, no image it names is loaded, and each box still
// answers as the operator chose.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "manual/hijack_prompts.h"
#include "regedit/editor_hooks.h"
#include "shell/plain_text.h"
#include "shell/shell_hooks.h"
#include "support/fifo_reader_watch.h"
#include "support/test_files.h"
#include "ui/plain_text_checks.h"

namespace {

// Runs `open`, which shows a modal dialog and waits for it; once the dialog
// is up, `act` looks at it and closes it (a dialog it leaves open, say after
// a failed check, is cancelled). Returns what `open` returns.
template <typename Open>
auto whileModal(Open open, const std::function<void(QDialog&)>& act) {
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            return;
        }
        poll.stop();
        act(*dialog);
        if (dialog->isVisible()) {
            dialog->reject();
        }
    });
    poll.start(0);
    return open();
}

class PlainText : public ::testing::Test {
protected:
    // The modal window shows `shown` in a label, as it is, and no label of
    // the program takes its text for markup.
    void expectShown(QWidget& window, const QString& shown) {
        bool found = false;
        for (const QLabel* label : window.findChildren<QLabel*>()) {
            found = found || label->text() == shown;
        }
        EXPECT_TRUE(found) << shown.toStdString();
        test::expectEveryLabelPlain();
    }
    void TearDown() override { EXPECT_FALSE(pipe_.opened()) << "an image was loaded"; }

    test::TempDir temp_;
    test::FifoReaderWatch pipe_{temp_.path()};
    const QString hostile_ =
        QString::fromStdString(test::boldClaim() + test::pipeImage(pipe_.path()));
    QWidget parent_;
};

TEST_F(PlainText, ALabelStaysPlainThroughEveryText) {
    std::unique_ptr<QLabel> label(makePlainLabel(nullptr, hostile_));
    label->show();
    EXPECT_EQ(label->text(), hostile_);
    label->setText(QString::fromStdString(test::pipeImage(pipe_.path())));
    test::expectEveryLabelPlain();
}

TEST_F(PlainText, TheProgramsBoxesShowTheTextAsItIsAndAnswerAsChosen) {
    auto press = [](QMessageBox::StandardButton button) {
        return [button](QDialog& dialog) {
            auto* box = qobject_cast<QMessageBox*>(&dialog);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->textFormat(), Qt::PlainText);
            ASSERT_NE(box->button(button), nullptr);
            box->button(button)->click();
        };
    };
    auto escape = [](QDialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); };
    const auto check = [&](const std::function<void(QDialog&)>& close) {
        return [&, close](QDialog& dialog) {
            expectShown(dialog, hostile_);
            close(dialog);
        };
    };

    whileModal(
        [&] {
            ShellHooks{}.showError(&parent_, hostile_);
            return 0;
        },
        check(press(QMessageBox::Ok)));
    const EditorHooks editor;
    whileModal(
        [&] {
            editor.error(parent_, QStringLiteral("Ошибка"), hostile_);
            return 0;
        },
        check(press(QMessageBox::Ok)));
    EXPECT_TRUE(whileModal([&] { return editor.confirm(parent_, QStringLiteral("?"), hostile_); },
                           check(press(QMessageBox::Yes))));
    EXPECT_FALSE(whileModal([&] { return editor.confirm(parent_, QStringLiteral("?"), hostile_); },
                            check(escape)));

    // The image-hijack question: a locker's key name and debugger line.
    HijackPromptBoxes prompts(&parent_);
    EXPECT_TRUE(whileModal([&] { return prompts.confirm(hostile_.toStdString()); },
                           check(press(QMessageBox::Yes))));
    EXPECT_FALSE(
        whileModal([&] { return prompts.confirm(hostile_.toStdString()); }, check(escape)));
    whileModal(
        [&] {
            prompts.inform(hostile_.toStdString());
            return 0;
        },
        check(press(QMessageBox::Ok)));
}

TEST_F(PlainText, TheEditorsInputDialogsLabelTheNameAsItIs) {
    const EditorHooks editor;
    const QString label = QStringLiteral("Параметр: ") + hostile_;
    const auto typed = whileModal(
        [&] { return editor.askText(parent_, QStringLiteral("Новый"), label, hostile_, false); },
        [&](QDialog& dialog) {
            expectShown(dialog, label);
            auto* edit = dialog.findChild<QLineEdit*>();
            ASSERT_NE(edit, nullptr);
            EXPECT_EQ(edit->text(), hostile_);
            edit->setText(QStringLiteral("Имя"));
            dialog.accept();
        });
    EXPECT_EQ(typed, std::optional<QString>(QStringLiteral("Имя")));

    const auto cancelled = whileModal(
        [&] { return editor.askText(parent_, QStringLiteral("Изменение"), label, hostile_, true); },
        [&](QDialog& dialog) {
            expectShown(dialog, label);
            auto* edit = dialog.findChild<QPlainTextEdit*>();
            ASSERT_NE(edit, nullptr);
            EXPECT_EQ(edit->toPlainText(), hostile_);
        });
    EXPECT_EQ(cancelled, std::nullopt);
}

} // namespace
