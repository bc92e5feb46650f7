#include "discovery/find_systems.h"

#include "context/context.h"
#include "platform/windows_paths.h"

namespace engine::discovery {

void FindSystems(Context& context, std::vector<std::string>& displayLines) {
    context.SystemHives.clear();
    context.SystemFolders.clear();
    displayLines.clear();
    displayLines.push_back(kSeparator);
    for (const auto& root : platform::ListFixedDrives(context.drives, context.windir)) {
        for (const auto& name : platform::ListSubfolders(context.drives, root)) {
            const std::string hive = root + name + "\\system32\\config\\software";
            if (platform::FileExists(context.drives, hive)) {
                context.SystemFolders.push_back(root + name);
                context.SystemHives.push_back(hive);
                displayLines.push_back("  Путь к системе - " + root + name);
            }
        }
    }
    displayLines.push_back(kSeparator);
}

} // namespace engine::discovery
