#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/drive_table.h"
#include "registry/hive_mounting.h"
#include "registry/offline_registry.h"
#include "registry/reg_engine.h"

namespace engine {

// What the programs share between their parts: the drives, the registry with
// its mounts, the discovery lists and the state of the mounted installation.
// A program creates one and hands it to its windows; each test makes its own.
struct Context {
    platform::DriveTable drives;
    // The running system's Windows folder (the "windir" environment
    // variable); its drive is never scanned. nullopt: not set.
    std::optional<std::string> windir;
    registry::PrivilegeSource privileges;
    registry::OfflineRegistry registry;

    // One entry per found installation, index-aligned: the SOFTWARE hive's
    // Windows path and the Windows folder.
    std::vector<std::string> SystemHives;
    std::vector<std::string> SystemFolders;
    // The NTUSER.DAT paths of the mounted installation's profiles.
    std::vector<std::string> ProfileHives;
    // The automatic pass's users over every installation.
    std::vector<std::string> AutoProfileHives;
    std::vector<std::string> AutoProfileNames;

    std::string CurrentSystemHive;
    std::string CurrentUserHive;
    bool Is64BitSystem = false;
    std::string LoadedProductName;
    std::string LoadedSystemRoot;

    registry::TRegEngine AutoRegEngine;
    registry::TRegEngine ManualRegEngine;

    // The clean copies of taskmgr.exe and userinit.exe that come with the
    // program ("BACKUP" in the working folder unless told otherwise).
    std::filesystem::path backupFolder = "BACKUP";
};

} // namespace engine
