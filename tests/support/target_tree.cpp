#include "support/target_tree.h"

#include <gtest/gtest.h>

#include "hive/file_io.h"
#include "hive/hive.h"
#include "hive/names.h"

namespace test {

namespace fs = std::filesystem;
using engine::hive::Hive;

namespace {

std::vector<std::uint8_t> utf16z(const std::string& text) {
    const auto wide = engine::hive::fromUtf8(text).value();
    std::vector<std::uint8_t> bytes;
    for (char16_t unit : wide) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

constexpr std::uint32_t kKeyOnly = 0xFFFFFFFF;

void plant(Hive& hive, const std::vector<PlantedValue>& values) {
    for (const auto& value : values) {
        auto key = hive.createKeyPath(value.key);
        ASSERT_TRUE(key) << value.key << ": " << key.error().describe();
        if (value.type == kKeyOnly) {
            continue;
        }
        const auto name = engine::hive::fromUtf8(value.name).value();
        auto set = hive.setValue(*key, name, value.type, value.data);
        ASSERT_TRUE(set) << value.key << "\\" << value.name << ": " << set.error().describe();
    }
}

struct Layout {
    std::string system32;
    std::string config;
    std::string software;
    std::string profiles;
    std::string product;
    std::string build;
    bool wow64 = false;
};

Layout layoutOf(WindowsKind kind) {
    switch (kind) {
    case WindowsKind::Xp32:
        return {"system32",
                "config",
                "software",
                "Documents and Settings",
                "Microsoft Windows XP",
                "2600.xpsp_sp3_gdr.080814-1236",
                false};
    case WindowsKind::Win7x64:
        return {"System32",
                "config",
                "SOFTWARE",
                "Users",
                "Windows 7 Ultimate",
                "7601.win7sp1_gdr.130828-1532",
                true};
    case WindowsKind::Win10x64:
        return {"System32", "config",         "SOFTWARE",
                "Users",    "Windows 10 Pro", "19041.vb_release.191206-1406",
                true};
    }
    return {};
}

} // namespace

PlantedValue sz(std::string key, std::string name, const std::string& text) {
    return {std::move(key), std::move(name), engine::hive::kRegSz, utf16z(text)};
}

PlantedValue expandSz(std::string key, std::string name, const std::string& text) {
    return {std::move(key), std::move(name), engine::hive::kRegExpandSz, utf16z(text)};
}

PlantedValue dword(std::string key, std::string name, std::uint32_t value) {
    return {std::move(key),
            std::move(name),
            engine::hive::kRegDword,
            {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
             static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)}};
}

PlantedValue keyOnly(std::string key) {
    return {std::move(key), {}, kKeyOnly, {}};
}

void makeHive(const fs::path& file, const std::vector<PlantedValue>& values) {
    auto hive = Hive::open(testdata("hives/empty-hive"));
    ASSERT_TRUE(hive) << hive.error().describe();
    plant(*hive, values);
    fs::create_directories(file.parent_path());
    auto saved = hive->saveAs(file);
    ASSERT_TRUE(saved) << saved.error().describe();
}

void plantValues(const fs::path& file, const std::vector<PlantedValue>& values) {
    auto hive = Hive::openRecovered(file);
    ASSERT_TRUE(hive) << hive.error().describe();
    plant(*hive, values);
    engine::hive::PosixFileIo io;
    auto written = hive->writeBack(io);
    ASSERT_TRUE(written) << written.error().describe();
}

TargetTree::TargetTree()
    : temp_(std::make_unique<TempDir>())
    , base_(temp_->path()) {}

TargetTree::TargetTree(char letter, fs::path root)
    : base_(root) {
    drives_.add(letter, engine::platform::DriveType::Fixed, std::move(root));
}

fs::path TargetTree::drive(char letter, engine::platform::DriveType type) {
    if (const auto* known = drives_.find(letter)) {
        return known->root;
    }
    const fs::path root = base_ / (std::string("drive-") + letter);
    fs::create_directories(root);
    drives_.add(letter, type, root);
    return root;
}

fs::path TargetTree::addInstallation(char letter, const std::string& folder, WindowsKind kind,
                                     const std::vector<PlantedValue>& extra) {
    const Layout layout = layoutOf(kind);
    const fs::path hive =
        drive(letter) / folder / layout.system32 / layout.config / layout.software;
    const std::string current = "Microsoft\\Windows NT\\CurrentVersion";
    const std::string upper(1, static_cast<char>(letter - 'a' + 'A'));
    std::vector<PlantedValue> values = {
        sz(current, "ProductName", layout.product),
        sz(current, "BuildLab", layout.build),
        sz(current, "SystemRoot", upper + ":\\" + folder),
        expandSz(current + "\\ProfileList", "ProfilesDirectory",
                 "%SystemDrive%\\" + layout.profiles),
        sz(current + "\\Winlogon", "Shell", "Explorer.exe"),
        sz(current + "\\Winlogon", "Userinit",
           upper + ":\\" + folder + "\\system32\\userinit.exe,"),
    };
    if (layout.wow64) {
        values.push_back(sz("Wow6432Node\\" + current + "\\Winlogon", "Shell", "explorer.exe"));
    }
    values.insert(values.end(), extra.begin(), extra.end());
    makeHive(hive, values);
    return hive;
}

fs::path TargetTree::addProfile(char letter, WindowsKind kind, const std::string& name,
                                const std::string& ntuser) {
    const fs::path folder = drive(letter) / layoutOf(kind).profiles / name;
    fs::create_directories(folder);
    const fs::path hive = folder / "NTUSER.DAT";
    fs::copy_file(testdata(ntuser), hive, fs::copy_options::overwrite_existing);
    fs::permissions(hive, fs::perms::owner_write, fs::perm_options::add);
    return hive;
}

engine::Context TargetTree::context() const {
    engine::Context context;
    context.drives = drives_;
    return context;
}

} // namespace test
