#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>

#include "hive/error.h"

namespace engine::hive {

// Windows file attribute bits that decide whether a hive file may be written
// in place.
inline constexpr std::uint32_t kAttributeSparse = 0x200;
inline constexpr std::uint32_t kAttributeCompressed = 0x800;
inline constexpr std::uint32_t kAttributeEncrypted = 0x4000;

// What the checks before a write-back need to know about a file and the
// volume it lies on.
struct FileFacts {
    std::uint64_t size = 0;
    // Bytes of storage the file system has allocated for the file.
    std::uint64_t allocated = 0;
    bool readOnlyVolume = false;
    // The volume is NTFS by its file system type (the ntfs3 or old ntfs
    // kernel driver); a FUSE volume such as ntfs-3g shows its NTFS nature
    // through `attributes` instead.
    bool ntfsVolume = false;
    // The file's Windows attributes, where the NTFS driver shows them as an
    // extended attribute; nullopt elsewhere.
    std::optional<std::uint32_t> attributes;
};

// One file open for reading and writing. Every operation says whether it
// worked; nothing is retried behind the caller's back, so an error is never
// mistaken for success.
class OpenFile {
public:
    virtual ~OpenFile() = default;

    virtual Result<std::uint64_t> size() = 0;
    // Reads up to buffer.size() bytes at offset; returns how many were read
    // (fewer only at the end of the file).
    virtual Result<std::size_t> read(std::uint64_t offset, std::span<std::uint8_t> buffer) = 0;
    // Writes at offset, growing the file when the write ends past it; returns
    // how many bytes the system took, which may be fewer than given.
    virtual Result<std::size_t> write(std::uint64_t offset,
                                      std::span<const std::uint8_t> bytes) = 0;
    // Makes every write so far durable, the file's new length included.
    virtual Result<void> sync() = 0;
};

struct Opened {
    std::unique_ptr<OpenFile> file;
    bool created = false; // the file did not exist before
};

// The file operations of a write-back, so that tests can record them or make
// them fail. A file is never truncated: it keeps its identity (inode), its
// security descriptor and its attributes.
class FileIo {
public:
    virtual ~FileIo() = default;

    // Opens an existing file for reading and writing; with `create`, a missing
    // file is created empty.
    virtual Result<Opened> open(const std::filesystem::path& file, bool create) = 0;
    // Makes the folder's entries durable (after a file was created in it).
    virtual Result<void> syncFolder(const std::filesystem::path& folder) = 0;
    virtual Result<FileFacts> facts(const std::filesystem::path& file) = 0;
};

// The real thing: open(2) with O_CLOEXEC and O_NOFOLLOW, never O_TRUNC, pread/pwrite,
// fdatasync for files and fsync for folders, statvfs, and the NTFS drivers'
// attribute extended attributes (ntfs-3g's system.ntfs_attrib_be and
// system.ntfs_attrib, ntfs3's system.dos_attrib).
class PosixFileIo final : public FileIo {
public:
    Result<Opened> open(const std::filesystem::path& file, bool create) override;
    Result<void> syncFolder(const std::filesystem::path& folder) override;
    Result<FileFacts> facts(const std::filesystem::path& file) override;
};

// The file's Windows attributes from the NTFS driver's extended attributes
// (ntfs-3g: system.ntfs_attrib_be, system.ntfs_attrib; ntfs3:
// system.dos_attrib); nullopt where the file system shows none.
std::optional<std::uint32_t> ntfsAttributes(const std::filesystem::path& file);

// Writes all of `bytes` at offset, or says why not (an error, or the system
// taking fewer bytes than given: a short write is a failure, not retried).
Result<void> writeExactly(OpenFile& file, std::uint64_t offset,
                          std::span<const std::uint8_t> bytes);

} // namespace engine::hive
