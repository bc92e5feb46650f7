// The help and donation windows: their captions, sizes, texts in order, and
// the donation buttons that only close.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextEdit>

#include <gtest/gtest.h>

#include "ui/shell/shell_fixture.h"

namespace {

TEST(HelpWindow, ManualHasItsSectionsInOrderUnwrappedAndReadOnly) {
    TfmHelp help;
    help.show();
    EXPECT_EQ(help.size(), QSize(616, 535));
    auto* text = help.findChild<QPlainTextEdit*>(QStringLiteral("meHelp"));
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_EQ(text->lineWrapMode(), QPlainTextEdit::NoWrap);
    // The manual fills the window but for one line at the bottom: the
    // program and its version.
    auto* version = help.findChild<QLabel*>(QStringLiteral("lbVersion"));
    ASSERT_NE(version, nullptr);
    EXPECT_TRUE(version->isVisible());
    EXPECT_TRUE(version->text().startsWith(QStringLiteral("Morvalin 0.")));
    EXPECT_EQ(text->geometry().topLeft(), QPoint(0, 0));
    EXPECT_EQ(text->width(), help.width());
    EXPECT_EQ(text->geometry().bottom() + 1, version->geometry().top());
    EXPECT_LE(version->geometry().bottom(), help.rect().bottom());
    EXPECT_EQ(text->font().family(), QStringLiteral("Tahoma"));
    EXPECT_EQ(text->font().pixelSize(), 11);

    const QString manual = text->toPlainText();
    int at = 0;
    for (const char* heading :
         {"-=Morvalin LiveCD=-", "Теперь без ограничений!!!", "ЗАПУСК ПРОГРАММЫ",
          "РАБОТА ПРОГРАММЫ", "Автоматический режим.", "Ручной режим.", "Подключение к системе",
          "Автозагрузка", "Инструменты и файлы", "ВЫХОД И ПЕРЕЗАГРУЗКА", "КАК ИЗБЕЖАТЬ БЛОКИРОВОК",
          "Об авторе..."}) {
        const int found = manual.indexOf(QString::fromUtf8(heading), at);
        EXPECT_GE(found, at) << heading;
        at = std::max(at, found);
    }
    // Capital headings stand centred on lines of their own.
    for (const char* heading : {"ЗАПУСК ПРОГРАММЫ", "РАБОТА ПРОГРАММЫ", "ВЫХОД И ПЕРЕЗАГРУЗКА"}) {
        const QRegularExpression centred(QStringLiteral("\\n {20,}") + QString::fromUtf8(heading) +
                                         QStringLiteral("\\n"));
        EXPECT_TRUE(manual.contains(centred)) << heading;
    }
}

TEST(DonateWindow, TextAndButtonsThatOnlyClose) {
    for (const char* name : {"Button1", "Button2"}) {
        TfmDonate donate;
        donate.show();
        EXPECT_EQ(donate.size(), QSize(520, 263));
        const QString text = donate.text().toPlainText();
        for (const char* line :
             {"Доброго дня...", "Сумма может быть любая!!!", "Заранее спасибо!!!",
              "Поддержите проект, чем перечислять деньги мошенникам...", "заглушка"}) {
            EXPECT_TRUE(text.contains(QString::fromUtf8(line))) << line;
        }
        EXPECT_EQ(donate.button1().text(), QStringLiteral("Спасибо нет, это бесполезный проект"));
        EXPECT_EQ(donate.button2().text(), QStringLiteral("Спасибо, да я поддержу!"));
        EXPECT_LT(donate.button1().x(), donate.button2().x());
        donate.findChild<QPushButton*>(QString::fromUtf8(name))->click();
        EXPECT_FALSE(donate.isVisible()) << name;
        EXPECT_EQ(donate.result(), QDialog::Accepted);
    }
}

} // namespace
