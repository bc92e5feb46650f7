#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace engine {
struct Context;
}

namespace engine::console {

// What the manual console shows around mounting and unmounting: the lines of
// its two drop-down lists, its status-line messages, the system report in its
// information box and the captions of its exit panel. The window only puts
// these on screen and follows the outcome with its controls.

inline constexpr std::string_view kChooseSystem = "Выберите и загрузите систему из списка...";
inline constexpr std::string_view kNoSystems = "Систем не найдено...";
inline constexpr std::string_view kNotLoaded = "Не загружено...";
inline constexpr std::string_view kLoading = "Попытка загрузки...";
inline constexpr std::string_view kLoadFailed = "Ошибка загрузки...";
inline constexpr std::string_view kUnloadFailed = "Ошибка выгрузки...";
inline constexpr std::string_view kUserUnloadFailed = "Ошибка выгрузки ...";
inline constexpr std::string_view kAllUnloaded = "Выгружено всё...";
inline constexpr std::string_view kUserUnloaded = "Пользователь выгружен...";

inline constexpr std::string_view kExitCaption = "Для выхода нажмите здесь.";
inline constexpr std::string_view kExitWhileMounted =
    "Для выхода выгрузите все кусты реестра...Нажмите здесь...";
inline constexpr std::string_view kExitAfterUnload = "Для выхода нажмите здесь...";

// Runs the installation discovery (refilling SystemHives) and gives the
// system list's lines: "Система на диске " and the drive in upper case, one
// per installation in SystemHives order, or the single kNoSystems.
std::vector<std::string> FindConsoleSystems(Context& context);

struct SystemLoad {
    bool loaded = false;
    // The status line: "Загруженo: " (Latin o) and the report's line that
    // names the operating system; kLoadFailed otherwise.
    std::string status;
    // The information box: the report's heading and its lines for the
    // operating system, build and Windows folder; after a failure, why the
    // hive did not mount when that is something the technician can act on.
    std::vector<std::string> info;
};

// Mounts SystemHives[selected] as LoadedHiveSoftware and sets
// CurrentSystemHive (cleared on failure). An index outside the list mounts
// nothing. PrivilegeError passes through.
SystemLoad LoadConsoleSystem(Context& context, int selected);

struct Unload {
    bool unloaded = false;
    std::string status;
    // System unmount only: kNotLoaded after it, the whole seven-line report
    // when it failed.
    std::vector<std::string> info;
};

// Unmounts LoadedHiveSoftware, writing its changes back; clears
// CurrentSystemHive.
Unload UnloadConsoleSystem(Context& context);

// Mounts ProfileHives[selected] as LoadedUserHive and sets CurrentUserHive.
// The status line is "Загружен реестр пользователя " and the profile's name,
// or kLoadFailed; `info` holds the reason of a failure the technician can act
// on. An index outside the list mounts nothing.
SystemLoad LoadConsoleUser(Context& context, int selected, std::string_view profileName);

// Unmounts LoadedUserHive; clears CurrentUserHive.
Unload UnloadConsoleUser(Context& context);

} // namespace engine::console
