#include "support/ntfs_volume.h"

#include <sys/xattr.h>
#include <unistd.h>

#include "support/test_files.h"

namespace test {

std::unique_ptr<NtfsVolume> NtfsVolume::create(const std::filesystem::path& workDir,
                                               std::string& whyNot, const std::string& options) {
    if (::geteuid() != 0) {
        whyNot = "mounting an NTFS image through FUSE needs root";
        return nullptr;
    }
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        whyNot = "no usable /dev/fuse here";
        return nullptr;
    }
    for (const char* tool : {"mkntfs", "ntfs-3g"}) {
        if (runCommand(std::string("command -v ") + tool).status != 0) {
            whyNot = std::string(tool) + " is not installed (Debian package ntfs-3g)";
            return nullptr;
        }
    }
    const auto image = workDir / "ntfs.img";
    const auto mountPoint = workDir / "ntfs";
    std::filesystem::create_directories(mountPoint);
    const auto made = runCommand("truncate -s 64M " + shellQuote(image.string()) +
                                 " && mkntfs -F -Q " + shellQuote(image.string()));
    if (made.status != 0) {
        whyNot = "mkntfs failed: " + made.output;
        return nullptr;
    }
    std::unique_ptr<NtfsVolume> volume(new NtfsVolume(image, mountPoint));
    if (auto failed = volume->mount(options)) {
        whyNot = *failed;
        return nullptr;
    }
    return volume;
}

NtfsVolume::~NtfsVolume() {
    unmount();
}

std::optional<std::string> NtfsVolume::mount(const std::string& options) {
    const auto mounted =
        runCommand("ntfs-3g " + (options.empty() ? "" : "-o " + options + " ") +
                   shellQuote(image_.string()) + " " + shellQuote(mountPoint_.string()));
    if (mounted.status != 0) {
        return "ntfs-3g could not mount the image: " + mounted.output;
    }
    mounted_ = true;
    return std::nullopt;
}

void NtfsVolume::unmount() {
    if (mounted_) {
        runCommand("umount " + shellQuote(mountPoint_.string()));
        mounted_ = false;
    }
}

std::optional<std::string> NtfsVolume::remount(const std::string& options) {
    unmount();
    return mount(options);
}

std::optional<std::vector<std::uint8_t>> readXattr(const std::filesystem::path& file,
                                                   const std::string& name) {
    const ssize_t size = ::getxattr(file.c_str(), name.c_str(), nullptr, 0);
    if (size < 0) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> value(static_cast<std::size_t>(size));
    const ssize_t got = ::getxattr(file.c_str(), name.c_str(), value.data(), value.size());
    if (got < 0) {
        return std::nullopt;
    }
    value.resize(static_cast<std::size_t>(got));
    return value;
}

bool writeXattr(const std::filesystem::path& file, const std::string& name,
                const std::vector<std::uint8_t>& value) {
    return ::setxattr(file.c_str(), name.c_str(), value.data(), value.size(), 0) == 0;
}

namespace {

// The UTF-16LE bytes of an ASCII path.
std::vector<std::uint8_t> utf16(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    for (const char c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c));
        bytes.push_back(0);
    }
    return bytes;
}

void putLe(std::vector<std::uint8_t>& bytes, std::uint32_t value, int width) {
    for (int n = 0; n < width; ++n) {
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * n)));
    }
}

} // namespace

bool makeJunction(const std::filesystem::path& folder, const std::string& windowsTarget) {
    // A mount-point reparse point: the substitute name "\??\C:\Users" and
    // the print name "C:\Users", each ending in a NUL.
    const auto substitute = utf16("\\??\\" + windowsTarget);
    const auto print = utf16(windowsTarget);
    std::vector<std::uint8_t> body;
    putLe(body, 0, 2);
    putLe(body, static_cast<std::uint32_t>(substitute.size()), 2);
    putLe(body, static_cast<std::uint32_t>(substitute.size() + 2), 2);
    putLe(body, static_cast<std::uint32_t>(print.size()), 2);
    body.insert(body.end(), substitute.begin(), substitute.end());
    putLe(body, 0, 2);
    body.insert(body.end(), print.begin(), print.end());
    putLe(body, 0, 2);
    std::vector<std::uint8_t> data;
    putLe(data, 0xA0000003, 4);
    putLe(data, static_cast<std::uint32_t>(body.size()), 2);
    putLe(data, 0, 2);
    data.insert(data.end(), body.begin(), body.end());
    return writeXattr(folder, "system.ntfs_reparse_data", data);
}

} // namespace test
