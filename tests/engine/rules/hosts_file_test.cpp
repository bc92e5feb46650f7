// The hosts file page: the redirection list, loading as code page 1251,
// saving that keeps unedited bytes and never loses the file, and never
// reaching another installation's file.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "context/context.h"
#include "rules/file_attributes.h"
#include "rules/hosts_file.h"
#include "support/faulty_file_io.h"
#include "support/ntfs_volume.h"
#include "support/target_tree.h"
#include "support/test_files.h"

namespace engine::rules {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

TEST(ParseHostsLines, TrimsCutsCommentsAndShowsTheArrow) {
    struct Case {
        const char* what;
        Strings lines;
        Strings shown;
    };
    const Case cases[] = {
        {"only comments and blank lines", {"# hosts", "", "   ", "\t# x", "\x01\x1f"}, {}},
        {"comment after the names", {"127.0.0.1 a.com b.com # test"}, {"127.0.0.1 -> a.com b.com"}},
        {"no space at all", {"0.0.0.0"}, {" -> 0.0.0.0"}},
        {"two spaces", {"127.0.0.1  localhost"}, {"127.0.0.1 -> localhost"}},
        {"tab-separated stays one piece",
         {"  127.0.0.1\tlocalhost  "},
         {" -> 127.0.0.1\tlocalhost"}},
        {"not trimmed again after the cut", {"a #x"}, {"a -> "}},
        {"control characters at the ends",
         {"\r\x7f"
          "1.2.3.4 b\x01"},
         {"\x7f"
          "1.2.3.4 -> b"}},
        {"file order kept", {"1.1.1.1 a", "#", "2.2.2.2 b"}, {"1.1.1.1 -> a", "2.2.2.2 -> b"}},
        {"Cyrillic names", {"127.0.0.1 сайт.рф"}, {"127.0.0.1 -> сайт.рф"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseHostsLines(c.lines), c.shown) << c.what;
    }
}

TEST(SplitTextLines, BreaksAtEveryLineEndAndJoinGivesThemBack) {
    EXPECT_EQ(SplitTextLines("a\r\nb\nc\rd"), (Strings{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitTextLines("a\r\n"), (Strings{"a"}));
    EXPECT_EQ(SplitTextLines("a\r\n\r\n"), (Strings{"a", ""}));
    EXPECT_EQ(SplitTextLines(""), Strings{});
    for (const Strings& lines : {Strings{"a", ""}, Strings{"", "b"}, Strings{"x"}}) {
        EXPECT_EQ(SplitTextLines(JoinTextLines(lines)), lines);
    }
}

std::string bytesOf(const fs::path& file) {
    const auto raw = test::readFile(file);
    return {raw.begin(), raw.end()};
}

std::vector<fs::path> entriesOf(const fs::path& folder) {
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(folder)) {
        entries.push_back(entry.path());
    }
    return entries;
}

void writeBytes(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

constexpr const char* kXpHosts = "c:\\WINDOWS\\system32\\drivers\\etc\\hosts";

// An XP installation on c: whose SystemRoot says C:\WINDOWS, "mounted" as the
// console leaves the context after loading it.
class HostsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree_.addInstallation('c', "WINDOWS", test::WindowsKind::Xp32);
        hosts_ = tree_.drive('c') / "WINDOWS" / "system32" / "drivers" / "etc" / "hosts";
        context_ = tree_.context();
        select('c', "WINDOWS");
    }
    void select(char letter, const std::string& folder) {
        context_.CurrentSystemHive =
            std::string(1, letter) + ":\\" + folder + "\\system32\\config\\software";
        context_.LoadedSystemRoot = "C:\\" + folder;
    }

    test::TargetTree tree_;
    fs::path hosts_;
    Context context_;
    HostsPage page_;
};

TEST_F(HostsFileTest, PathTakesTheHiveDriveAndTheSystemRootWithoutItsDrive) {
    context_.CurrentSystemHive = "d:\\WINDOWS\\system32\\config\\software";
    context_.LoadedSystemRoot = "C:\\WINDOWS";
    EXPECT_EQ(hostsFilePathFor(context_), "d:\\WINDOWS\\system32\\drivers\\etc\\hosts");
}

TEST_F(HostsFileTest, ShowsCp1251AndWritesUneditedLinesWithTheirOwnBytes) {
    // A Cyrillic comment in code page 1251, a line with bytes no text editor
    // would keep (0x98 is unassigned, 0x00 a NUL), LF and CR LF line ends.
    const std::string comment = "# \xe1\xeb\xee\xea\xe8\xf0\xee\xe2\xea\xe0"; // "# блокировка"
    const std::string odd = std::string("10.0.0.1 odd\x98") + '\0' + "x";
    writeBytes(hosts_, comment + "\n127.0.0.1 vk.com # x\r\n" + odd + "\r\n");

    LoadHostsFile(context_, page_);
    EXPECT_EQ(page_.HostsFilePath, kXpHosts);
    ASSERT_EQ(page_.Editor.size(), 3u);
    EXPECT_EQ(page_.Editor[0], "# блокировка");
    const std::string oddShown = std::string("10.0.0.1 -> odd\u0098") + '\0' + "x";
    EXPECT_EQ(page_.Redirections, (Strings{"127.0.0.1 -> vk.com", oddShown}));

    page_.Editor[1] = "127.0.0.1 сайт.рф";
    page_.Editor.push_back("# новая");
    ASSERT_TRUE(SaveHostsFile(context_, page_));
    EXPECT_EQ(bytesOf(hosts_), comment + "\r\n127.0.0.1 \xf1\xe0\xe9\xf2.\xf0\xf4\r\n" + odd +
                                   "\r\n# \xed\xee\xe2\xe0\xff\r\n");
    EXPECT_EQ(page_.Redirections, (Strings{"127.0.0.1 -> сайт.рф", oddShown}));
    EXPECT_EQ(entriesOf(hosts_.parent_path()), std::vector<fs::path>{hosts_});
}

TEST_F(HostsFileTest, ClearThenSaveLeavesLocalhostAlone) {
    writeBytes(hosts_, "127.0.0.1 update.microsoft.com\r\n");
    LoadHostsFile(context_, page_);
    ClearHostsEditor(page_);
    EXPECT_EQ(bytesOf(hosts_), "127.0.0.1 update.microsoft.com\r\n") << "nothing written yet";
    ASSERT_TRUE(SaveHostsFile(context_, page_));
    EXPECT_EQ(bytesOf(hosts_), "127.0.0.1  localhost\r\n");
    EXPECT_EQ(page_.Editor, Strings{"127.0.0.1  localhost"});
    EXPECT_EQ(page_.Redirections, Strings{"127.0.0.1 -> localhost"});
}

TEST_F(HostsFileTest, SaveThatFailsMidwayKeepsTheOldFile) {
    const std::string old = "127.0.0.1 kaspersky.com\r\n";
    writeBytes(hosts_, old);
    fs::permissions(hosts_, fs::perms(0640));
    LoadHostsFile(context_, page_);
    const Strings shownBefore = page_.Redirections;
    ClearHostsEditor(page_);

    hive::PosixFileIo real;
    for (const auto fault :
         {test::FaultyFileIo::Fault::WriteError, test::FaultyFileIo::Fault::ShortWrite,
          test::FaultyFileIo::Fault::SyncError}) {
        test::FaultyFileIo faulty(real, fault, 1);
        const auto saved = SaveHostsFile(context_, page_, faulty);
        ASSERT_FALSE(saved);
        EXPECT_TRUE(faulty.fired());
        EXPECT_TRUE(saved.error().starts_with(
            "Cannot create file \"c:\\WINDOWS\\system32\\drivers\\etc\\hosts\". "))
            << saved.error();
        EXPECT_EQ(bytesOf(hosts_), old);
        EXPECT_EQ(page_.Editor, Strings{"127.0.0.1  localhost"}) << "editor not reloaded";
        EXPECT_EQ(page_.Redirections, shownBefore) << "list not reloaded";
        EXPECT_EQ(entriesOf(hosts_.parent_path()), std::vector<fs::path>{hosts_})
            << "no temporary file left";
    }

    ASSERT_TRUE(SaveHostsFile(context_, page_));
    EXPECT_EQ(fs::status(hosts_).permissions(), fs::perms(0640)) << "permissions kept";
}

TEST_F(HostsFileTest, NoHostsFileNeverLetsASaveReachAnotherInstallation) {
    tree_.addInstallation('d', "WINDOWS", test::WindowsKind::Xp32);
    context_ = tree_.context();
    const std::string old = "127.0.0.1 a.com\r\n";
    writeBytes(hosts_, old);
    select('c', "WINDOWS");
    LoadHostsFile(context_, page_);
    ASSERT_EQ(page_.HostsFilePath, kXpHosts);

    select('d', "WINDOWS"); // d: has no hosts file
    LoadHostsFile(context_, page_);
    EXPECT_EQ(page_.Editor, Strings{"Файл не найден!!!"});
    EXPECT_EQ(page_.Redirections, Strings{"Файл не найден!!!"});
    ClearHostsEditor(page_);
    const auto saved = SaveHostsFile(context_, page_);
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error(), kHostsSaveRefused);
    EXPECT_EQ(bytesOf(hosts_), old);
    EXPECT_FALSE(fs::exists(tree_.drive('d') / "WINDOWS" / "system32" / "drivers"));

    // A page loaded for c: and saved after d: was mounted instead.
    select('c', "WINDOWS");
    LoadHostsFile(context_, page_);
    select('d', "WINDOWS");
    EXPECT_EQ(SaveHostsFile(context_, page_).error(), kHostsSaveRefused);
    EXPECT_EQ(bytesOf(hosts_), old);
}

TEST_F(HostsFileTest, LoadingMakesAReadOnlyFileWritable) {
    writeBytes(hosts_, "x\r\n");
    fs::permissions(hosts_, fs::perms(0444));
    LoadHostsFile(context_, page_);
    EXPECT_NE(fs::status(hosts_).permissions() & fs::perms::owner_write, fs::perms::none);
}

TEST(HostsFileOnNtfs, LoadingClearsTheFourAttributesAndSaveKeepsTheAcl) {
    test::TempDir work;
    std::string whyNot;
    auto volume = test::NtfsVolume::create(work.path(), whyNot);
    if (!volume) {
        GTEST_SKIP() << whyNot;
    }
    test::TargetTree tree('c', volume->root());
    const fs::path hosts = volume->root() / "WINDOWS" / "system32" / "drivers" / "etc" / "hosts";
    writeBytes(hosts, "127.0.0.1 a.com\r\n");
    // Read-only, hidden, system, archive, and "not content indexed" (0x2000).
    ASSERT_TRUE(test::writeXattr(hosts, "system.ntfs_attrib_be", {0x00, 0x00, 0x20, 0x27}));
    const auto acl = test::readXattr(hosts, "system.ntfs_acl");

    Context context = tree.context();
    context.CurrentSystemHive = "c:\\WINDOWS\\system32\\config\\software";
    context.LoadedSystemRoot = "C:\\WINDOWS";
    HostsPage page;
    LoadHostsFile(context, page);
    ASSERT_EQ(page.HostsFilePath, kXpHosts);
    EXPECT_EQ(test::readXattr(hosts, "system.ntfs_attrib_be"),
              (std::vector<std::uint8_t>{0x00, 0x00, 0x20, 0x00}));

    page.Editor = {"127.0.0.1 b.com"};
    ASSERT_TRUE(SaveHostsFile(context, page));
    EXPECT_EQ(bytesOf(hosts), "127.0.0.1 b.com\r\n");
    EXPECT_EQ(test::readXattr(hosts, "system.ntfs_acl"), acl);
}

} // namespace
} // namespace engine::rules
