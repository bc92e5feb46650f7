// The autorun lists over mounted fixture hives: what each of the ten lists
// shows and where it comes from, the system-file check's place in the
// filling, moving values of every type into AutorunsDisabled and back with
// their bytes intact, refusals that keep both copies, and what edValue shows.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "context/context.h"
#include "hive/hive.h"
#include "hive/names.h"
#include "registry/hive_mounting.h"
#include "registry/reg_engine.h"
#include "rules/autoruns.h"
#include "support/hive_dump_diff.h"
#include "support/independent_readers.h"
#include "support/target_tree.h"
#include "support/test_files.h"

namespace engine::rules {

// Entries as the failure messages show them.
void PrintTo(const AutorunEntry& entry, std::ostream* out) {
    *out << '"' << entry.Name << (entry.Checked ? "\" ticked" : "\" unticked");
}

namespace {

namespace fs = std::filesystem;
using test::dword;
using test::expandSz;
using test::PlantedValue;
using test::sz;
using test::WindowsKind;
using test::dumpdiff::HiveSnapshot;
using Bytes = std::vector<std::uint8_t>;
using Entries = std::vector<AutorunEntry>;

// Keys inside the SOFTWARE hive and inside the user hive.
const std::string kRun = "Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kRunOnce = "Microsoft\\Windows\\CurrentVersion\\RunOnce";
const std::string kRunOnceEx = "Microsoft\\Windows\\CurrentVersion\\RunOnceEx";
const std::string kExplorerRun = "Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
const std::string kShellFolders = "Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const std::string kUser = "Software\\";
const std::string kUserShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

const std::string kSoftwareMount = "LoadedHiveSoftware\\";
const std::string kUserMount = "LoadedUserHive\\";
constexpr const char* kSoftwareHive = "c:\\WINDOWS\\system32\\config\\software";
constexpr const char* kUserHive = "c:\\Documents and Settings\\Admin\\NTUSER.DAT";
const std::string kCommonStartup =
    "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Startup";
const std::string kUserStartup = "%USERPROFILE%\\Start Menu\\Programs\\Startup";

std::string disabled(const std::string& key) {
    return key + "\\AutorunsDisabled";
}

PlantedValue raw(std::string key, std::string name, std::uint32_t type, Bytes data) {
    return {std::move(key), std::move(name), type, std::move(data)};
}

// A value's type and bytes as the mounted hive holds them.
struct Stored {
    std::uint32_t type = 0;
    Bytes data;
    friend bool operator==(const Stored&, const Stored&) = default;
};

std::optional<Stored> stored(Context& context, const std::string& key, const std::string& name) {
    const auto resolved = context.registry.resolve(key);
    if (resolved.mount == nullptr) {
        return std::nullopt;
    }
    hive::Hive& h = resolved.mount->hive;
    const auto ref = h.findKey(resolved.inner);
    if (!ref || !*ref) {
        return std::nullopt;
    }
    const auto node = h.key(**ref);
    const auto value = h.findValue(*node, *hive::fromUtf8(name));
    if (!value || !*value) {
        return std::nullopt;
    }
    const auto v = h.value(**value);
    return Stored{v->type, *h.valueData(*v)};
}

std::string text(Context& context, const std::string& key, const std::string& name) {
    registry::TRegEngine record;
    record.KeyPath = key;
    record.ValueName = name;
    return registry::RegEngineReadString(context.registry, record);
}

bool keyExists(Context& context, const std::string& key) {
    registry::TRegEngine record;
    record.KeyPath = key;
    return registry::RegEngineKeyExists(context.registry, record);
}

std::vector<std::string> valueNames(Context& context, const std::string& key) {
    registry::TRegEngine record;
    record.KeyPath = key;
    std::vector<std::string> names;
    registry::RegEngineValueNames(context.registry, record, names);
    return names;
}

void writeFile(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

// An XP installation on c: with `system` planted in its SOFTWARE hive, and
// the user Admin whose NTUSER.DAT holds `user`; both mounted as the console
// mounts them, with the console's current hives set.
class AutorunsTest : public ::testing::Test {
protected:
    void make(const std::vector<PlantedValue>& system, const std::vector<PlantedValue>& user = {}) {
        software_ = tree_.addInstallation('c', "WINDOWS", WindowsKind::Xp32, system);
        user_ = tree_.addProfile('c', WindowsKind::Xp32, "Admin");
        fs::remove(user_);
        test::makeHive(user_, user.empty() ? std::vector{test::keyOnly("Software")} : user);
        context_ = tree_.context();
        context_.CurrentSystemHive = kSoftwareHive;
        context_.CurrentUserHive = kUserHive;
        context_.LoadedProductName = "Microsoft Windows XP";
        context_.LoadedSystemRoot = "C:\\WINDOWS";
    }
    void mount() {
        ASSERT_TRUE(registry::LoadHive(context_, registry::kSoftwareMount, kSoftwareHive))
            << context_.registry.lastOutcome().detail;
        ASSERT_TRUE(registry::LoadHive(context_, registry::kUserMount, kUserHive))
            << context_.registry.lastOutcome().detail;
    }
    void unmount() {
        ASSERT_TRUE(registry::UnloadHive(context_, registry::kUserMount));
        ASSERT_TRUE(registry::UnloadHive(context_, registry::kSoftwareMount));
    }
    fs::path host(const std::string& relative) { return tree_.drive('c') / relative; }

    test::TargetTree tree_;
    fs::path software_;
    fs::path user_;
    Context context_;
};

TEST(AutorunListTable, TabsKeysAndCaptions) {
    EXPECT_EQ(kAutorunTabs, (std::array<std::string_view, 5>{"Run", "RunOnce", "RunOnceEx",
                                                             "Explorer Run", "Файлы"}));
    EXPECT_EQ(kSystemAutorunsCaption, "Автозагрузка для всех");
    EXPECT_EQ(kUserAutorunsCaption, "Автозагрузка пользователя");
    EXPECT_EQ(autorunList(AutorunScope::System, 2), AutorunList::RunExAll);
    EXPECT_EQ(autorunList(AutorunScope::User, 3), AutorunList::ExplorerRunUser);
    EXPECT_EQ(autorunKey(AutorunList::RunExplorerAll),
              "LoadedHiveSoftware\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run");
    EXPECT_EQ(autorunKey(AutorunList::RunOnceExUser),
              "LoadedUserHive\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx");
    EXPECT_EQ(autorunKey(AutorunList::FilesAll), "");
    EXPECT_EQ(autorunKey(AutorunList::FilesUser), "");
}

TEST_F(AutorunsTest, EveryListShowsItsSourceActiveFirstThenDisabled) {
    make(
        {
            sz(kRun, "Zeta", "C:\\z.exe"),
            sz(kRun, "alpha", "C:\\a.exe"),
            dword(kRun, "Number", 1),
            sz(disabled(kRun), "Off", "C:\\off.exe"),
            sz(kRunOnce, "Once", "C:\\once.exe"),
            sz(kRunOnceEx, "Flags", "x"),
            sz(kRunOnceEx + "\\0001", "Sub", "C:\\sub.exe"), // subkeys are not listed
            sz(disabled(kExplorerRun), "PolicyOff", "C:\\p.exe"),
            sz("Wow6432Node\\" + kRun, "Wow", "C:\\wow.exe"), // the 32-bit view is not listed
            sz(kShellFolders, "Common Startup", kCommonStartup),
        },
        {
            sz(kUser + kRun, "UserRun", "C:\\u.exe"),
            sz(disabled(kUser + kRun), "UserOff", "C:\\uo.exe"),
            sz(kUser + kRunOnce, "UserOnce", "C:\\uo1.exe"),
            sz(kUser + kRunOnceEx, "UserEx", "C:\\ue.exe"),
            sz(kUser + kExplorerRun, "UserPolicy", "C:\\up.exe"),
            expandSz(kUserShellFolders, "Startup", kUserStartup),
        });
    const std::string common = "Documents and Settings/All Users/Start Menu/Programs/Startup/";
    writeFile(host(common + "b.lnk"), "b");
    writeFile(host(common + "A.exe"), "a");
    writeFile(host(common + "desktop.ini"), "skipped");
    writeFile(host(common + "AutorunsDisabled/c.bat"), "c");
    const std::string userFolder = "Documents and Settings/Admin/Start Menu/Programs/Startup/";
    writeFile(host(userFolder + "user.lnk"), "u");
    writeFile(host("ntldr"), "the drive's root is no startup folder");
    mount();

    int checks = 0;
    const AutorunGroup all = FillSystemAutoruns(context_, [&] { ++checks; });
    EXPECT_EQ(checks, 1);
    EXPECT_EQ(all.Scope, AutorunScope::System);
    EXPECT_EQ(all.StartupFolder,
              "c:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Startup");
    EXPECT_EQ(all.Lists[0],
              (Entries{{"Zeta", true}, {"alpha", true}, {"Number", true}, {"Off", false}}));
    EXPECT_EQ(all.Lists[1], (Entries{{"Once", true}}));
    EXPECT_EQ(all.Lists[2], (Entries{{"Flags", true}}));
    EXPECT_EQ(all.Lists[3], (Entries{{"PolicyOff", false}}));
    EXPECT_EQ(all.Lists[4], (Entries{{"A.exe", true}, {"b.lnk", true}, {"c.bat", false}}));

    const AutorunGroup user = FillUserAutoruns(context_);
    EXPECT_EQ(user.Scope, AutorunScope::User);
    EXPECT_EQ(user.StartupFolder,
              "c:\\Documents and Settings\\Admin\\Start Menu\\Programs\\Startup");
    EXPECT_EQ(user.Lists[0], (Entries{{"UserRun", true}, {"UserOff", false}}));
    EXPECT_EQ(user.Lists[1], (Entries{{"UserOnce", true}}));
    EXPECT_EQ(user.Lists[2], (Entries{{"UserEx", true}}));
    EXPECT_EQ(user.Lists[3], (Entries{{"UserPolicy", true}}));
    EXPECT_EQ(user.Lists[4], (Entries{{"user.lnk", true}}));
}

TEST_F(AutorunsTest, MissingKeysAndFoldersGiveEmptyLists) {
    make({});
    mount();
    const AutorunGroup all = FillSystemAutoruns(context_, {});
    const AutorunGroup user = FillUserAutoruns(context_);
    for (std::size_t tab = 0; tab < kAutorunTabCount; ++tab) {
        EXPECT_TRUE(all.Lists[tab].empty()) << tab;
        EXPECT_TRUE(user.Lists[tab].empty()) << tab;
    }
    EXPECT_EQ(all.StartupFolder, "");
    EXPECT_EQ(user.StartupFolder, "");
}

// The check runs on XP only, after "Run" has its active names and before
// anything else is read: what it plants in Run is not listed, what it plants
// in Run's AutorunsDisabled subkey and in RunOnce is.
TEST_F(AutorunsTest, SystemFileCheckRunsOnXpBetweenRunNamesAndTheRest) {
    struct Case {
        const char* product;
        bool runs;
    };
    for (const Case& c : {Case{"Microsoft Windows XP", true}, Case{"microsoft windows xp", false},
                          Case{"Windows 7 Ultimate", false}}) {
        SCOPED_TRACE(c.product);
        tree_ = test::TargetTree();
        make({sz(kRun, "Early", "C:\\e.exe")});
        context_.LoadedProductName = c.product;
        mount();
        int checks = 0;
        const auto plant = [&] {
            ++checks;
            registry::TRegEngine record;
            for (const std::string& key : {kRun, disabled(kRun), kRunOnce}) {
                record.KeyPath = kSoftwareMount + key;
                record.ValueName = "Late";
                registry::RegEngineWriteString(context_.registry, record, "C:\\late.exe");
            }
        };
        const AutorunGroup all = FillSystemAutoruns(context_, plant);
        EXPECT_EQ(checks, c.runs ? 1 : 0);
        if (c.runs) {
            EXPECT_EQ(all.Lists[0], (Entries{{"Early", true}, {"Late", false}}));
            EXPECT_EQ(all.Lists[1], (Entries{{"Late", true}}));
        } else {
            EXPECT_EQ(all.Lists[0], (Entries{{"Early", true}}));
        }
        unmount();
    }
}

// Values of every kind go into AutorunsDisabled and back with their type and
// bytes; the subkey appears with the first and goes with the last; the hive
// ends as it began, and the independent readers read it.
TEST_F(AutorunsTest, ValuesOfEveryTypeSurviveARoundTripByteForByte) {
    Bytes big(20000);
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<std::uint8_t>(i * 7);
    }
    const std::vector<PlantedValue> values = {
        sz(kRun, "Text", "C:\\Program Files\\app.exe /start"),
        expandSz(kRun, "Expand", "%SystemRoot%\\system32\\lock.exe"),
        raw(kRun, "Binary", hive::kRegBinary, {0x00, 0xFF, 0x10, 0x80, 0x7F}),
        dword(kRun, "Dword", 0xDEADBEEF),
        raw(kRun, "Multi", hive::kRegMultiSz, {'a', 0, 'b', 0, 0, 0, 0, 0}),
        raw(kRun, "Qword", hive::kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}),
        raw(kRun, "None", hive::kRegNone, {}),
        raw(kRun, "Unterminated", hive::kRegSz, {'A', 0, 'B', 0}),
        raw(kRun, "Big", hive::kRegBinary, big),
        raw(kRun, "Own type", 0x12345, {9, 8, 7}),
        raw(kRun, "", hive::kRegSz, {'D', 0, 0, 0}), // the default value
        sz(kRun, "Неактивный", "C:\\кириллица.exe"),
    };
    make(values);
    const HiveSnapshot before(software_);
    mount();
    const std::string run = kSoftwareMount + kRun;
    AutorunGroup all = FillSystemAutoruns(context_, {});
    ASSERT_EQ(all.Lists[0].size(), values.size());

    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(ToggleAutorun(context_, all, 0, i, false), std::nullopt) << values[i].name;
        EXPECT_FALSE(all.Lists[0][i].Checked);
    }
    EXPECT_TRUE(valueNames(context_, run).empty());
    for (const PlantedValue& v : values) {
        EXPECT_EQ(stored(context_, disabled(run), v.name), (Stored{v.type, v.data})) << v.name;
    }

    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(ToggleAutorun(context_, all, 0, i, true), std::nullopt) << values[i].name;
        EXPECT_TRUE(all.Lists[0][i].Checked);
        EXPECT_EQ(keyExists(context_, disabled(run)), i + 1 < values.size());
    }
    for (const PlantedValue& v : values) {
        EXPECT_EQ(stored(context_, run, v.name), (Stored{v.type, v.data})) << v.name;
    }
    unmount();
    before.expectChangedAndReadable({});
}

