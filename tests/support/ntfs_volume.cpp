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

} // namespace test
