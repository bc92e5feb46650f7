// Drive detection: the volumes of mountinfo with their types and ids, the
// letters an installation's MountedDevices gives them, and the whole
// detection over a fake system of mounted folders.
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "hive/hive.h"
#include "hive/names.h"
#include "platform/drive_detection.h"
#include "support/test_files.h"

namespace engine::platform {
namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << text;
}

// /sys/class/block and /dev/disk/by-partuuid as the kernel lays them out:
// class/block/NAME links to the device's folder, a partition's folder lies
// inside its disk's, and by-partuuid/UUID links to ../../NAME.
class FakeBlockDevices {
public:
    BlockDeviceInfo info() const { return {dir_ / "class" / "block", dir_ / "by-partuuid"}; }

    void disk(const std::string& name, bool removable) {
        writeFile(dir_ / "devices" / name / "removable", removable ? "1\n" : "0\n");
        link(dir_ / "class" / "block" / name, "../../devices/" + name);
    }
    void partition(const std::string& disk, const std::string& name, std::uint64_t startSector,
                   const std::string& partUuid) {
        const fs::path folder = dir_ / "devices" / disk / name;
        writeFile(folder / "partition", "1\n");
        writeFile(folder / "start", std::to_string(startSector) + "\n");
        link(dir_ / "class" / "block" / name, "../../devices/" + disk + "/" + name);
        if (!partUuid.empty()) {
            link(dir_ / "by-partuuid" / partUuid, "../../" + name);
        }
    }

private:
    static void link(const fs::path& at, const std::string& target) {
        fs::create_directories(at.parent_path());
        fs::create_directory_symlink(target, at);
    }
    test::TempDir dir_;
};

std::string mountLine(int id, const std::string& mountPoint, const std::string& fsType,
                      const std::string& source, const std::string& root = "/") {
    return std::to_string(id) + " 1 8:" + std::to_string(id) + " " + root + " " + mountPoint +
           " rw,relatime shared:" + std::to_string(id) + " - " + fsType + " " + source + " rw\n";
}

struct Seen {
    std::string device;
    std::string mountPoint;
    std::string fsType;
    DriveType type;
    friend bool operator==(const Seen&, const Seen&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Seen& s) {
        return out << s.device << " at " << s.mountPoint << " (" << s.fsType << ", type "
                   << static_cast<unsigned>(s.type) << ")";
    }
};

std::vector<Seen> seen(const std::vector<Volume>& volumes) {
    std::vector<Seen> result;
    for (const auto& v : volumes) {
        result.push_back({v.device, v.mountPoint.string(), v.fsType, v.type});
    }
    return result;
}

const Volume* volumeOf(const std::vector<Volume>& volumes, const std::string& device) {
    for (const auto& v : volumes) {
        if (v.device == device) {
            return &v;
        }
    }
    return nullptr;
}

