// parseMountInfo: the volumes of /proc/self/mountinfo that can be Windows
// drives, with their types and the ids Windows knows them by.
#include <algorithm>
#include <fstream>
#include <system_error>

#include "platform/drive_detection.h"

namespace engine::platform {

namespace fs = std::filesystem;

namespace {

bool isOctalDigit(char c) {
    return c >= '0' && c <= '7';
}

// Fields of a mountinfo line escape space, tab, newline and backslash as a
// backslash and three octal digits ("\040").
std::string unescape(std::string_view field) {
    std::string text;
    text.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctalDigit(field[i + 1]) &&
            isOctalDigit(field[i + 2]) && isOctalDigit(field[i + 3])) {
            const int code =
                (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            text += static_cast<char>(code);
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t start = line.find_first_not_of(' ', at);
        if (start == std::string_view::npos) {
            break;
        }
        const std::size_t end = std::min(line.find(' ', start), line.size());
        fields.push_back(line.substr(start, end - start));
        at = end;
    }
    return fields;
}

// One mount as the line describes it; nullopt for a line that is not one.
struct Mount {
    std::string root;
    std::string mountPoint;
    std::string fsType;
    std::string source;
};

std::optional<Mount> parseLine(std::string_view line) {
    const auto fields = splitFields(line);
    // id parent major:minor root mount-point options [optional...] - type source super-options
    if (fields.size() < 9) {
        return std::nullopt;
    }
    const auto separator = std::find(fields.begin() + 6, fields.end(), "-");
    if (separator == fields.end() || fields.end() - separator < 3) {
        return std::nullopt;
    }
    return Mount{unescape(fields[3]), unescape(fields[4]), unescape(separator[1]),
                 unescape(separator[2])};
}

enum class Family { None, Disk, Optical };

Family familyOf(const std::string& fsType) {
    static constexpr std::string_view kDisk[] = {"ntfs", "ntfs3", "fuseblk",
                                                 "vfat", "msdos", "exfat"};
    static constexpr std::string_view kOptical[] = {"iso9660", "udf"};
    if (std::find(std::begin(kDisk), std::end(kDisk), fsType) != std::end(kDisk)) {
        return Family::Disk;
    }
    if (std::find(std::begin(kOptical), std::end(kOptical), fsType) != std::end(kOptical)) {
        return Family::Optical;
    }
    return Family::None;
}

// The first line of a small sysfs file, without its line end.
std::optional<std::string> readLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) {
        return std::nullopt;
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) {
        line.pop_back();
    }
    return line;
}

// The folder of the whole disk a block device belongs to: the parent of a
// partition's folder (sysfs nests partitions inside their disk), or the
// device's own folder when it is a whole disk.
fs::path diskFolder(const fs::path& device) {
    std::error_code error;
    if (!fs::exists(device / "partition", error)) {
        return device;
    }
    const fs::path resolved = fs::canonical(device, error);
    return error ? device / ".." : resolved.parent_path();
}

DriveType diskType(const BlockDeviceInfo& devices, const std::string& name) {
    const auto removable = readLine(diskFolder(devices.sysClassBlock / name) / "removable");
    return removable == "1" ? DriveType::Removable : DriveType::Fixed;
}

std::optional<unsigned> hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<unsigned>(c - '0');
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<unsigned>(c - 'a' + 10);
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<unsigned>(c - 'A' + 10);
    }
    return std::nullopt;
}

// Hex digits as a number, most significant first; nullopt for anything else.
std::optional<std::uint64_t> hexNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 16) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : digits) {
        const auto digit = hexDigit(c);
        if (!digit) {
            return std::nullopt;
        }
        value = value << 4 | *digit;
    }
    return value;
}

void putLittleEndian(std::uint8_t* out, std::uint64_t value, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) {
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// "aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee" as Windows stores a GUID: the first
// three fields little-endian, the last two byte by byte as written.
std::optional<GptVolume> parseGuid(std::string_view text) {
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' ||
        text[23] != '-') {
        return std::nullopt;
    }
    const auto a = hexNumber(text.substr(0, 8));
    const auto b = hexNumber(text.substr(9, 4));
    const auto c = hexNumber(text.substr(14, 4));
    if (!a || !b || !c) {
        return std::nullopt;
    }
    GptVolume volume;
    putLittleEndian(volume.partitionGuid.data(), *a, 4);
    putLittleEndian(volume.partitionGuid.data() + 4, *b, 2);
    putLittleEndian(volume.partitionGuid.data() + 6, *c, 2);
    const std::string tail = std::string(text.substr(19, 4)) + std::string(text.substr(24, 12));
    for (std::size_t i = 0; i < 8; ++i) {
        const auto byte = hexNumber(std::string_view(tail).substr(2 * i, 2));
        if (!byte) {
            return std::nullopt;
        }
        volume.partitionGuid[8 + i] = static_cast<std::uint8_t>(*byte);
    }
    return volume;
}