TEST_F(AutorunsTest, EachRegistryListMovesWithinItsOwnKey) {
    const std::vector<std::string> keys = {kRun, kRunOnce, kRunOnceEx, kExplorerRun};
    std::vector<PlantedValue> system;
    std::vector<PlantedValue> user;
    for (const std::string& key : keys) {
        system.push_back(sz(key, "V", "C:\\" + key));
        user.push_back(sz(kUser + key, "V", "C:\\user\\" + key));
    }
    make(system, user);
    mount();
    AutorunGroup all = FillSystemAutoruns(context_, {});
    AutorunGroup mine = FillUserAutoruns(context_);
    for (std::size_t tab = 0; tab < keys.size(); ++tab) {
        SCOPED_TRACE(keys[tab]);
        ASSERT_EQ(ToggleAutorun(context_, all, tab, 0, false), std::nullopt);
        ASSERT_EQ(ToggleAutorun(context_, mine, tab, 0, false), std::nullopt);
        const std::string systemKey = kSoftwareMount + keys[tab];
        const std::string userKey = kUserMount + kUser + keys[tab];
        EXPECT_EQ(valueNames(context_, disabled(systemKey)), std::vector<std::string>{"V"});
        EXPECT_EQ(valueNames(context_, disabled(userKey)), std::vector<std::string>{"V"});
        EXPECT_EQ(text(context_, disabled(userKey), "V"), "C:\\user\\" + keys[tab]);
    }
}

