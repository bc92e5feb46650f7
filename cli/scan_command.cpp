#include "cli/scan_command.h"

#include <cstdlib>

#include "cli/app.h"
#include "context/context.h"
#include "discovery/find_systems.h"

namespace cli {

ScanCommand::ScanCommand(CLI::App& app, std::ostream& out, std::ostream& err)
    : out_(out)
    , err_(err) {
    scan_ = app.add_subcommand("scan", "Найти установленные Windows на несъёмных дисках");
    drives_.addTo(*scan_);
    scan_->footer(R"(
Без --drive, --removable и --cdrom диски находятся сами: тома NTFS, FAT и exFAT,
смонтированные в этой системе (/proc/self/mountinfo). Буквы им даются такие, какими
их называет найденная Windows (MountedDevices её куста SYSTEM), остальным - по
порядку устройств начиная с c:. Диск из переменной окружения windir (работающая
система) не просматривается.)");
}

int ScanCommand::run() {
    engine::Context context;
    auto table = drives_.tableOrDetected();
    if (!table) {
        err_ << "morvalin-cli scan: " << table.error() << '\n';
        return kExitError;
    }
    context.drives = std::move(*table);
    if (const char* windir = std::getenv("windir"); windir != nullptr) {
        context.windir = windir;
    }
    std::vector<std::string> lines;
    engine::discovery::FindSystems(context, lines);
    for (const auto& line : lines) {
        out_ << line << '\n';
    }
    return kExitOk;
}

} // namespace cli
