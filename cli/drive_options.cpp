#include "cli/drive_options.h"

#include "platform/drive_detection.h"

namespace cli {

using engine::platform::DriveType;

void DriveOptions::addTo(CLI::App& command) {
    command.add_option("--drive", fixed_, "Несъёмный диск: буква и папка, например c=/mnt/sda2")
        ->type_name("L=DIR");
    command.add_option("--removable", removable_, "Съёмный диск: буква и папка")
        ->type_name("L=DIR");
    command.add_option("--cdrom", cdrom_, "Компакт-диск: буква и папка")->type_name("L=DIR");
}

tl::expected<engine::platform::DriveTable, std::string> DriveOptions::table() const {
    engine::platform::DriveTable table;
    const struct {
        const std::vector<std::string>& options;
        DriveType type;
    } kinds[] = {
        {fixed_, DriveType::Fixed}, {removable_, DriveType::Removable}, {cdrom_, DriveType::Cdrom}};
    for (const auto& kind : kinds) {
        for (const auto& option : kind.options) {
            auto drive = engine::platform::parseDriveOption(option, kind.type);
            if (!drive) {
                return tl::unexpected(drive.error());
            }
            table.add(drive->letter, drive->type, drive->root);
        }
    }
    return table;
}

tl::expected<engine::platform::DriveTable, std::string> DriveOptions::tableOrDetected() const {
    if (given()) {
        return table();
    }
    return engine::platform::detectDrives();
}

} // namespace cli