TEST_F(AutorunsTest, EnablingOneOfTwoDisabledValuesKeepsTheSubkeyAndTheOther) {
    make({sz(disabled(kRun), "One", "C:\\1.exe"), sz(disabled(kRun), "Two", "C:\\2.exe")});
    mount();
    AutorunGroup all = FillSystemAutoruns(context_, {});
    ASSERT_EQ(all.Lists[0], (Entries{{"One", false}, {"Two", false}}));
    EXPECT_EQ(ToggleAutorun(context_, all, 0, 0, true), std::nullopt);
    const std::string run = kSoftwareMount + kRun;
    EXPECT_EQ(valueNames(context_, run), std::vector<std::string>{"One"});
    EXPECT_EQ(valueNames(context_, disabled(run)), std::vector<std::string>{"Two"});
}

// A name already taken at the destination: a different value there is never
// overwritten (both stay, the item keeps its state and the operator is
// told); the same value there just loses its now redundant source copy.
TEST_F(AutorunsTest, TakenNamesAreNeverOverwritten) {
    make({sz(kRun, "Same", "C:\\same.exe"), sz(disabled(kRun), "Same", "C:\\same.exe"),
          sz(kRun, "Clash", "C:\\new.exe"), dword(disabled(kRun), "Clash", 7),
          sz(disabled(kRun), "Back", "C:\\off.exe"), sz(kRun, "Back", "C:\\on.exe")});
    mount();
    const std::string run = kSoftwareMount + kRun;
    AutorunGroup all = FillSystemAutoruns(context_, {});
    ASSERT_EQ(all.Lists[0], (Entries{{"Same", true},
                                     {"Clash", true},
                                     {"Back", true},
                                     {"Same", false},
                                     {"Clash", false},
                                     {"Back", false}}));

    EXPECT_EQ(ToggleAutorun(context_, all, 0, 1, false), std::string(kValueNameTaken));
    EXPECT_TRUE(all.Lists[0][1].Checked);
    EXPECT_EQ(text(context_, run, "Clash"), "C:\\new.exe");
    EXPECT_EQ(stored(context_, disabled(run), "Clash"), (Stored{hive::kRegDword, {7, 0, 0, 0}}));

    EXPECT_EQ(ToggleAutorun(context_, all, 0, 5, true), std::string(kValueNameTaken));
    EXPECT_FALSE(all.Lists[0][5].Checked);
    EXPECT_EQ(AutorunCommand(context_, all, 0, 2), "C:\\on.exe");
    EXPECT_EQ(AutorunCommand(context_, all, 0, 5), "C:\\off.exe");

    EXPECT_EQ(ToggleAutorun(context_, all, 0, 0, false), std::nullopt);
    EXPECT_FALSE(all.Lists[0][0].Checked);
    EXPECT_EQ(valueNames(context_, run), (std::vector<std::string>{"Clash", "Back"}));
    EXPECT_EQ(valueNames(context_, disabled(run)),
              (std::vector<std::string>{"Same", "Clash", "Back"}));
}

