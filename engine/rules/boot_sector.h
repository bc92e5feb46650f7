#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "context/context.h"
#include "platform/launcher.h"

namespace engine::rules {

// Rewriting the boot code with the platform's boot-sector tool. The program
// only starts the tool (in a normal window, not waited for); what the tool
// does is its own business, and nothing is reported.

// The two fixed commands, always for drive C:.
inline constexpr const char* kXpBootSectorOnCCommand = "\"bootsect.exe\" /nt52 C: /mbr";
inline constexpr const char* kVista7BootSectorOnCCommand = "\"bootsect.exe\" /nt60 C: /mbr";

void restoreXpBootSectorOnC(platform::Launcher& launcher);
void restoreVista7BootSectorOnC(platform::Launcher& launcher);

// The command for an installation: the boot code of XP (/nt52) when its
// product name is exactly "Microsoft Windows XP" without regard to case,
// that of Vista and later (/nt60) for any other name, on the drive of its
// SOFTWARE hive's path in upper case. nullopt when the path has no drive.
std::optional<std::string> bootSectorCommand(std::string_view systemHive,
                                             std::string_view productName);

// The same for the installation selected in the console's system list, with
// the mounted system's product name; starts it. Nothing is started when the
// index is outside the list or its entry has no drive.
std::optional<std::string> mountedSystemBootSectorCommand(const Context& context,
                                                          std::size_t selected);
void restoreMountedSystemBootSector(const Context& context, std::size_t selected,
                                    platform::Launcher& launcher);

} // namespace engine::rules
