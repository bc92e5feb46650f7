// The folders that emptying a temporary folder must never reach: a TEMP
// value a locker set to "C:\" or "%USERPROFILE%\" would otherwise wipe a
// drive, a Windows installation or a user's profile.
#include "rules/protected_folders.h"

#include <system_error>
#include <vector>

#include "context/context.h"
#include "platform/character_count.h"
#include "platform/windows_paths.h"
#include "registry/reg_engine.h"
#include "rules/drive_bound_path.h"

namespace engine::rules {

namespace {

namespace fs = std::filesystem;

std::optional<fs::path> canonicalOf(const fs::path& host) {
    std::error_code error;
    fs::path canonical = fs::weakly_canonical(host, error);
    if (error) {
        return std::nullopt;
    }
    return canonical;
}

std::optional<fs::path> canonicalOf(const Context& context, std::string_view windowsPath) {
    const auto host = platform::toHostPath(context.drives, windowsPath);
    return host ? canonicalOf(*host) : std::nullopt;
}

// The folder of a Windows file path, without the file name.
std::string folderOf(std::string_view windowsFile) {
    const auto slash = windowsFile.find_last_of('\\');
    return std::string(windowsFile.substr(0, slash == std::string_view::npos ? 0 : slash));
}

// One kind of protected place and the places of that kind.
struct Protected {
    std::string_view why;
    std::vector<fs::path> places;
};

void add(Protected& kind, const std::optional<fs::path>& place) {
    if (place) {
        kind.places.push_back(*place);
    }
}

void addProfile(const Context& context, Protected& profiles, Protected& profileFolders,
                std::string_view ntuser) {
    if (ntuser.empty()) {
        return;
    }
    const std::string profile = folderOf(ntuser);
    add(profileFolders, canonicalOf(context, profile));
    add(profiles, canonicalOf(context, folderOf(profile)));
}

std::vector<Protected> protectedPlaces(Context& context) {
    Protected roots{"является корнем диска", {}};
    for (const auto& drive : context.drives.drives()) {
        add(roots, canonicalOf(drive.root));
    }

    Protected windows{"является папкой Windows или содержит её", {}};
    for (const auto& folder : context.SystemFolders) {
        add(windows, canonicalOf(context, folder));
    }
    const std::string systemDrive = platform::driveOf(context.CurrentSystemHive);
    if (!systemDrive.empty() && !context.LoadedSystemRoot.empty()) {
        add(windows, canonicalOf(context, systemDrive + platform::dropCharacters(
                                                            context.LoadedSystemRoot, 2)));
    }

    Protected profiles{"является папкой профилей пользователей или содержит её", {}};
    Protected profileFolders{"является папкой профиля пользователя или содержит её", {}};
    for (const auto* list : {&context.ProfileHives, &context.AutoProfileHives}) {
        for (const auto& ntuser : *list) {
            addProfile(context, profiles, profileFolders, ntuser);
        }
    }
    addProfile(context, profiles, profileFolders, context.CurrentUserHive);
    if (!systemDrive.empty()) {
        registry::TRegEngine record;
        record.KeyPath = "LoadedHiveSoftware\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
        record.ValueName = "ProfilesDirectory";
        const std::string value = registry::RegEngineReadString(context.registry, record);
        if (!value.empty()) {
            add(profiles, canonicalOf(context, systemDrive + platform::dropCharacters(value, 13)));
        }
    }

    Protected hives{"содержит подключенный куст реестра или его журнал", {}};
    for (const auto& mount : context.registry.mounts()) {
        for (const char* suffix : {"", ".LOG", ".LOG1", ".LOG2"}) {
            const fs::path file = mount->host.string() + suffix;
            std::error_code error;
            if (suffix[0] == '\0' || fs::exists(fs::symlink_status(file, error))) {
                add(hives, canonicalOf(file));
            }
        }
    }
    return {roots, windows, profiles, profileFolders, hives};
}

} // namespace

std::optional<std::string> clearingRefusal(Context& context, std::string_view folder,
                                           const fs::path& canonical) {
    for (const auto& kind : protectedPlaces(context)) {
        for (const auto& place : kind.places) {
            if (isWithin(place, canonical)) {
                return "Очистка отменена: папка " + std::string(folder) + " " +
                       std::string(kind.why) + "...";
            }
        }
    }
    return std::nullopt;
}

} // namespace engine::rules
