#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hive/file_io.h"
#include "hive/hive.h"
#include "hive/log_writer.h"
#include "platform/drive_table.h"

namespace engine::registry {

// Why the last mount or unmount did not happen (or what it did besides), so
// that a caller can tell the operator more than the bare false.
enum class MountFailure {
    None,
    NameInUse,        // a hive is already mounted under that name
    AlreadyMounted,   // the same file is mounted under the other name
    NotMounted,       // unmount of a name that is not mounted
    Missing,          // no such file, or its drive is not in the table
    NotAHive,         // the file is not a hive, or it is damaged
    DirtyWithoutLogs, // dirty, and its transaction logs cannot be applied
    Hibernated,       // its volume holds a hibernation image
    ReadOnly,         // the file or its volume cannot be written
    Damaged,          // the structural check refuses to change it
    WriteBackFailed,  // unmount: the changes could not be written back
};

struct MountOutcome {
    MountFailure failure = MountFailure::None;
    std::string detail;     // the engine's own words, for a log line
    bool recovered = false; // mount: the hive was dirty and was recovered from its logs
};

// A hive mounted under a name of HKEY_LOCAL_MACHINE.
struct Mount {
    std::string name;     // as given ("LoadedHiveSoftware")
    std::string hiveFile; // the Windows path it was mounted from
    std::filesystem::path host;
    hive::Hive hive;
};

// The registry of the running program: HKEY_LOCAL_MACHINE holds just the
// mounted hives, each an open hive of the engine; HKEY_CURRENT_USER is an
// empty root (reads find nothing, writes fail). Names compare as Windows
// compares them.
class OfflineRegistry {
public:
    // `io` does the file operations of every write-back; the real files
    // when null.
    explicit OfflineRegistry(std::shared_ptr<hive::FileIo> io);
    // Not explicit, so that a Context can be made with Context{}.
    OfflineRegistry()
        : OfflineRegistry(nullptr) {}

    // Mounts the hive at `host` (the Windows path `hiveFile`, on the volume
    // whose root is `volumeRoot`) under `name`; false with the reason in
    // lastOutcome() when it cannot be, a hive the write policy keeps from
    // being written included (write_policy.h).
    bool mount(std::string_view name, std::string_view hiveFile, const std::filesystem::path& host,
               const std::filesystem::path& volumeRoot = {});
    // Writes the changes back (only when something changed) and unmounts;
    // on failure the mount stays, with its changes, and lastOutcome() says
    // why in the engine's words (without the host path).
    bool unmount(std::string_view name);
    // Unmounts without writing anything back: the mount's changes are lost,
    // its file is left as it is. False when the name is not mounted.
    bool discard(std::string_view name);
    const MountOutcome& lastOutcome() const { return last_; }
    // Records a mount refused before it reached the registry (a path that
    // names no file); returns false.
    bool refuse(MountFailure failure, std::string detail);

    Mount* find(std::string_view name);
    const std::vector<std::unique_ptr<Mount>>& mounts() const { return mounts_; }

    // A key path below HKEY_LOCAL_MACHINE ("LoadedHiveSoftware\Microsoft")
    // split into its mount and the path inside the hive ("Microsoft"); null
    // mount when its first component is not mounted.
    struct Resolved {
        Mount* mount = nullptr;
        std::string inner;
    };
    Resolved resolve(std::string_view keyPath);

    // Replaces the file operations of later write-backs (the real files
    // when null).
    void setFileIo(std::shared_ptr<hive::FileIo> io);

    // The Windows whose log format a write-back uses for a hive without logs.
    void setWindowsGeneration(std::optional<hive::WindowsGeneration> generation) {
        windows_ = generation;
    }
    // Where key timestamps and written times come from (a FILETIME); the
    // system clock when empty.
    void setClock(std::function<std::uint64_t()> clock) { clock_ = std::move(clock); }

private:
    std::shared_ptr<hive::FileIo> io_;
    std::vector<std::unique_ptr<Mount>> mounts_;
    MountOutcome last_;
    std::optional<hive::WindowsGeneration> windows_;
    std::function<std::uint64_t()> clock_;
};

} // namespace engine::registry