TEST(ParseMountInfo, KeepsWhatCanBeAWindowsDriveWithItsType) {
    FakeBlockDevices devices;
    devices.disk("sda", false);
    devices.partition("sda", "sda1", 2048, "");
    devices.partition("sda", "sda2", 206848, "");
    devices.partition("sda", "sda3", 409600, "");
    devices.disk("sdb", false);
    devices.partition("sdb", "sdb1", 2048, "");
    devices.disk("sdc", true);
    devices.partition("sdc", "sdc1", 2048, "");
    devices.disk("sdd", true); // a stick formatted without a partition table
    devices.disk("nvme0n1", false);
    devices.partition("nvme0n1", "nvme0n1p1", 2048, "");
    devices.partition("nvme0n1", "nvme0n1p2", 4096, "");

    const std::string text = "21 26 0:20 / /proc rw,nosuid - proc proc rw\n"
                             "22 26 0:21 / /sys rw,nosuid shared:7 - sysfs sysfs rw\n" +
                             mountLine(26, "/", "ext4", "/dev/sda3") +
                             mountLine(30, "/mnt/win", "ntfs3", "/dev/sda2") +
                             mountLine(31, "/mnt/data", "fuseblk", "/dev/sdb1") +
                             mountLine(32, "/media/usb", "vfat", "/dev/sdc1") +
                             mountLine(33, "/media/stick", "exfat", "/dev/sdd") +
                             mountLine(34, "/boot/efi", "vfat", "/dev/nvme0n1p1") +
                             mountLine(35, "/mnt/old", "ntfs", "/dev/nvme0n1p2") +
                             mountLine(36, "/mnt/floppy", "msdos", "/dev/sda1") +
                             mountLine(37, "/media/cdrom", "iso9660", "/dev/sr0") +
                             mountLine(38, "/media/dvd", "udf", "/dev/sr1") +
                             mountLine(39, "/media/odd", "vfat", "/dev/sr2") +
                             mountLine(40, "/run/live/rootfs", "squashfs", "/dev/loop0") +
                             mountLine(41, "/tmp", "tmpfs", "tmpfs") +
                             mountLine(42, "/mnt/image", "fuseblk", "/tmp/disk.img") +
                             mountLine(43, "/mnt/remote", "fuse.sshfs", "user@host:/");

    EXPECT_EQ(seen(parseMountInfo(text, devices.info())),
              (std::vector<Seen>{
                  {"/dev/nvme0n1p1", "/boot/efi", "vfat", DriveType::Fixed},
                  {"/dev/nvme0n1p2", "/mnt/old", "ntfs", DriveType::Fixed},
                  {"/dev/sda1", "/mnt/floppy", "msdos", DriveType::Fixed},
                  {"/dev/sda2", "/mnt/win", "ntfs3", DriveType::Fixed},
                  {"/dev/sdb1", "/mnt/data", "fuseblk", DriveType::Fixed},
                  {"/dev/sdc1", "/media/usb", "vfat", DriveType::Removable},
                  {"/dev/sdd", "/media/stick", "exfat", DriveType::Removable},
                  {"/dev/sr0", "/media/cdrom", "iso9660", DriveType::Cdrom},
                  {"/dev/sr1", "/media/dvd", "udf", DriveType::Cdrom},
                  {"/dev/sr2", "/media/odd", "vfat", DriveType::Cdrom},
              }));
}

TEST(ParseMountInfo, EachDeviceOnceAtItsFirstRootMountInDeviceOrder) {
    FakeBlockDevices devices;
    const std::string text = mountLine(30, "/mnt/ten", "ntfs3", "/dev/sda10") +
                             mountLine(31, "/mnt/sub", "ntfs3", "/dev/sda2", "/Users") +
                             mountLine(32, "/mnt/two", "ntfs3", "/dev/sda2") +
                             mountLine(33, "/mnt/again", "ntfs3", "/dev/sda2") +
                             mountLine(34, "/mnt/b", "ntfs3", "/dev/sdb1") +
                             mountLine(35, "/mnt/one", "ntfs3", "/dev/sda1");

    // sysfs knows none of them: fixed, without an id.
    const auto volumes = parseMountInfo(text, devices.info());
    EXPECT_EQ(seen(volumes), (std::vector<Seen>{
                                 {"/dev/sda1", "/mnt/one", "ntfs3", DriveType::Fixed},
                                 {"/dev/sda2", "/mnt/two", "ntfs3", DriveType::Fixed},
                                 {"/dev/sda10", "/mnt/ten", "ntfs3", DriveType::Fixed},
                                 {"/dev/sdb1", "/mnt/b", "ntfs3", DriveType::Fixed},
                             }));
    for (const auto& v : volumes) {
        EXPECT_FALSE(v.id) << v.device;
    }
}

TEST(ParseMountInfo, UnescapesMountPointsAndSkipsBrokenLines) {
    FakeBlockDevices devices;
    const std::string text = "\n"
                             "garbage\n"
                             "30 1 8:1 / /mnt/x rw - ntfs3\n"                     // no source
                             "31 1 8:2 / /mnt/y rw shared:1 ntfs3 /dev/sdx1 rw\n" // no separator
                             "32 1 8:3 / /media/My\\040Disk\\011\\134x rw - ntfs3 /dev/sda1 rw\n"
                             "33 1 8:4 / /media/cut\\04 rw master:2 shared:9 - vfat /dev/sda2 rw";
    EXPECT_EQ(seen(parseMountInfo(text, devices.info())),
              (std::vector<Seen>{
                  {"/dev/sda1", "/media/My Disk\t\\x", "ntfs3", DriveType::Fixed},
                  {"/dev/sda2", "/media/cut\\04", "vfat", DriveType::Fixed},
              }));
}

