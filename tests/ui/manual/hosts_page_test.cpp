// The page "Блокировка сайтов" standing alone over a fixture installation:
// what the list and the editor show, the file an edit and a save leave on
// the disk, the refusals and the error box, and the proxy group over a
// mounted user hive.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

#include "context/context.h"
#include "manual/hosts_page.h"
#include "registry/hive_mounting.h"
#include "support/hive_dump_diff.h"
#include "support/target_tree.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using test::dumpdiff::dwordLine;
using test::dumpdiff::HiveSnapshot;
using test::dumpdiff::szLine;

const std::string kInternet = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

std::string bytesOf(const fs::path& file) {
    const auto raw = test::readFile(file);
    return {raw.begin(), raw.end()};
}

// An XP on c: whose SystemRoot says C:\WINDOWS, as the console leaves the
// context after mounting it, and the page standing alone.
class HostsPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree_.addInstallation('c', "WINDOWS", test::WindowsKind::Xp32);
        hosts_ = tree_.drive('c') / "WINDOWS" / "system32" / "drivers" / "etc" / "hosts";
        context_ = tree_.context();
        context_.CurrentSystemHive = "c:\\WINDOWS\\system32\\config\\software";
        context_.LoadedSystemRoot = "C:\\WINDOWS";
        ShellHooks hooks;
        hooks.showError = [this](QWidget*, const QString& text) {
            errors_.push_back(text.toStdString());
        };
        page_ = std::make_unique<HostsPage>(
            context_, [this](const std::string& message) { status_.push_back(message); }, hooks,
            nullptr);
        page_->show();
    }
    void TearDown() override {
        (void)engine::registry::UnloadHive(context_, engine::registry::kUserMount);
    }

    void writeHosts(const std::string& bytes) {
        fs::create_directories(hosts_.parent_path());
        std::ofstream(hosts_, std::ios::binary) << bytes;
    }
    template <typename T = QWidget>
    T* find(const char* name) const {
        auto* widget = page_->findChild<T*>(QString::fromUtf8(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    void click(const char* name) const { find<QPushButton>(name)->click(); }
    Strings listed() const {
        Strings lines;
        auto* list = find<QListWidget>("lbHosts");
        for (int row = 0; row < list->count(); ++row) {
            lines.push_back(list->item(row)->text().toStdString());
        }
        return lines;
    }
    // The editor's lines as they stand (toPlainText() would show a no-break
    // space as a plain one).
    std::string editor() const {
        QStringList lines;
        const QTextDocument* text = find<QPlainTextEdit>("meHosts")->document();
        for (QTextBlock block = text->begin(); block.isValid(); block = block.next()) {
            lines << block.text();
        }
        return lines.join(QLatin1Char('\n')).toStdString();
    }
    bool shown(const char* name) const { return find(name)->isVisibleTo(page_.get()); }

    test::TargetTree tree_;
    fs::path hosts_;
    engine::Context context_;
    Strings status_;
    Strings errors_;
    std::unique_ptr<HostsPage> page_;
};

TEST_F(HostsPageTest, ShowsTheFileAndAnEditSavesItKeepingTheUneditedBytes) {
    // Code page 1251: a Cyrillic comment ("# блокировка") and a no-break
    // space (0xA0) in a line the technician does not touch.
    const std::string comment = "# \xe1\xeb\xee\xea\xe8\xf0\xee\xe2\xea\xe0";
    const std::string noBreak = "10.0.0.1\xa0x.ru";
    writeHosts(comment + "\r\n127.0.0.1 vk.com # x\r\n" + noBreak + "\n");
    page_->load();

    EXPECT_EQ(listed(), (Strings{"127.0.0.1 -> vk.com", " -> 10.0.0.1\xc2\xa0x.ru"}));
    EXPECT_EQ(editor(), "# блокировка\n127.0.0.1 vk.com # x\n10.0.0.1\xc2\xa0x.ru\n");
    auto* tabs = find<QTabWidget>("pcHosts");
    EXPECT_EQ(tabs->currentWidget()->objectName().toStdString(), "tsListHosts");
    click("btEdit");
    EXPECT_EQ(tabs->currentWidget(), find("tsEditHosts"));

    // The technician types a line at the end of the text.
    auto* meHosts = find<QPlainTextEdit>("meHosts");
    meHosts->moveCursor(QTextCursor::End);
    meHosts->insertPlainText(QStringLiteral("0.0.0.0 сайт.рф"));
    click("btHostsSave");

    EXPECT_EQ(bytesOf(hosts_), comment + "\r\n127.0.0.1 vk.com # x\r\n" + noBreak +
                                   "\r\n0.0.0.0 \xf1\xe0\xe9\xf2.\xf0\xf4\r\n");
    EXPECT_EQ(listed(),
              (Strings{"127.0.0.1 -> vk.com", " -> 10.0.0.1\xc2\xa0x.ru", "0.0.0.0 -> сайт.рф"}));
    EXPECT_TRUE(errors_.empty());
    EXPECT_TRUE(status_.empty()) << "a save shows no message";
}

TEST_F(HostsPageTest, ClearThenSaveLeavesLocalhostAlone) {
    writeHosts("127.0.0.1 locker.example\r\n");
    page_->load();
    click("btHostsClear");
    EXPECT_EQ(editor(), "127.0.0.1  localhost\n");
    EXPECT_EQ(bytesOf(hosts_), "127.0.0.1 locker.example\r\n") << "nothing written before a save";
    click("btHostsSave");
    EXPECT_EQ(bytesOf(hosts_), "127.0.0.1  localhost\r\n");
    EXPECT_EQ(listed(), Strings{"127.0.0.1 -> localhost"});
}

TEST_F(HostsPageTest, NoHostsFileShowsNotFoundAndASaveCreatesNothing) {
    page_->load();
    EXPECT_EQ(listed(), Strings{"Файл не найден!!!"});
    EXPECT_EQ(editor(), "Файл не найден!!!\n");
    click("btHostsClear");
    click("btHostsSave");
    EXPECT_FALSE(fs::exists(hosts_.parent_path()));
    EXPECT_EQ(status_, Strings{"Файл hosts не сохранен: у загруженной системы нет файла hosts..."});
    EXPECT_TRUE(errors_.empty());
    EXPECT_EQ(editor(), "127.0.0.1  localhost\n") << "the editor keeps the text";
}

TEST_F(HostsPageTest, AFileThatCannotBeReplacedShowsTheErrorBoxAndKeepsTheEdit) {
    writeHosts("127.0.0.1 a.com\r\n");
    page_->load();
    // Something else now stands where the file was: a folder with a file in
    // it, which no save may replace.
    fs::remove(hosts_);
    fs::create_directories(hosts_);
    std::ofstream(hosts_ / "inside") << "x";
    click("btHostsClear");
    click("btHostsSave");

    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_TRUE(errors_[0].starts_with(
        "Cannot create file \"c:\\WINDOWS\\system32\\drivers\\etc\\hosts\". "))
        << errors_[0];
    EXPECT_EQ(bytesOf(hosts_ / "inside"), "x");
    EXPECT_EQ(editor(), "127.0.0.1  localhost\n");
    EXPECT_EQ(listed(), Strings{"127.0.0.1 -> a.com"}) << "the list is not reloaded";
}

TEST_F(HostsPageTest, ProxyGroupShowsTheUsersSettingsAndSavesTheReset) {
    const fs::path hive = tree_.addProfile('c', test::WindowsKind::Xp32, "Admin");
    fs::remove(hive);
    test::makeHive(hive, {test::dword(kInternet, "ProxyEnable", 1),
                          test::sz(kInternet, "ProxyServer", "127.0.0.1:8080"),
                          test::sz(kInternet, "ProxyOverride", "<local>")});
    const HiveSnapshot before(hive);
    context_.CurrentUserHive = "c:\\Documents and Settings\\Admin\\NTUSER.DAT";
    ASSERT_TRUE(engine::registry::LoadHive(context_, engine::registry::kUserMount,
                                           context_.CurrentUserHive));

    EXPECT_FALSE(shown("gbProxy"));
    page_->loadProxy();
    EXPECT_TRUE(shown("gbProxy"));
    EXPECT_EQ(page_->proxyGroup(), find("gbProxy"));
    auto* cbProxy = find<QCheckBox>("cbProxy");
    auto* leServer = find<QLineEdit>("leServer");
    EXPECT_TRUE(cbProxy->isChecked());
    EXPECT_EQ(leServer->text().toStdString(), "127.0.0.1:8080");
    EXPECT_EQ(find<QLineEdit>("leLocal")->text().toStdString(), "<local>");
    EXPECT_EQ(leServer->palette().color(QPalette::Text), QColor(Qt::red));
    EXPECT_TRUE(leServer->isReadOnly());

    click("btProxyDefault");
    EXPECT_FALSE(cbProxy->isChecked());
    EXPECT_TRUE(leServer->text().isEmpty());
    EXPECT_TRUE(find<QLineEdit>("leLocal")->text().isEmpty());
    cbProxy->click(); // the technician switches the proxy back on
    click("btProxySave");
    EXPECT_EQ(status_, Strings{"Настройки прокси сервера сохранены..."});

    page_->hideProxy();
    EXPECT_FALSE(shown("gbProxy"));
    ASSERT_TRUE(engine::registry::UnloadHive(context_, engine::registry::kUserMount));
    before.expectChanged({{kInternet, "ProxyEnable", dwordLine("ProxyEnable", 1)},
                          {kInternet, "ProxyServer", szLine("ProxyServer", "")},
                          {kInternet, "ProxyOverride", szLine("ProxyOverride", "")}});
}

} // namespace
