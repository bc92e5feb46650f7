#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/drive_table.h"

namespace engine::platform {

// How Windows names a volume in the SYSTEM hive's MountedDevices: an MBR
// disk's signature with the partition's byte offset, or a GPT partition's
// unique GUID (as the 16 bytes Windows stores).
struct MbrVolume {
    std::uint32_t diskSignature = 0;
    std::uint64_t offset = 0;
    friend bool operator==(const MbrVolume&, const MbrVolume&) = default;
};
struct GptVolume {
    std::array<std::uint8_t, 16> partitionGuid{};
    friend bool operator==(const GptVolume&, const GptVolume&) = default;
};
using VolumeId = std::variant<MbrVolume, GptVolume>;

// A mounted volume that may become a drive, in device order.
struct Volume {
    std::string device; // "/dev/sda1"
    std::filesystem::path mountPoint;
    std::string fsType;
    DriveType type = DriveType::Fixed;
    std::optional<VolumeId> id;
};

// Where the system describes block devices: /sys/class/block and
// /dev/disk/by-partuuid on a live system, folders of a test's making in tests.
struct BlockDeviceInfo {
    std::filesystem::path sysClassBlock = "/sys/class/block";
    std::filesystem::path byPartUuid = "/dev/disk/by-partuuid";
};

// The volumes of /proc/self/mountinfo's text that can be Windows drives:
// NTFS (ntfs, ntfs3, fuseblk), FAT (vfat, msdos), exFAT on block devices are
// fixed or removable (the disk's removable flag); ISO 9660 and UDF, and sr
// devices, are CD-ROMs. Each device once, at its first mount point, sorted by
// device name (sda1 < sda2 < sdb1 < sr0). Ids come from the partition's start
// and its PARTUUID (MBR: "ssssssss-pp"; GPT: the partition GUID).
std::vector<Volume> parseMountInfo(std::string_view mountinfo, const BlockDeviceInfo& devices);

// The letters one installation's SYSTEM hive gives its volumes: each
// "\DosDevices\X:" value of MountedDevices, decoded (12 bytes: MBR signature
// and offset; "DMIO:ID:" and 16 bytes: GPT GUID). Other values are skipped.
struct LetterClaim {
    char letter = 'c';
    VolumeId id;
};
std::vector<LetterClaim> readMountedDevices(const std::filesystem::path& systemHive);

// Gives the volumes letters: a volume an installation's MountedDevices names
// takes that letter (the first claim for a letter or a volume wins); the
// rest take the free letters from c: on, in device order.
DriveTable assignLetters(const std::vector<Volume>& volumes,
                         const std::vector<LetterClaim>& claims);

// The whole detection on this machine: the mounted volumes, the SYSTEM hive
// of every Windows installation found one folder deep on a fixed volume
// (FOLDER\System32\config\SYSTEM, any case), and the letters they give.
DriveTable detectDrives(const BlockDeviceInfo& devices = {},
                        const std::filesystem::path& mountinfo = "/proc/self/mountinfo");

} // namespace engine::platform
