// A locked system whose strings are written to look like markup: a green
// bold claim and an image whose file is a named pipe, in its product name, a
// profile name, a key name, a TEMP value and a hosts line. The console loads
// it and its user, asks the image-hijack question and opens the registry
// editor at the locker's key; every label and box shows the strings as the
// text they are, and nothing opens the pipe (which would hold the console).
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include "context/context.h"
#include "manual/manual_window.h"
#include "regedit/registry_editor_window.h"
#include "registry/hive_mounting.h"
#include "rules/system_files.h"
#include "support/fifo_reader_watch.h"
#include "support/recording_launcher.h"
#include "support/target_tree.h"
#include "support/test_files.h"
#include "ui/plain_text_checks.h"

namespace {

namespace fs = std::filesystem;
using test::sz;
using test::WindowsKind;

const std::string kIfeo = "Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options";

struct NoRestore final : engine::rules::RestoreQuestion {
    engine::rules::RestoreAnswer ask(const std::array<engine::rules::SystemFileRow, 4>&) override {
        return {};
    }
};

// What a message box showed: its text and whether it took it for markup.
struct SeenBox {
    std::string text;
    Qt::TextFormat format;
};

class HostileTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree_.addInstallation('c', "WINDOWS", WindowsKind::Xp32,
                              {sz("Microsoft\\Windows NT\\CurrentVersion", "ProductName", hostile_),
                               sz(kIfeo + "\\" + hostile_, "Debugger", image_)});
        // A folder name holds no slash: the claim without its closing tags.
        const fs::path user = tree_.addProfile('c', WindowsKind::Xp32, kProfile);
        test::plantValues(user, {sz("Environment", "TEMP", hostile_)});
        const fs::path hosts = tree_.drive('c') / "WINDOWS/system32/drivers/etc/hosts";
        fs::create_directories(hosts.parent_path());
        std::ofstream(hosts, std::ios::binary) << "127.0.0.1 " << hostsName() << "\r\n";

        context_ = tree_.context();
        ShellHooks hooks;
        hooks.wait = [](std::chrono::milliseconds) {};
        hooks.showError = [this](QWidget*, const QString& text) {
            errors_.push_back(text.toStdString());
        };
        hooks.showBox = [this](QMessageBox& box) {
            boxes_.push_back({box.text().toStdString(), box.textFormat()});
            return QMessageBox::No;
        };
        window_ = std::make_unique<TfmManual>(context_, launcher_, question_, hooks);
        window_->show();
    }
    void TearDown() override {
        window_.reset();
        (void)engine::registry::UnloadHive(context_, engine::registry::kUserMount);
        (void)engine::registry::UnloadHive(context_, engine::registry::kSoftwareMount);
        EXPECT_FALSE(pipe_.opened()) << "an image the target names was loaded";
    }

    void click(const char* name) const {
        auto* button = window_->findChild<QPushButton*>(QString::fromUtf8(name));
        ASSERT_NE(button, nullptr) << name;
        button->click();
    }
    template <typename T>
    T& child(QWidget& parent, const char* name) const {
        auto* found = parent.findChild<T*>(QString::fromUtf8(name));
        if (found == nullptr) {
            throw std::runtime_error(std::string("no control ") + name);
        }
        return *found;
    }
    std::string status() const { return window_->statusText().toStdString(); }
    // The hosts file is in the system's code page: the claim in Latin letters.
    std::string hostsName() const { return "<b><font color=green>OK</font></b>" + image_; }

    static constexpr const char* kProfile = "<b><font color=green>ВСЁ В ПОРЯДКЕ";
    test::TempDir temp_;
    test::FifoReaderWatch pipe_{temp_.path()};
    const std::string image_ = test::pipeImage(pipe_.path());
    const std::string hostile_ = test::boldClaim() + image_;
    test::TargetTree tree_;
    engine::Context context_;
    test::RecordingLauncher launcher_;
    NoRestore question_;
    std::vector<std::string> errors_;
    std::vector<SeenBox> boxes_;
    std::unique_ptr<TfmManual> window_;
};

TEST_F(HostileTextTest, TheConsoleShowsTheTargetsMarkupAsTextAndLoadsNothing) {
    click("btLoad");
    EXPECT_EQ(status(), "Загруженo:   Операционная система: " + hostile_);
    click("btUserLoad");
    EXPECT_EQ(status(), std::string("Загружен реестр пользователя ") + kProfile);
    EXPECT_EQ(child<QLineEdit>(*window_, "leTemp").text().toStdString(), hostile_);
    const auto& hosts = child<QListWidget>(*window_, "lbHosts");
    ASSERT_EQ(hosts.count(), 1);
    EXPECT_EQ(hosts.item(0)->text().toStdString(), "127.0.0.1 -> " + hostsName());

    // The hijack question names the locker's key and its debugger line.
    click("Button3");
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_NE(boxes_[0].text.find(hostile_ + " ---> " + image_), std::string::npos)
        << boxes_[0].text;
    EXPECT_EQ(boxes_[0].format, Qt::PlainText);

    // The editor's path line names the key.
    const std::string key = "HKEY_LOCAL_MACHINE\\LoadedHiveSoftware\\" + kIfeo + "\\" + hostile_;
    window_->OpenRegeditAtKey(QString::fromStdString(key));
    RegistryEditorWindow& editor = window_->registryEditor();
    EXPECT_EQ(editor.currentKeyPath().toStdString(), key);
    EXPECT_EQ(child<QLabel>(editor, "lbPath").text().toStdString(), "Компьютер\\" + key);

    // Drawn whole: whatever shows a string of the target lays it out now.
    (void)window_->grab();
    (void)editor.grab();
    test::expectEveryLabelPlain();
    EXPECT_TRUE(errors_.empty());
    editor.closeEditor();
}

} // namespace