// An item whose value is gone, or whose hive is no longer mounted, moves
// nothing, creates nothing and says so; an item already in the state asked
// for does nothing at all.
TEST_F(AutorunsTest, AValueThatCannotBeMovedStaysWhereItIs) {
    make({sz(kRun, "Gone", "C:\\gone.exe")}, {sz(kUser + kRun, "Mine", "C:\\mine.exe")});
    mount();
    const std::string run = kSoftwareMount + kRun;
    AutorunGroup all = FillSystemAutoruns(context_, {});
    AutorunGroup user = FillUserAutoruns(context_);
    registry::TRegEngine gone{false, run, "Gone", 0};
    registry::RegEngineDeleteValue(context_.registry, gone);

    EXPECT_EQ(ToggleAutorun(context_, all, 0, 0, true), std::nullopt);
    EXPECT_EQ(ToggleAutorun(context_, all, 0, 0, false), std::string(kValueNotMoved));
    EXPECT_TRUE(all.Lists[0][0].Checked);
    EXPECT_FALSE(keyExists(context_, disabled(run)));
    EXPECT_EQ(ToggleAutorun(context_, all, 0, 7, false), std::nullopt);

    ASSERT_TRUE(registry::UnloadHive(context_, registry::kUserMount));
    const HiveSnapshot before(user_);
    EXPECT_EQ(ToggleAutorun(context_, user, 0, 0, false), std::string(kValueNotMoved));
    EXPECT_TRUE(user.Lists[0][0].Checked);
    before.expectUntouched();
}

