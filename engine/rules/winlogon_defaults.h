#pragma once

#include <string>
#include <string_view>

#include "platform/latin_case.h"
#include "rules/watched_keys.h"

namespace engine::rules {

using platform::equalIgnoringLatinCase;

// The healthy Winlogon values of an installation and what they are reset to.

// The shell Windows starts after logon, as it is written back.
inline constexpr std::string_view kDefaultShell = "Explorer.exe";
// The shell as judged (any letter case).
inline constexpr std::string_view kHealthyShell = "explorer.exe";

// The user-initialisation program by its bare name: healthy everywhere, and
// the reset value in the 64-bit view's Winlogon key.
inline constexpr std::string_view kUserinitName = "userinit.exe";

// R\system32\userinit.exe, with R the installation's own SystemRoot as it
// names it (never remapped to the live drive letter).
inline std::string userinitPath(std::string_view systemRoot) {
    return std::string(systemRoot) + "\\system32\\userinit.exe";
}
// The same followed by the comma Windows writes: the 32-bit reset value.
inline std::string userinitDefault32(std::string_view systemRoot) {
    return userinitPath(systemRoot) + ",";
}

inline bool isHealthyShell(std::string_view shell) {
    return equalIgnoringLatinCase(shell, kHealthyShell);
}

// One of the three accepted forms: "userinit.exe", R\system32\userinit.exe
// with or without its trailing comma; any letter case.
inline bool isHealthyUserinit(std::string_view userinit, std::string_view systemRoot) {
    return equalIgnoringLatinCase(userinit, kUserinitName) ||
           equalIgnoringLatinCase(userinit, userinitDefault32(systemRoot)) ||
           equalIgnoringLatinCase(userinit, userinitPath(systemRoot));
}

// The two Winlogon keys of an installation: the native one, which the logon
// of every Windows reads, and on a 64-bit Windows the Wow6432Node one.
enum class WinlogonKey { Native, Wow6432Node };

// The path below HKEY_LOCAL_MACHINE of a Winlogon key.
inline std::string_view winlogonKeyPath(WinlogonKey key) {
    return key == WinlogonKey::Native ? kNativeWinlogonKey : kWowWinlogonKey;
}

// The four values of a Winlogon key as read (a missing value reads empty).
struct WinlogonValues {
    std::string shell;
    std::string userinit;
    std::string taskman;
    std::string gina;
};

// Which of them hold a lock: what the automatic pass heals and the console
// shows in red.
struct WinlogonVerdict {
    bool shell = false;
    bool userinit = false;
    bool taskman = false;
    bool gina = false;
    bool any() const { return shell || userinit || taskman || gina; }
};

// The one judgement of a Winlogon key, for both modes. Shell and Userinit
// are a lock when they are not their defaults; Taskman and GinaDll when they
// hold any text.
//
// The Wow6432Node key is the exception for an absent (or empty) Shell or
// Userinit: WOW64 redirects HKLM\SOFTWARE and Winlogon is not among the keys
// it shares, so that key is a copy of its own that only 32-bit programs see.
// Winlogon itself is a 64-bit program and never reads it, and a 64-bit
// Windows need not write Shell or Userinit there at all. Their absence there
// locks nothing; a value that is there and is not the default is still a
// locker's (it names its program, and 32-bit tools read it).
inline WinlogonVerdict judgeWinlogon(WinlogonKey key, const WinlogonValues& values,
                                     std::string_view systemRoot) {
    const bool wow = key == WinlogonKey::Wow6432Node;
    WinlogonVerdict verdict;
    verdict.shell = !(wow && values.shell.empty()) && !isHealthyShell(values.shell);
    verdict.userinit =
        !(wow && values.userinit.empty()) && !isHealthyUserinit(values.userinit, systemRoot);
    verdict.taskman = !values.taskman.empty();
    verdict.gina = !values.gina.empty();
    return verdict;
}

} // namespace engine::rules
