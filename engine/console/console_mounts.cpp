#include "console/console_mounts.h"

#include <cstddef>

#include "automatic/mount_notes.h"
#include "context/context.h"
#include "discovery/describe_loaded_system.h"
#include "discovery/find_systems.h"
#include "platform/latin_case.h"
#include "registry/hive_mounting.h"

namespace engine::console {

namespace {

// The report line that names the operating system ("  Операционная система:
// ..."), the third of seven.
constexpr std::size_t kSystemLine = 2;

bool inRange(int index, const std::vector<std::string>& list) {
    return index >= 0 && static_cast<std::size_t>(index) < list.size();
}

std::vector<std::string> failureInfo(const Context& context) {
    std::vector<std::string> info;
    if (auto note = automatic::mountFailureNote(context.registry.lastOutcome().failure)) {
        info.push_back(*note);
    }
    return info;
}

} // namespace

std::vector<std::string> FindConsoleSystems(Context& context) {
    std::vector<std::string> unused;
    discovery::FindSystems(context, unused);
    std::vector<std::string> lines;
    for (const std::string& hive : context.SystemHives) {
        lines.push_back("Система на диске " + platform::upperLatin(hive.substr(0, 2)));
    }
    if (lines.empty()) {
        lines.emplace_back(kNoSystems);
    }
    return lines;
}

SystemLoad LoadConsoleSystem(Context& context, int selected) {
    SystemLoad result;
    if (!inRange(selected, context.SystemHives)) {
        result.status = kLoadFailed;
        return result;
    }
    const std::string hive = context.SystemHives[static_cast<std::size_t>(selected)];
    if (!registry::LoadHive(context, registry::kSoftwareMount, hive)) {
        context.CurrentSystemHive.clear();
        result.status = kLoadFailed;
        result.info = failureInfo(context);
        return result;
    }
    context.CurrentSystemHive = hive;
    std::vector<std::string> report;
    discovery::DescribeLoadedSystem(context, report);
    result.loaded = true;
    result.status = "Загружен\x6f: " + report.at(kSystemLine);
    // The heading and the lines for the system, its build and its folder:
    // the report without its first line and its last two.
    result.info.assign(report.begin() + 1, report.end() - 2);
    return result;
}

Unload UnloadConsoleSystem(Context& context) {
    Unload result;
    if (!registry::UnloadHive(context, registry::kSoftwareMount)) {
        result.status = kUnloadFailed;
        discovery::DescribeLoadedSystem(context, result.info);
        return result;
    }
    context.CurrentSystemHive.clear();
    result.unloaded = true;
    result.status = kAllUnloaded;
    result.info.emplace_back(kNotLoaded);
    return result;
}

SystemLoad LoadConsoleUser(Context& context, int selected, std::string_view profileName) {
    SystemLoad result;
    if (!inRange(selected, context.ProfileHives)) {
        result.status = kLoadFailed;
        return result;
    }
    const std::string hive = context.ProfileHives[static_cast<std::size_t>(selected)];
    if (!registry::LoadHive(context, registry::kUserMount, hive)) {
        result.status = kLoadFailed;
        result.info = failureInfo(context);
        return result;
    }
    context.CurrentUserHive = hive;
    result.loaded = true;
    result.status = "Загружен реестр пользователя " + std::string(profileName);
    return result;
}

Unload UnloadConsoleUser(Context& context) {
    Unload result;
    if (!registry::UnloadHive(context, registry::kUserMount)) {
        result.status = kUserUnloadFailed;
        return result;
    }
    context.CurrentUserHive.clear();
    result.unloaded = true;
    result.status = kUserUnloaded;
    return result;
}

} // namespace engine::console
