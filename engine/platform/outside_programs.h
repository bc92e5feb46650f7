#pragma once

// The command lines of the outside programs the live medium comes with, as
// the windows hand them to the launcher (platform/launcher.h).
namespace engine::platform {

inline constexpr const char* kFileManagerCommand = "\"Y:\\FileManager\\TotalCMD\\TC.exe\"";
inline constexpr const char* kCommandPromptCommand = "\"cmd.exe\"";
inline constexpr const char* kRegistryEditorCommand = "\"regedit.exe\"";
inline constexpr const char* kTaskManagerCommand = "\"taskmgr.exe\"";
inline constexpr const char* kRecoveryModuleCommand = "\"recmod.exe\"";
// Ends the registry editor so that it holds no hive open.
inline constexpr const char* kCloseRegistryEditorCommand = "taskkill /f /im regedit.exe";

} // namespace engine::platform
