#include "discovery/describe_loaded_system.h"

#include "context/context.h"
#include "discovery/find_systems.h"
#include "registry/reg_engine.h"

namespace engine::discovery {

void DescribeLoadedSystem(Context& context, std::vector<std::string>& lines) {
    using namespace registry;
    TRegEngine& record = context.AutoRegEngine;
    lines.clear();
    lines.push_back(kSeparator);
    lines.emplace_back("  Информация о загруженной системе:");
    record.RootIsCurrentUser = false;
    record.KeyPath = "LoadedHiveSoftware\\Microsoft\\Windows NT\\CurrentVersion";
    record.ValueName = "ProductName";
    lines.push_back("  Операционная система: " + RegEngineReadString(context.registry, record));
    record.ValueName = "BuildLab";
    lines.push_back("  Номер сборки: " + RegEngineReadString(context.registry, record));
    record.ValueName = "SystemRoot";
    lines.push_back("  Системный каталог: " + RegEngineReadString(context.registry, record));
    record.KeyPath =
        "LoadedHiveSoftware\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    context.Is64BitSystem = RegEngineKeyExists(context.registry, record);
    lines.emplace_back(context.Is64BitSystem ? "  64 битная версия" : "  32 битная версия");
    lines.push_back(kSeparator);
}

} // namespace engine::discovery