// The PARTUUID of a device: the name of the by-partuuid link that points at it.
std::optional<std::string> partUuidOf(const BlockDeviceInfo& devices, const std::string& name) {
    std::error_code error;
    for (fs::directory_iterator it(devices.byPartUuid, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code linkError;
        const fs::path target = fs::read_symlink(it->path(), linkError);
        if (!linkError && target.filename() == name) {
            return it->path().filename().string();
        }
    }
    return std::nullopt;
}

std::optional<VolumeId> volumeIdOf(const BlockDeviceInfo& devices, const std::string& name) {
    const auto uuid = partUuidOf(devices, name);
    if (!uuid) {
        return std::nullopt;
    }
    if (auto gpt = parseGuid(*uuid)) {
        return VolumeId{*gpt};
    }
    // An MBR partition: the disk signature and the partition's number.
    if (uuid->size() != 11 || (*uuid)[8] != '-' || !hexNumber(uuid->substr(9, 2))) {
        return std::nullopt;
    }
    const auto signature = hexNumber(uuid->substr(0, 8));
    const auto start = readLine(devices.sysClassBlock / name / "start");
    if (!signature || !start || start->empty() ||
        start->find_first_not_of("0123456789") != std::string::npos || start->size() > 15) {
        return std::nullopt;
    }
    // sysfs gives the start in 512-byte sectors whatever the disk's sector size.
    return VolumeId{MbrVolume{static_cast<std::uint32_t>(*signature), std::stoull(*start) * 512}};
}

// Device names in a person's order: runs of digits compare as numbers, so
// sda2 comes before sda10.
bool deviceOrder(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            const std::size_t aEnd =
                std::find_if_not(a.begin() + static_cast<long>(i), a.end(), isDigit) - a.begin();
            const std::size_t bEnd =
                std::find_if_not(b.begin() + static_cast<long>(j), b.end(), isDigit) - b.begin();
            std::string_view aRun(a.data() + i, aEnd - i);
            std::string_view bRun(b.data() + j, bEnd - j);
            aRun.remove_prefix(std::min(aRun.find_first_not_of('0'), aRun.size()));
            bRun.remove_prefix(std::min(bRun.find_first_not_of('0'), bRun.size()));
            if (aRun.size() != bRun.size()) {
                return aRun.size() < bRun.size();
            }
            if (aRun != bRun) {
                return aRun < bRun;
            }
            i = aEnd;
            j = bEnd;
            continue;
        }
        if (a[i] != b[j]) {
            return a[i] < b[j];
        }
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

} // namespace

std::vector<Volume> parseMountInfo(std::string_view mountinfo, const BlockDeviceInfo& devices) {
    std::vector<Volume> volumes;
    std::size_t at = 0;
    while (at < mountinfo.size()) {
        const std::size_t end = std::min(mountinfo.find('\n', at), mountinfo.size());
        const auto mount = parseLine(mountinfo.substr(at, end - at));
        at = end + 1;
        // A bind mount of a folder inside a volume (root other than "/") is
        // not the volume's root, so it cannot stand for a drive.
        if (!mount || mount->root != "/" || !mount->source.starts_with("/dev/")) {
            continue;
        }
        const Family family = familyOf(mount->fsType);
        if (family == Family::None) {
            continue;
        }
        const bool seen = std::any_of(volumes.begin(), volumes.end(),
                                      [&](const Volume& v) { return v.device == mount->source; });
        if (seen) {
            continue;
        }
        const std::string name = fs::path(mount->source).filename().string();
        Volume volume;
        volume.device = mount->source;
        volume.mountPoint = mount->mountPoint;
        volume.fsType = mount->fsType;
        if (family == Family::Optical || name.starts_with("sr")) {
            volume.type = DriveType::Cdrom;
        } else {
            volume.type = diskType(devices, name);
        }
        volume.id = volumeIdOf(devices, name);
        volumes.push_back(std::move(volume));
    }
    std::stable_sort(volumes.begin(), volumes.end(), [](const Volume& a, const Volume& b) {
        return deviceOrder(a.device, b.device);
    });
    return volumes;
}

} // namespace engine::platform
