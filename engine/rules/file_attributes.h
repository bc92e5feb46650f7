#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include <tl/expected.hpp>

namespace engine::rules {

// The Windows attributes that keep a file from being replaced or deleted, or
// hide it: read-only, hidden, system and archive.
inline constexpr std::uint32_t kAttributeReadOnly = 0x1;
inline constexpr std::uint32_t kAttributeHidden = 0x2;
inline constexpr std::uint32_t kAttributeSystem = 0x4;
inline constexpr std::uint32_t kAttributeArchive = 0x20;
inline constexpr std::uint32_t kClearedAttributes =
    kAttributeReadOnly | kAttributeHidden | kAttributeSystem | kAttributeArchive;

// Clears the read-only, hidden, system and archive attributes of a file or
// folder, as "attrib -h -s -a -r" does: through the NTFS driver's extended
// attribute where the file system has one (ntfs-3g: system.ntfs_attrib_be,
// ntfs3: system.dos_attrib), and read-only also by giving the owner write
// permission. A symbolic link is never followed: the link itself is left as
// it is. The reason, for a person, when it could not be done.
tl::expected<void, std::string> ClearFileAttributes(const std::filesystem::path& file);

} // namespace engine::rules
