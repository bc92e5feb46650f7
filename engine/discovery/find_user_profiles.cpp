#include "discovery/find_user_profiles.h"

#include "context/context.h"
#include "platform/latin_case.h"
#include "platform/windows_paths.h"
#include "registry/reg_engine.h"

namespace engine::discovery {

namespace {

// The value without its first `count` characters (code points, not bytes:
// the registry counts characters).
std::string dropCharacters(const std::string& text, std::size_t count) {
    std::size_t at = 0;
    for (std::size_t dropped = 0; dropped < count && at < text.size(); ++dropped) {
        ++at;
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) {
            ++at;
        }
    }
    return text.substr(at);
}

} // namespace

void FindUserProfiles(Context& context, std::vector<std::string>& names) {
    registry::TRegEngine record;
    record.RootIsCurrentUser = false;
    record.KeyPath = "LoadedHiveSoftware\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    record.ValueName = "ProfilesDirectory";
    const std::string value = registry::RegEngineReadString(context.registry, record);
    context.ProfileHives.clear();
    names.clear();
    const std::string folder =
        platform::driveOf(context.CurrentSystemHive) + dropCharacters(value, 13) + "\\";
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
