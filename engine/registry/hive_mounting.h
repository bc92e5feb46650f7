#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace engine {
struct Context;
}

namespace engine::registry {

inline constexpr std::string_view kSoftwareMount = "LoadedHiveSoftware";
inline constexpr std::string_view kUserMount = "LoadedUserHive";
inline constexpr std::string_view kRestorePrivilege = "SeRestorePrivilege";

// What the process token says when asked to enable or disable a privilege:
// the last error code Windows would leave (0: done; 1300, ERROR_NOT_ALL_ASSIGNED:
// the token lacks it; 1313, ERROR_NO_SUCH_PRIVILEGE: an unknown name). A live
// medium running as root on Linux has every right a mount needs, so the
// default source behaves as a platform outside the NT family: nothing to
// adjust. Tests inject one that answers otherwise.
struct PrivilegeSource {
    bool ntFamily = false;
    std::function<std::uint32_t(std::string_view name, bool enable)> adjust;
};

// The error SetPrivilege raises: the system's text for the error code.
class PrivilegeError : public std::runtime_error {
public:
    PrivilegeError(std::uint32_t code, const std::string& text)
        : std::runtime_error(text)
        , code_(code) {}
    std::uint32_t code() const { return code_; }

private:
    std::uint32_t code_;
};

// The system's message text for an error code, as FormatMessage gives it.
std::string systemMessage(std::uint32_t code);

// Enables (or disables) a privilege in the process token; true on success,
// PrivilegeError otherwise. Outside the NT family: true, nothing done.
bool SetPrivilege(const Context& context, std::string_view privilegeName, bool enable);

// Enables SeRestorePrivilege, then mounts the hive file (a Windows path,
// mapped through the drive table) under HKEY_LOCAL_MACHINE\mountName. False
// when the file is missing, not a hive, damaged, cannot be written, lies on
// a hibernated volume, is dirty with logs that cannot be applied, the name is
// taken or the same file is mounted under the other name; the reason is in
// context.registry.lastOutcome(). A dirty hive with usable logs is recovered
// and mounts.
bool LoadHive(Context& context, std::string_view mountName, std::string_view hiveFile);

// Enables SeRestorePrivilege, then writes the mount's changes back into its
// file (only when something changed, crash-safely) and unmounts it. False
// when the name is not mounted or the write-back failed; then the mount
// stays with its changes.
bool UnloadHive(Context& context, std::string_view mountName);

} // namespace engine::registry
