#pragma once

#include <string_view>

namespace engine::rules {

// The keys of the mounted hives that the checks watch, as registry paths
// below HKEY_LOCAL_MACHINE.

inline constexpr std::string_view kCurrentVersionKey =
    "LoadedHiveSoftware\\Microsoft\\Windows NT\\CurrentVersion";
// The Winlogon key a 64-bit Windows' logon reads, and its 32-bit view.
inline constexpr std::string_view kNativeWinlogonKey =
    "LoadedHiveSoftware\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
inline constexpr std::string_view kWowWinlogonKey =
    "LoadedHiveSoftware\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

// The user's policies (shell, registry editor and task manager locks), the
// user's Winlogon and Windows keys (shell, load) and the command prompt lock.
inline constexpr std::string_view kUserPolicyKey =
    "LoadedUserHive\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
inline constexpr std::string_view kUserWinlogonKey =
    "LoadedUserHive\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
inline constexpr std::string_view kUserWindowsKey =
    "LoadedUserHive\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
inline constexpr std::string_view kUserCommandPolicyKey =
    "LoadedUserHive\\Software\\Policies\\Microsoft\\Windows\\System";

// The mounted user's own Internet settings (the proxy), and the keys that
// name a program's replacement ("Debugger") by its file name.
inline constexpr std::string_view kUserInternetSettingsKey =
    "LoadedUserHive\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
inline constexpr std::string_view kImageFileExecutionOptionsKey =
    "LoadedHiveSoftware\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options";

} // namespace engine::rules
