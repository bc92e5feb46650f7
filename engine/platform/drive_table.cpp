#include "platform/drive_table.h"

#include <algorithm>
#include <system_error>

namespace engine::platform {

std::optional<char> driveLetter(char c) {
    if (c >= 'A' && c <= 'Z') {
        return static_cast<char>(c - 'A' + 'a');
    }
    if (c >= 'a' && c <= 'z') {
        return c;
    }
    return std::nullopt;
}

void DriveTable::add(char letter, DriveType type, std::filesystem::path root) {
    const auto lower = driveLetter(letter);
    if (!lower) {
        return;
    }
    const auto at = std::lower_bound(drives_.begin(), drives_.end(), *lower,
                                     [](const Drive& d, char l) { return d.letter < l; });
    if (at != drives_.end() && at->letter == *lower) {
        at->type = type;
        at->root = std::move(root);
        return;
    }
    drives_.insert(at, Drive{*lower, type, std::move(root)});
}

const Drive* DriveTable::find(char letter) const {
    const auto lower = driveLetter(letter);
    if (!lower) {
        return nullptr;
    }
    for (const auto& drive : drives_) {
        if (drive.letter == *lower) {
            return &drive;
        }
    }
    return nullptr;
}

std::uint32_t DriveTable::logicalDrives() const {
    std::uint32_t mask = 0;
    for (const auto& drive : drives_) {
        mask |= 1u << (drive.letter - 'a');
    }
    return mask;
}

DriveType DriveTable::type(std::string_view drive) const {
    const bool form = (drive.size() == 2 || (drive.size() == 3 && drive[2] == '\\')) &&
                      drive[1] == ':' && driveLetter(drive[0]);
    if (!form) {
        return DriveType::Unknown;
    }
    const Drive* found = find(drive[0]);
    return found ? found->type : DriveType::NoRootDir;
}

tl::expected<Drive, std::string> parseDriveOption(std::string_view text, DriveType type) {
    const auto equals = text.find('=');
    if (equals == std::string_view::npos) {
        return tl::unexpected("Диск задаётся как БУКВА=ПАПКА, а не «" + std::string(text) + "»");
    }
    const std::string_view letter = text.substr(0, equals);
    const std::string folder(text.substr(equals + 1));
    if (letter.size() != 1 || !driveLetter(letter[0])) {
        return tl::unexpected("Буква диска должна быть от a до z, а не «" + std::string(letter) +
                              "»");
    }
    std::error_code error;
    if (folder.empty() || !std::filesystem::is_directory(folder, error)) {
        return tl::unexpected("Папки «" + folder + "» для диска " + std::string(letter) + ": нет");
    }
    return Drive{*driveLetter(letter[0]), type, std::filesystem::path(folder)};
}

} // namespace engine::platform