TEST_F(AutorunsTest, EdValueShowsARegistryEntrysTextFromWhereItLives) {
    make({sz(kRun, "On", "C:\\on.exe"), expandSz(kRun, "Expand", "%windir%\\x.exe"),
          dword(kRun, "Number", 5), sz(disabled(kRun), "Off", "C:\\off.exe")});
    mount();
    AutorunGroup all = FillSystemAutoruns(context_, {});
    EXPECT_EQ(AutorunCommand(context_, all, 0, 0), "C:\\on.exe");
    EXPECT_EQ(AutorunCommand(context_, all, 0, 1), "%windir%\\x.exe");
    EXPECT_EQ(AutorunCommand(context_, all, 0, 2), ""); // not a string
    EXPECT_EQ(AutorunCommand(context_, all, 0, 3), "C:\\off.exe");
    EXPECT_EQ(AutorunCommand(context_, all, 0, 4), ""); // no such item
    ASSERT_EQ(ToggleAutorun(context_, all, 0, 0, false), std::nullopt);
    EXPECT_EQ(AutorunCommand(context_, all, 0, 0), "C:\\on.exe");
}

// File entries: their path, or for an exact ".lnk" the real shortcut's
// target; a target on x: is shown on the drive of SystemRoot.
TEST_F(AutorunsTest, EdValueShowsAFilesPathOrItsShortcutsTarget) {
    make({sz(kShellFolders, "Common Startup", kCommonStartup)});
    const fs::path folder = host("Documents and Settings/All Users/Start Menu/Programs/Startup");
    fs::create_directories(folder / "AutorunsDisabled");
    fs::copy_file(test::testdata("links/nero-info-tool.lnk"), folder / "nero.lnk");
    fs::copy_file(test::testdata("links/nero-info-tool.lnk"), folder / "NERO.LNK");
    writeFile(folder / "broken.lnk", "not a shell link");
    writeFile(folder / "run.bat", "@echo off");
    // The same link with its target moved to drive x:.
    const auto bytes = test::readFile(test::testdata("links/nero-info-tool.lnk"));
    std::string link(bytes.begin(), bytes.end());
    const std::string target = "C:\\Program Files (x86)\\Nero\\Nero 9\\Nero InfoTool\\InfoTool.exe";
    const auto at = link.find(target);
    ASSERT_NE(at, std::string::npos);
    link[at] = 'x';
    writeFile(folder / "AutorunsDisabled" / "onx.lnk", link);
    context_.LoadedSystemRoot = "D:\\WINDOWS";
    mount();

    const AutorunGroup all = FillSystemAutoruns(context_, {});
    ASSERT_EQ(all.Lists[4], (Entries{{"broken.lnk", true},
                                     {"NERO.LNK", true},
                                     {"nero.lnk", true},
                                     {"run.bat", true},
                                     {"onx.lnk", false}}));
    const std::string windowsFolder =
        "c:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Startup";
    EXPECT_EQ(AutorunCommand(context_, all, 4, 0), "");
    EXPECT_EQ(AutorunCommand(context_, all, 4, 1), windowsFolder + "\\NERO.LNK");
    EXPECT_EQ(AutorunCommand(context_, all, 4, 2), target);
    EXPECT_EQ(AutorunCommand(context_, all, 4, 3), windowsFolder + "\\run.bat");
    EXPECT_EQ(AutorunCommand(context_, all, 4, 4), "D:" + target.substr(2));
}

