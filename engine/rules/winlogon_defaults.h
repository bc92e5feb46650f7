#pragma once

#include <string>
#include <string_view>

#include "platform/latin_case.h"

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

} // namespace engine::rules