TEST(ParseMountInfo, VolumeIdsFromPartUuidAndStart) {
    FakeBlockDevices devices;
    devices.disk("sda", false);
    devices.partition("sda", "sda1", 2048, "1234abcd-01");
    devices.partition("sda", "sda5", 8589934592, "1234ABCD-05"); // past 4 TiB
    devices.partition("sda", "sda10", 4096, "0000beef-0a");      // its link must not match sda1
    devices.disk("sdb", false);
    devices.partition("sdb", "sdb1", 2048, "0fc63daf-8483-4772-8e79-3d69d8477de4");
    devices.partition("sdb", "sdb2", 4096, "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7");
    devices.partition("sdb", "sdb3", 8192, "not-a-uuid");
    devices.partition("sdb", "sdb4", 16384, "0fc63daf-8483-4772-8e79-3d69d8477dxx");
    devices.partition("sdb", "sdb5", 16384, "");
    std::string text;
    int id = 30;
    for (const char* device : {"sda1", "sda5", "sda10", "sdb1", "sdb2", "sdb3", "sdb4", "sdb5"}) {
        text +=
            mountLine(id++, std::string("/mnt/") + device, "ntfs3", std::string("/dev/") + device);
    }
    const auto volumes = parseMountInfo(text, devices.info());
    ASSERT_EQ(volumes.size(), 8u);

    const auto idOf = [&](const std::string& device) -> std::optional<VolumeId> {
        const Volume* v = volumeOf(volumes, device);
        return v ? v->id : std::nullopt;
    };
    EXPECT_EQ(idOf("/dev/sda1"), VolumeId(MbrVolume{0x1234abcd, 2048ull * 512}));
    EXPECT_EQ(idOf("/dev/sda5"), VolumeId(MbrVolume{0x1234abcd, 8589934592ull * 512}));
    EXPECT_EQ(idOf("/dev/sda10"), VolumeId(MbrVolume{0x0000beef, 4096ull * 512}));
    EXPECT_EQ(idOf("/dev/sdb1"),
              VolumeId(GptVolume{{0xaf, 0x3d, 0xc6, 0x0f, 0x83, 0x84, 0x72, 0x47, 0x8e, 0x79, 0x3d,
                                  0x69, 0xd8, 0x47, 0x7d, 0xe4}}));
    EXPECT_EQ(idOf("/dev/sdb2"),
              VolumeId(GptVolume{{0xa2, 0xa0, 0xd0, 0xeb, 0xe5, 0xb9, 0x33, 0x44, 0x87, 0xc0, 0x68,
                                  0xb6, 0xb7, 0x26, 0x99, 0xc7}}));
    EXPECT_EQ(idOf("/dev/sdb3"), std::nullopt);
    EXPECT_EQ(idOf("/dev/sdb4"), std::nullopt);
    EXPECT_EQ(idOf("/dev/sdb5"), std::nullopt);
}

TEST(ParseMountInfo, MbrIdNeedsThePartitionStart) {
    FakeBlockDevices devices;
    devices.disk("sda", false);
    devices.partition("sda", "sda1", 2048, "1234abcd-01");
    const BlockDeviceInfo info = devices.info();
    fs::remove(info.sysClassBlock / "sda1" / "start");

    const auto volumes = parseMountInfo(mountLine(30, "/mnt/a", "ntfs3", "/dev/sda1"), info);
    ASSERT_EQ(volumes.size(), 1u);
    EXPECT_FALSE(volumes[0].id);
    EXPECT_EQ(volumes[0].type, DriveType::Fixed);
}

// MountedDevices values as Windows writes them.
using Bytes = std::vector<std::uint8_t>;

Bytes mbrData(std::uint32_t signature, std::uint64_t offset) {
    Bytes data;
    for (int i = 0; i < 4; ++i) {
        data.push_back(static_cast<std::uint8_t>(signature >> (8 * i)));
    }
    for (int i = 0; i < 8; ++i) {
        data.push_back(static_cast<std::uint8_t>(offset >> (8 * i)));
    }
    return data;
}

