// Mounting and unmounting hive files under HKEY_LOCAL_MACHINE, after the
// restore privilege is enabled.
#include "registry/hive_mounting.h"

#include "context/context.h"
#include "platform/windows_paths.h"
#include "registry/write_policy.h"

namespace engine::registry {

namespace {

constexpr std::uint32_t kErrorNotAllAssigned = 1300;
constexpr std::uint32_t kErrorNoSuchPrivilege = 1313;

} // namespace

std::string systemMessage(std::uint32_t code) {
    switch (code) {
    case kErrorNotAllAssigned:
        return "Не все требуемые привилегии или группы присвоены вызывающему.";
    case kErrorNoSuchPrivilege:
        return "Указанная привилегия не существует.";
    default:
        return "Ошибка " + std::to_string(code);
    }
}

bool SetPrivilege(const Context& context, std::string_view privilegeName, bool enable) {
    const PrivilegeSource& source = context.privileges;
    if (!source.ntFamily || !source.adjust) {
        return true;
    }
    const std::uint32_t code = source.adjust(privilegeName, enable);
    if (code == 0) {
        return true;
    }
    throw PrivilegeError(code, systemMessage(code));
}

bool LoadHive(Context& context, std::string_view mountName, std::string_view hiveFile) {
    SetPrivilege(context, kRestorePrivilege, true);
    const auto host = platform::toHostPath(context.drives, hiveFile);
    if (!host) {
        return context.registry.refuse(MountFailure::Missing,
                                       "путь не ведёт ни на один диск: " + std::string(hiveFile));
    }
    return context.registry.mount(mountName, hiveFile, *host,
                                  driveRootOf(context.drives, hiveFile));
}

bool UnloadHive(Context& context, std::string_view mountName) {
    SetPrivilege(context, kRestorePrivilege, true);
    return context.registry.unmount(mountName);
}

} // namespace engine::registry
