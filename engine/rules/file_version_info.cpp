#include "rules/file_version_info.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <fmt/format.h>

#include "hive/file_io.h"
#include "hive/names.h"
#include "platform/windows_paths.h"

namespace engine::rules {

namespace {

// A file larger than this is no program we look at: it gets no version
// information (its facts are still read).
constexpr std::int64_t kMaxFileBytes = 64 * 1024 * 1024;

// ---------------------------------------------------------------------------
// Little-endian reads that fail instead of reading past the end.

std::optional<std::uint16_t> u16At(std::string_view bytes, std::size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < 2) {
        return std::nullopt;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + offset);
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::optional<std::uint32_t> u32At(std::string_view bytes, std::size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < 4) {
        return std::nullopt;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + offset);
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

// ---------------------------------------------------------------------------
// PE/COFF: the headers, the section table and the resource tree.

struct Section {
    std::uint32_t virtualAddress = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawOffset = 0;
};

struct PeImage {
    std::string_view bytes;
    std::vector<Section> sections;
    std::uint32_t resourceRva = 0;
    std::uint32_t resourceSize = 0;

    // The file bytes behind [rva, rva + size): inside one section's raw data
    // and inside the file, or nothing.
    std::optional<std::string_view> at(std::uint64_t rva, std::uint32_t size) const {
        for (const Section& s : sections) {
            if (rva < s.virtualAddress) {
                continue;
            }
            const std::uint64_t delta = rva - s.virtualAddress;
            if (delta + size > s.rawSize) {
                continue;
            }
            const std::uint64_t offset = std::uint64_t{s.rawOffset} + delta;
            if (offset + size > bytes.size()) {
                return std::nullopt;
            }
            return bytes.substr(static_cast<std::size_t>(offset), size);
        }
        return std::nullopt;
    }
};

constexpr std::uint16_t kPe32Magic = 0x10b;
constexpr std::uint16_t kPe32PlusMagic = 0x20b;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint16_t kMaxSections = 96;

std::optional<PeImage> parsePe(std::string_view bytes) {
    if (bytes.size() < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') {
        return std::nullopt;
    }
    const auto peOffset = u32At(bytes, 0x3c);
    if (!peOffset || *peOffset > bytes.size() || bytes.size() - *peOffset < 24 ||
        bytes.substr(*peOffset, 4) != std::string_view("PE\0\0", 4)) {
        return std::nullopt;
    }
    const std::size_t coff = *peOffset + 4;
    const auto sectionCount = u16At(bytes, coff + 2);
    const auto optionalSize = u16At(bytes, coff + 16);
    if (!sectionCount || !optionalSize || *sectionCount > kMaxSections) {
        return std::nullopt;
    }
    const std::size_t optional = coff + 20;
    const auto magic = u16At(bytes, optional);
    if (!magic) {
        return std::nullopt;
    }
    std::size_t countField = 0;
    if (*magic == kPe32Magic) {
        countField = 92;
    } else if (*magic == kPe32PlusMagic) {
        countField = 108;
    } else {
        return std::nullopt;
    }
    const std::size_t directories = countField + 4;
    const std::size_t resourceEntry = directories + kResourceDirectoryIndex * 8;
    const auto directoryCount = u32At(bytes, optional + countField);
    if (!directoryCount || *directoryCount <= kResourceDirectoryIndex ||
        resourceEntry + 8 > *optionalSize) {
        return std::nullopt;
    }
    PeImage image;
    image.bytes = bytes;
    const auto rva = u32At(bytes, optional + resourceEntry);
    const auto size = u32At(bytes, optional + resourceEntry + 4);
    if (!rva || !size || *rva == 0 || *size == 0) {
        return std::nullopt;
    }
    image.resourceRva = *rva;
    image.resourceSize = *size;

    const std::size_t table = optional + *optionalSize;
    for (std::uint16_t i = 0; i < *sectionCount; ++i) {
        const std::size_t header = table + std::size_t{i} * 40;
        const auto virtualAddress = u32At(bytes, header + 12);
        const auto rawSize = u32At(bytes, header + 16);
        const auto rawOffset = u32At(bytes, header + 20);
        if (!virtualAddress || !rawSize || !rawOffset) {
            return std::nullopt;
        }
        image.sections.push_back({*virtualAddress, *rawSize, *rawOffset});
    }
    return image;
}

// The resource tree has three levels: type, name, language. A walk goes down
// exactly three directories, so a directory that points back up the tree
// cannot make it go round for ever.
constexpr std::uint32_t kSubdirectoryBit = 0x80000000u;
constexpr std::uint32_t kRtVersion = 16;

struct DirectoryEntry {
    std::uint32_t name = 0;
    std::uint32_t target = 0; // with kSubdirectoryBit: a subdirectory's offset
};

std::optional<std::string_view> resourceBytes(const PeImage& image, std::uint32_t offset,
                                              std::uint32_t size) {
    if (offset > image.resourceSize || image.resourceSize - offset < size) {
        return std::nullopt;
    }
    return image.at(std::uint64_t{image.resourceRva} + offset, size);
}

// The entries of the directory at `offset` within the resource data: the
// named ones first, then those with numeric ids (the order they are stored).
std::optional<std::vector<DirectoryEntry>> directoryAt(const PeImage& image, std::uint32_t offset) {
    const auto header = resourceBytes(image, offset, 16);
    if (!header) {
        return std::nullopt;
    }
    const std::uint32_t count = std::uint32_t{*u16At(*header, 12)} + *u16At(*header, 14);
    const auto entries = resourceBytes(image, offset + 16, count * 8);
    if (!entries) {
        return std::nullopt;
    }
    std::vector<DirectoryEntry> result;
    result.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        result.push_back({*u32At(*entries, i * 8), *u32At(*entries, i * 8 + 4)});
    }
    return result;
}

std::optional<std::uint32_t> subdirectory(const DirectoryEntry& entry) {
    if ((entry.target & kSubdirectoryBit) == 0) {
        return std::nullopt;
    }
    return entry.target & ~kSubdirectoryBit;
}

// The bytes of the first version resource: type 16, its first name, that
// name's first language.
std::optional<std::string_view> versionResource(const PeImage& image) {
    const auto types = directoryAt(image, 0);
    if (!types) {
        return std::nullopt;
    }
    std::optional<std::uint32_t> names;
    for (const DirectoryEntry& entry : *types) {
        if (entry.name == kRtVersion) {
            names = subdirectory(entry);
            break;
        }
    }
    if (!names) {
        return std::nullopt;
    }
    const auto nameEntries = directoryAt(image, *names);
    if (!nameEntries || nameEntries->empty()) {
        return std::nullopt;
    }
    const auto languages = subdirectory(nameEntries->front());
    if (!languages) {
        return std::nullopt;
    }
    const auto languageEntries = directoryAt(image, *languages);
    if (!languageEntries || languageEntries->empty() ||
        (languageEntries->front().target & kSubdirectoryBit) != 0) {
        return std::nullopt;
    }
    const auto dataEntry = resourceBytes(image, languageEntries->front().target, 16);
    if (!dataEntry) {
        return std::nullopt;
    }
    // The data entry holds an address in the image, not a resource offset.
    return image.at(*u32At(*dataEntry, 0), *u32At(*dataEntry, 4));
}

// ---------------------------------------------------------------------------
// The version resource: nested blocks of
//   wLength, wValueLength, wType, szKey (UTF-16, NUL-terminated),
//   padding to 32 bits, Value, padding to 32 bits, Children
// with offsets aligned relative to the resource's start.

struct Block {
    std::u16string key;
    std::size_t valueStart = 0;
    std::size_t valueLength = 0; // as stored: bytes for binary, units for text
    std::uint16_t type = 0;      // 0 binary, 1 text
    std::size_t childrenStart = 0;
    std::size_t end = 0;
};

constexpr std::size_t align4(std::size_t offset) {
    return (offset + 3) & ~std::size_t{3};
}

// The block at `offset`, which must end by `limit`.
std::optional<Block> blockAt(std::string_view resource, std::size_t offset, std::size_t limit) {
    const auto length = u16At(resource, offset);
    const auto valueLength = u16At(resource, offset + 2);
    const auto type = u16At(resource, offset + 4);
    if (!length || !valueLength || !type || *length < 6 || *length > limit - offset) {
        return std::nullopt;
    }
    Block block;
    block.end = offset + *length;
    block.type = *type;
    block.valueLength = *valueLength;
    std::size_t at = offset + 6;
    for (;;) {
        if (at + 2 > block.end) {
            return std::nullopt; // the key has no terminating NUL inside the block
        }
        const auto unit = *u16At(resource, at);
        at += 2;
        if (unit == 0) {
            break;
        }
        block.key.push_back(static_cast<char16_t>(unit));
    }
    block.valueStart = std::min(align4(at), block.end);
    const std::size_t valueBytes = block.type == 1 ? block.valueLength * 2 : block.valueLength;
    block.childrenStart = std::min(align4(block.valueStart + valueBytes), block.end);
    return block;
}

// The first child of `parent` whose key equals `key` without regard to case.
std::optional<Block> childNamed(std::string_view resource, const Block& parent,
                                std::u16string_view key) {
    std::size_t at = parent.childrenStart;
    while (at < parent.end) {
        const auto child = blockAt(resource, at, parent.end);
        if (!child) {
            return std::nullopt;
        }
        if (hive::namesEqual(child->key, key)) {
            return child;
        }
        at = align4(child->end); // each child is at least 6 bytes: the walk moves on
    }
    return std::nullopt;
}

std::optional<Block> childPath(std::string_view resource, const Block& root,
                               std::initializer_list<std::u16string_view> path) {
    std::optional<Block> block = root;
    for (std::u16string_view key : path) {
        block = childNamed(resource, *block, key);
        if (!block) {
            return std::nullopt;
        }
    }
    return block;
}

// A string value: the text up to its terminating NUL, inside the block.
std::string textValue(std::string_view resource, const Block& block) {
    if (block.valueLength == 0) {
        return {};
    }
    std::u16string text;
    for (std::size_t at = block.valueStart; at + 2 <= block.end; at += 2) {
        const auto unit = *u16At(resource, at);
        if (unit == 0) {
            break;
        }
        text.push_back(static_cast<char16_t>(unit));
    }
    return hive::toUtf8(text);
}

std::string fileTypeText(std::uint32_t type, std::uint32_t subtype) {
    static constexpr std::array<const char*, 11> kDrivers = {
        "Unknown Driver",    "Printer Driver", "Keyboard Driver",      "Language Driver",
        "Display Driver",    "Mouse Driver",   "Network Driver",       "System Driver",
        "InstallableDriver", "Sound Driver",   "Communications Driver"};
    static constexpr std::array<const char*, 4> kFonts = {"Unknown Font", "Raster Font",
                                                          "Vector Font", "Truetype Font"};
    switch (type) {
    case 0:
        return "Unknown";
    case 1:
        return "Application";
    case 2:
        return "DLL";
    case 3:
        return subtype < kDrivers.size() ? kDrivers[subtype] : "";
    case 4:
        return subtype < kFonts.size() ? kFonts[subtype] : "";
    case 5:
        return fmt::format("Virtual Defice Identifier = {:08X}", subtype);
    case 7:
        return "Static-link Library";
    default:
        return {};
    }
}

constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BDu;
constexpr std::size_t kFixedInfoSize = 52;
constexpr std::uint32_t kPatchedFlag = 0x04;
constexpr std::uint32_t kInfoInferredFlag = 0x10;

void readFixedInfo(std::string_view resource, const Block& root, TFileVersionInfo& info) {
    if (root.valueLength < kFixedInfoSize || root.valueStart + root.valueLength > root.end) {
        return;
    }
    const std::string_view fixed = resource.substr(root.valueStart, kFixedInfoSize);
    if (*u32At(fixed, 0) != kFixedInfoSignature) {
        return;
    }
    const std::uint32_t mask = *u32At(fixed, 24);
    const std::uint32_t flags = *u32At(fixed, 28) & mask;
    info.FileType = fileTypeText(*u32At(fixed, 36), *u32At(fixed, 40));
    info.Patched = (flags & kPatchedFlag) != 0;
    info.InfoInferred = (flags & kInfoInferredFlag) != 0;
}

void readStrings(std::string_view resource, const Block& root, TFileVersionInfo& info) {
    const auto translation = childPath(resource, root, {u"VarFileInfo", u"Translation"});
    if (!translation || translation->valueLength < 4 ||
        translation->valueStart + 4 > translation->end) {
        return;
    }
    // Only the first pair counts: the language in the low half, the code page
    // in the high half.
    const std::uint32_t pair = *u32At(resource, translation->valueStart);
    const std::string tableName = fmt::format("{:04x}{:04x}", pair & 0xffff, pair >> 16);
    const auto wideName = hive::fromUtf8(tableName);
    const auto table = childPath(resource, root, {u"StringFileInfo", *wideName});
    if (!table) {
        return;
    }
    const auto lookUp = [&](std::u16string_view key, std::string& field) {
        if (const auto value = childNamed(resource, *table, key)) {
            field = textValue(resource, *value);
        }
    };
    lookUp(u"CompanyName", info.CompanyName);
    lookUp(u"FileDescription", info.FileDescription);
    lookUp(u"FileVersion", info.FileVersion);
    lookUp(u"InternalName", info.InternalName);
    lookUp(u"LegalCopyRight", info.LegalCopyright);
    lookUp(u"LegalTradeMarks", info.LegalTrademarks);
    lookUp(u"OriginalFileName", info.OriginalFileName);
    lookUp(u"ProductName", info.ProductName);
    lookUp(u"ProductVersion", info.ProductVersion);
}

// ---------------------------------------------------------------------------
// The file's facts.

constexpr std::uint32_t kReadOnly = 0x01;
constexpr std::uint32_t kHidden = 0x02;
constexpr std::uint32_t kSystem = 0x04;
constexpr std::uint32_t kVolumeLabel = 0x08;
constexpr std::uint32_t kDirectory = 0x10;
constexpr std::uint32_t kArchive = 0x20;
constexpr std::uint32_t kAttribute40 = 0x40;

// Seconds between 1601-01-01 (the start of Windows file times) and 1970-01-01.
constexpr std::int64_t kFileTimeEpochOffset = 11644473600;

// The creation time ntfs-3g shows as system.ntfs_crtime_be (a big-endian
// Windows file time), for a driver that gives no birth time through statx.
std::optional<struct timespec> ntfsCreationTime(const std::filesystem::path& file) {
    std::array<unsigned char, 8> b{};
    if (::getxattr(file.c_str(), "system.ntfs_crtime_be", b.data(), b.size()) != 8) {
        return std::nullopt;
    }
    std::uint64_t fileTime = 0;
    for (const unsigned char byte : b) {
        fileTime = (fileTime << 8) | byte;
    }
    constexpr std::uint64_t kTicksPerSecond = 10000000;
    struct timespec time {};
    time.tv_sec = static_cast<time_t>(static_cast<std::int64_t>(fileTime / kTicksPerSecond) -
                                      kFileTimeEpochOffset);
    time.tv_nsec = static_cast<long>(fileTime % kTicksPerSecond) * 100;
    return time;
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// A host time as a date-time: days since 1899-12-30 in local time, the
// fraction of the day to the millisecond. 0 for a time that is Windows' zero
// (1601-01-01 00:00 UTC or earlier) or cannot be converted.
double toDateTime(const struct timespec& time) {
    if (time.tv_sec <= -kFileTimeEpochOffset) {
        return 0;
    }
    struct tm local {};
    const time_t seconds = time.tv_sec;
    if (::localtime_r(&seconds, &local) == nullptr) {
        return 0;
    }
    const std::int64_t days =
        daysFromCivil(std::int64_t{local.tm_year} + 1900, static_cast<unsigned>(local.tm_mon + 1),
                      static_cast<unsigned>(local.tm_mday)) -
        daysFromCivil(1899, 12, 30);
    const double fraction =
        (local.tm_hour * 3600.0 + local.tm_min * 60.0 + std::min(local.tm_sec, 59) +
         static_cast<double>(time.tv_nsec / 1000000) / 1000.0) /
        86400.0;
    const auto whole = static_cast<double>(days);
    // Before the epoch day the fraction counts away from zero, as date-times do.
    return days < 0 ? whole - fraction : whole + fraction;
}

void readFacts(const std::filesystem::path& host, TFileVersionInfo& info) {
    struct statx sx {};
    if (::statx(AT_FDCWD, host.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) {
        return;
    }
    const struct timespec access = {sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec};
    if (access.tv_sec > -kFileTimeEpochOffset) {
        if ((sx.stx_mask & STATX_BTIME) != 0) {
            info.CreationTime = toDateTime({sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec});
        } else if (const auto created = ntfsCreationTime(host)) {
            info.CreationTime = toDateTime(*created);
        }
        info.LastAccessTime = toDateTime(access);
        info.LastWriteTime = toDateTime({sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec});
    }

    std::uint32_t attributes = hive::ntfsAttributes(host).value_or(0);
    if ((sx.stx_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        attributes |= kReadOnly;
    }
    if (S_ISDIR(sx.stx_mode)) {
        attributes |= kDirectory;
    } else {
        attributes &= ~kDirectory;
    }
    info.ReadOnly = (attributes & kReadOnly) != 0;
    info.Hidden = (attributes & kHidden) != 0;
    info.System = (attributes & kSystem) != 0;
    info.VolumeLabel = (attributes & kVolumeLabel) != 0;
    info.Directory = (attributes & kDirectory) != 0;
    info.Archive = (attributes & kArchive) != 0;
    info.Attribute40 = (attributes & kAttribute40) != 0;
}

// The whole of a regular file, when it is one and no larger than the cap.
// Opened without waiting, so a FIFO or device planted under a program's name
// cannot stall the reader, and where allowed without touching its access time.
std::optional<std::string> readWholeFile(const std::filesystem::path& host) {
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    int fd = ::open(host.c_str(), kFlags | O_NOATIME);
    if (fd < 0 && errno == EPERM) {
        fd = ::open(host.c_str(), kFlags); // O_NOATIME needs the file's owner or root
    }
    if (fd < 0) {
        return std::nullopt;
    }
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFileBytes) {
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n =
            ::pread(fd, bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return std::nullopt;
        }
        if (n == 0) {
            break; // the file shrank while it was read: take what is there
        }
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

} // namespace

TFileVersionInfo readVersionResource(std::string_view fileBytes) {
    TFileVersionInfo info;
    const auto image = parsePe(fileBytes);
    if (!image) {
        return info;
    }
    const auto resource = versionResource(*image);
    if (!resource) {
        return info;
    }
    const auto root = blockAt(*resource, 0, resource->size());
    if (!root) {
        return info;
    }
    readStrings(*resource, *root, info);
    readFixedInfo(*resource, *root, info);
    return info;
}

TFileVersionInfo ReadFileVersionInfo(const platform::DriveTable& drives,
                                     std::string_view windowsPath) {
    const auto host = platform::toHostPath(drives, windowsPath);
    if (!host) {
        return {};
    }
    // The facts first: reading the file must not show up in its access time.
    TFileVersionInfo facts;
    readFacts(*host, facts);
    if (!platform::FileExists(drives, windowsPath)) {
        return facts;
    }
    struct stat st {};
    facts.Size = ::stat(host->c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
    const auto bytes = readWholeFile(*host);
    if (!bytes) {
        return facts;
    }
    TFileVersionInfo info = readVersionResource(*bytes);
    info.CreationTime = facts.CreationTime;
    info.LastAccessTime = facts.LastAccessTime;
    info.LastWriteTime = facts.LastWriteTime;
    info.ReadOnly = facts.ReadOnly;
    info.Hidden = facts.Hidden;
    info.System = facts.System;
    info.VolumeLabel = facts.VolumeLabel;
    info.Directory = facts.Directory;
    info.Archive = facts.Archive;
    info.Attribute40 = facts.Attribute40;
    info.Size = facts.Size;
    return info;
}

} // namespace engine::rules