TEST_F(AutorunsTest, FileTogglesMoveTheFileAndReport) {
    make({sz(kShellFolders, "Common Startup", kCommonStartup)});
    const fs::path folder = host("Documents and Settings/All Users/Start Menu/Programs/Startup");
    writeFile(folder / "only.exe", "MZ payload");
    mount();
    AutorunGroup all = FillSystemAutoruns(context_, {});
    ASSERT_EQ(all.Lists[4], (Entries{{"only.exe", true}}));

    EXPECT_EQ(ToggleAutorun(context_, all, 4, 0, false), std::string(kFileMoved));
    EXPECT_FALSE(all.Lists[4][0].Checked);
    EXPECT_FALSE(fs::exists(folder / "only.exe"));
    EXPECT_EQ(test::readFile(folder / "AutorunsDisabled" / "only.exe"),
              (std::vector<unsigned char>{'M', 'Z', ' ', 'p', 'a', 'y', 'l', 'o', 'a', 'd'}));
    EXPECT_EQ(AutorunCommand(context_, all, 4, 0),
              "c:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Startup"
              "\\AutorunsDisabled\\only.exe");

    EXPECT_EQ(ToggleAutorun(context_, all, 4, 0, true), std::string(kFileMoved));
    EXPECT_TRUE(all.Lists[4][0].Checked);
    EXPECT_TRUE(fs::exists(folder / "only.exe"));
    EXPECT_FALSE(fs::exists(folder / "AutorunsDisabled"));

    // Gone behind the console's back: not moved, and the box tells the truth.
    fs::remove(folder / "only.exe");
    EXPECT_EQ(ToggleAutorun(context_, all, 4, 0, false), std::string(kFileNotMoved));
    EXPECT_TRUE(all.Lists[4][0].Checked);
    EXPECT_FALSE(fs::exists(folder / "AutorunsDisabled"));
}

} // namespace
} // namespace engine::rules
