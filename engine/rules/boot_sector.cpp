#include "rules/boot_sector.h"

#include "platform/latin_case.h"
#include "platform/windows_paths.h"

namespace engine::rules {

namespace {

constexpr std::string_view kXpProductName = "Microsoft Windows XP";

void start(platform::Launcher& launcher, const std::string& command) {
    launcher.run(command, platform::ShowMode::Normal);
}

} // namespace

void restoreXpBootSectorOnC(platform::Launcher& launcher) {
    start(launcher, kXpBootSectorOnCCommand);
}

void restoreVista7BootSectorOnC(platform::Launcher& launcher) {
    start(launcher, kVista7BootSectorOnCCommand);
}

std::optional<std::string> bootSectorCommand(std::string_view systemHive,
                                             std::string_view productName) {
    const std::string drive = platform::upperLatin(platform::driveOf(systemHive));
    if (drive.empty()) {
        return std::nullopt;
    }
    const bool xp = platform::equalIgnoringLatinCase(productName, kXpProductName);
    return std::string(xp ? "\"bootsect.exe\" /nt52 " : "\"bootsect.exe\" /nt60 ") + drive +
           " /mbr";
}

std::optional<std::string> mountedSystemBootSectorCommand(const Context& context,
                                                          std::size_t selected) {
    if (selected >= context.SystemHives.size()) {
        return std::nullopt;
    }
    return bootSectorCommand(context.SystemHives[selected], context.LoadedProductName);
}

void restoreMountedSystemBootSector(const Context& context, std::size_t selected,
                                    platform::Launcher& launcher) {
    if (const auto command = mountedSystemBootSectorCommand(context, selected)) {
        start(launcher, *command);
    }
}

} // namespace engine::rules
