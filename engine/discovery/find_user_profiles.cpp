#include "discovery/find_user_profiles.h"

#include "context/context.h"
#include "platform/character_count.h"
#include "platform/latin_case.h"
#include "platform/windows_paths.h"
#include "registry/reg_engine.h"

namespace engine::discovery {

void FindUserProfiles(Context& context, std::vector<std::string>& names) {
    registry::TRegEngine record;
    record.RootIsCurrentUser = false;
    record.KeyPath = "LoadedHiveSoftware\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    record.ValueName = "ProfilesDirectory";
    const std::string value = registry::RegEngineReadString(context.registry, record);
    context.ProfileHives.clear();
    names.clear();
    const std::string folder =
        platform::driveOf(context.CurrentSystemHive) + platform::dropCharacters(value, 13) + "\\";
    for (const auto& name : platform::ListSubfolders(context.drives, folder)) {
        const std::string hive = folder + name + "\\NTUSER.DAT";
        if (!platform::FileExists(context.drives, hive) ||
            platform::equalIgnoringLatinCase(name, "LocalService") ||
            platform::equalIgnoringLatinCase(name, "NetworkService")) {
            continue;
        }
        context.ProfileHives.push_back(hive);
        names.push_back(name);
    }
}

} // namespace engine::discovery
