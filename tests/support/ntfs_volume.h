#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace test {

// A real NTFS volume for a test: a 64 MiB image file made with mkntfs and
// mounted with ntfs-3g through FUSE (as root), unmounted with the object.
class NtfsVolume {
public:
    // Makes and mounts the volume inside `workDir` with ntfs-3g's `options`
    // (for example "compression" or "ro"); nullptr, with the reason in
    // `whyNot`, when that is not possible here (not root, no /dev/fuse, no
    // mkntfs or ntfs-3g).
    static std::unique_ptr<NtfsVolume> create(const std::filesystem::path& workDir,
                                              std::string& whyNot, const std::string& options = "");
    NtfsVolume(const NtfsVolume&) = delete;
    NtfsVolume& operator=(const NtfsVolume&) = delete;
    ~NtfsVolume();

    const std::filesystem::path& root() const { return mountPoint_; }
    // Unmounts and mounts the same image again with other options; the
    // reason when that fails.
    std::optional<std::string> remount(const std::string& options);

private:
    NtfsVolume(std::filesystem::path image, std::filesystem::path mountPoint)
        : image_(std::move(image))
        , mountPoint_(std::move(mountPoint)) {}
    std::optional<std::string> mount(const std::string& options);
    void unmount();

    std::filesystem::path image_;
    std::filesystem::path mountPoint_;
    bool mounted_ = false;
};

// An extended attribute's bytes, nullopt when the file has none of that name.
std::optional<std::vector<std::uint8_t>> readXattr(const std::filesystem::path& file,
                                                   const std::string& name);
bool writeXattr(const std::filesystem::path& file, const std::string& name,
                const std::vector<std::uint8_t>& value);

// Turns the empty folder `folder` on an ntfs-3g volume into an NTFS junction
// to `windowsTarget` ("C:\\Users"), as Windows makes "Documents and
// Settings"; false when the driver refuses it.
bool makeJunction(const std::filesystem::path& folder, const std::string& windowsTarget);

} // namespace test