Bytes gptData(const std::array<std::uint8_t, 16>& guid) {
    const std::string prefix = "DMIO:ID:";
    Bytes data(prefix.begin(), prefix.end());
    data.insert(data.end(), guid.begin(), guid.end());
    return data;
}

Bytes utf16Data(std::u16string_view text) {
    Bytes data;
    for (const char16_t unit : text) {
        data.push_back(static_cast<std::uint8_t>(unit & 0xff));
        data.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return data;
}

constexpr std::array<std::uint8_t, 16> kGuidA = {1, 2,  3,  4,  5,  6,  7,  8,
                                                 9, 10, 11, 12, 13, 14, 15, 16};
constexpr std::array<std::uint8_t, 16> kGuidB = {0xa2, 0xa0, 0xd0, 0xeb, 0xe5, 0xb9, 0x33, 0x44,
                                                 0x87, 0xc0, 0x68, 0xb6, 0xb7, 0x26, 0x99, 0xc7};

// A SYSTEM hive whose MountedDevices holds `values` (name, REG_BINARY data),
// grown from the empty hive and saved as `file`.
void makeSystemHive(const fs::path& file,
                    const std::vector<std::pair<std::string, Bytes>>& values) {
    test::TempDir scratch;
    auto hive = hive::Hive::open(test::copyTestFile("hives/empty-hive", scratch.path()));
    ASSERT_TRUE(hive) << hive.error().describe();
    auto key = hive->createKeyPath("MountedDevices");
    ASSERT_TRUE(key) << key.error().describe();
    for (const auto& [name, data] : values) {
        auto set = hive->setValue(*key, *hive::fromUtf8(name), hive::kRegBinary, data);
        ASSERT_TRUE(set) << set.error().describe();
    }
    fs::create_directories(file.parent_path());
    auto saved = hive->saveAs(file);
    ASSERT_TRUE(saved) << saved.error().describe();
}

TEST(ReadMountedDevices, DecodesDosDeviceLettersAndSkipsTheRest) {
    test::TempDir dir;
    Bytes shortGpt = gptData(kGuidA);
    shortGpt.pop_back();
    makeSystemHive(
        dir / "SYSTEM",
        {
            {"\\DosDevices\\C:", mbrData(0x1234abcd, 0x100000)},
            {"\\??\\Volume{5f0b7c3e-0000-0000-0000-100000000000}", mbrData(0x1234abcd, 0x100000)},
            {"\\dosdevices\\e:", gptData(kGuidA)},
            {"\\DosDevices\\F:", utf16Data(u"\\??\\USBSTOR#Disk&Ven_&Prod_")},
            {"\\DosDevices\\G:", Bytes(13, 0x11)},
            {"\\DosDevices\\H:", shortGpt},
            {"\\DosDevices\\I:", Bytes(24, 0x22)},
            {"\\DosDevices\\1:", mbrData(1, 2)},
            {"\\DosDevices\\JK:", mbrData(1, 2)},
            {"\\DosDevices\\Z", mbrData(1, 2)},
            {"\\DosDevices\\D:", mbrData(0xfeedface, 0x20000000000)},
        });

    const auto claims = readMountedDevices(dir / "SYSTEM");
    ASSERT_EQ(claims.size(), 3u);
    EXPECT_EQ(claims[0].letter, 'c');
    EXPECT_EQ(claims[0].id, VolumeId(MbrVolume{0x1234abcd, 0x100000}));
    EXPECT_EQ(claims[1].letter, 'e');
    EXPECT_EQ(claims[1].id, VolumeId(GptVolume{kGuidA}));
    EXPECT_EQ(claims[2].letter, 'd');
    EXPECT_EQ(claims[2].id, VolumeId(MbrVolume{0xfeedface, 0x20000000000}));
}

TEST(ReadMountedDevices, NothingFromAHiveWithoutTheKeyOrNoHive) {
    test::TempDir dir;
    EXPECT_TRUE(readMountedDevices(dir / "missing").empty());
    EXPECT_TRUE(readMountedDevices(test::copyTestFile("hives/empty-hive", dir.path())).empty());
    EXPECT_TRUE(
        readMountedDevices(test::copyTestFile("hives/corrupt/TruncatedHive", dir.path())).empty());
    writeFile(dir / "text", std::string(8192, 'x'));
    EXPECT_TRUE(readMountedDevices(dir / "text").empty());
}

Volume volume(const std::string& device, DriveType type, std::optional<VolumeId> id) {
    return Volume{device, "/mnt/" + device, "ntfs3", type, std::move(id)};
}

std::string lettersOf(const DriveTable& table) {
    std::string text;
    for (const auto& drive : table.drives()) {
        text += std::string{drive.letter, '='} + drive.root.filename().string() + " ";
    }
    return text;
}

TEST(AssignLetters, ClaimsFirstThenFreeLettersInDeviceOrder) {
    const VolumeId a = MbrVolume{0x11111111, 0x100000};
    const VolumeId b = GptVolume{kGuidA};
    const VolumeId c = GptVolume{kGuidB};
    const VolumeId elsewhere = MbrVolume{0x11111111, 0x200000};
    const std::vector<Volume> volumes = {
        volume("sda1", DriveType::Fixed, a),  volume("sdb1", DriveType::Fixed, b),
        volume("sdb2", DriveType::Fixed, c),  volume("sdc1", DriveType::Removable, {}),
        volume("sdd1", DriveType::Fixed, {}), volume("sr0", DriveType::Cdrom, {}),
    };
    struct Case {
        const char* name;
        std::vector<LetterClaim> claims;
        std::string expected;
    };
    const Case cases[] = {
        {"no claims", {}, "c=sda1 d=sdb1 e=sdb2 f=sdc1 g=sdd1 h=sr0 "},
        {"claims move volumes, the rest fill the gaps",
         {{'e', b}, {'c', c}},
         "c=sdb2 d=sda1 e=sdb1 f=sdc1 g=sdd1 h=sr0 "},
        {"the first claim for a letter wins",
         {{'c', b}, {'c', a}},
         "c=sdb1 d=sda1 e=sdb2 f=sdc1 g=sdd1 h=sr0 "},
        {"the first claim for a volume wins",
         {{'f', a}, {'c', a}},
         "c=sdb1 d=sdb2 e=sdc1 f=sda1 g=sdd1 h=sr0 "},
        {"a claim for no volume here leaves its letter free",
         {{'d', elsewhere}, {'e', a}},
         "c=sdb1 d=sdb2 e=sda1 f=sdc1 g=sdd1 h=sr0 "},
        {"claim letters are taken without case, others ignored",
         {{'D', a}, {'!', b}},
         "c=sdb1 d=sda1 e=sdb2 f=sdc1 g=sdd1 h=sr0 "},
        {"letters below c can be claimed", {{'a', c}}, "a=sdb2 c=sda1 d=sdb1 e=sdc1 f=sdd1 g=sr0 "},
    };
    for (const Case& k : cases) {
        const DriveTable table = assignLetters(volumes, k.claims);
        EXPECT_EQ(lettersOf(table), k.expected) << k.name;
        // Types and roots travel with the volume.
        for (const auto& drive : table.drives()) {
            const std::string device = drive.root.filename().string();
            const DriveType type = device == "sdc1"  ? DriveType::Removable
                                   : device == "sr0" ? DriveType::Cdrom
                                                     : DriveType::Fixed;
            EXPECT_EQ(drive.type, type) << k.name << ": " << device;
        }
    }
}

TEST(AssignLetters, NeverPastZ) {
    std::vector<Volume> volumes;
    for (int i = 0; i < 30; ++i) {
        volumes.push_back(volume("v" + std::to_string(100 + i), DriveType::Fixed,
                                 MbrVolume{static_cast<std::uint32_t>(i), 0}));
    }
    const DriveTable table = assignLetters(volumes, {{'b', MbrVolume{29, 0}}});
    ASSERT_EQ(table.drives().size(), 25u);
    EXPECT_EQ(table.find('b')->root.filename(), "v129");
    EXPECT_EQ(table.find('c')->root.filename(), "v100");
    EXPECT_EQ(table.find('z')->root.filename(), "v123");
    EXPECT_EQ(table.find('a'), nullptr);
}

// A machine of folders: each volume a folder named after its device, and a
// mountinfo file naming them.
class FakeMachine {
public:
    FakeMachine() {
        devices.disk("sda", false);
        devices.partition("sda", "sda1", 2048, "0badcafe-01");
        devices.disk("sdb", false);
        devices.partition("sdb", "sdb1", 2048, "ebd0a0a2-b9e5-4433-87c0-68b6b72699c7");
        devices.disk("sdc", true);
        devices.partition("sdc", "sdc1", 2048, "");
    }
    fs::path root(const std::string& device) const { return dir / device; }
    DriveTable detect() {
        std::string text;
        int id = 30;
        for (const auto& [device, fsType] : std::vector<std::pair<std::string, std::string>>{
                 {"sr0", "iso9660"}, {"sdc1", "vfat"}, {"sdb1", "ntfs3"}, {"sda1", "fuseblk"}}) {
            fs::create_directories(root(device));
            text += mountLine(id++, root(device).string(), fsType, "/dev/" + device);
        }
        writeFile(dir / "mountinfo", text);
        return detectDrives(devices.info(), dir / "mountinfo");
    }

    FakeBlockDevices devices;
    test::TempDir dir;
    const VolumeId sda1 = MbrVolume{0x0badcafe, 2048 * 512};
    const VolumeId sdb1 = GptVolume{kGuidB};
};

TEST(DetectDrives, LettersFromTheInstallationsOnFixedVolumes) {
    FakeMachine machine;
    makeSystemHive(machine.root("sdb1") / "WINDOWS" / "SYSTEM32" / "CONFIG" / "system",
                   {{"\\DosDevices\\C:", gptData(kGuidB)},
                    {"\\DosDevices\\D:", mbrData(0x0badcafe, 2048 * 512)}});
    // Neither a removable volume's installation nor one two folders deep counts.
    makeSystemHive(machine.root("sdc1") / "Windows" / "System32" / "config" / "SYSTEM",
                   {{"\\DosDevices\\C:", mbrData(0x0badcafe, 2048 * 512)}});
    makeSystemHive(machine.root("sda1") / "old" / "Windows" / "System32" / "config" / "SYSTEM",
                   {{"\\DosDevices\\C:", mbrData(0x0badcafe, 2048 * 512)}});

    const DriveTable table = machine.detect();
    EXPECT_EQ(lettersOf(table), "c=sdb1 d=sda1 e=sdc1 f=sr0 ");
    EXPECT_EQ(table.type("e:"), DriveType::Removable);
    EXPECT_EQ(table.type("f:"), DriveType::Cdrom);
    EXPECT_EQ(table.find('c')->root, machine.root("sdb1"));
}

TEST(DetectDrives, TheFirstVolumesInstallationWinsADispute) {
    FakeMachine machine;
    makeSystemHive(machine.root("sda1") / "Windows" / "System32" / "config" / "SYSTEM",
                   {{"\\DosDevices\\E:", mbrData(0x0badcafe, 2048 * 512)}});
    makeSystemHive(machine.root("sdb1") / "Windows" / "System32" / "config" / "SYSTEM",
                   {{"\\DosDevices\\C:", mbrData(0x0badcafe, 2048 * 512)},
                    {"\\DosDevices\\D:", gptData(kGuidB)}});
    EXPECT_EQ(lettersOf(machine.detect()), "c=sdc1 d=sdb1 e=sda1 f=sr0 ");
}

TEST(DetectDrives, DeviceOrderWithoutInstallations) {
    FakeMachine machine;
    // A folder that only looks like an installation: config without SYSTEM.
    fs::create_directories(machine.root("sdb1") / "Windows" / "System32" / "config" / "SYSTEM");
    EXPECT_EQ(lettersOf(machine.detect()), "c=sda1 d=sdb1 e=sdc1 f=sr0 ");

    test::TempDir empty;
    EXPECT_TRUE(detectDrives(machine.devices.info(), empty / "missing").empty());
}

} // namespace
} // namespace engine::platform
