#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "rules/save_failed_message.h"
#include "rules/text_colour.h"

namespace engine {
struct Context;
}

namespace engine::rules {

// The console's two groups for the mounted user hive (LoadedUserHive): the
// user's three start values, and the three tool-blocking policies as
// three-way choices. Nothing reaches the hive before the group's save; the
// two groups save independently.

// The start values (gbUser): read-only edits, always in bold red
// (kUserStartValueColour) so that any text stands out.
struct UserStartValues {
    std::string AdminShell; // policies "Shell"
    std::string UserShell;  // the user's Winlogon "Shell"
    std::string Load;       // the user's Windows "Load"
};
inline constexpr TextColour kUserStartValueColour = TextColour::Red;

// A policy's radio group item index: 0 blocked (stored 1), 1 unblocked
// (stored 0), 2 not set (no value), -1 no selection (nothing to write).
inline constexpr int kBlocked = 0;
inline constexpr int kUnblocked = 1;
inline constexpr int kNotSet = 2;
inline constexpr int kNoSelection = -1;

// The tool policies (gbAdmin): the selected index of each radio group.
struct ToolPolicies {
    int Taskman = kNoSelection; // rgTaskman, DisableTaskMgr
    int Regedit = kNoSelection; // rgRegedit, DisableRegistryTools
    int Cmd = kNoSelection;     // rgCmd, DisableCMD
};

// What the window shows of a radio group: caption and items (index 0, 1, 2).
struct PolicyCaptions {
    std::string_view caption;
    std::array<std::string_view, 3> items;
};
inline constexpr PolicyCaptions kTaskmanCaptions{"Диспечер задач",
                                                 {"Заблок.", "Разблок.", "Не задан."}};
inline constexpr PolicyCaptions kRegeditCaptions{"Редактор реестра",
                                                 {"Заблок.", "Разблок.", "Не задан"}};
inline constexpr PolicyCaptions kCmdCaptions{"Командная стр.", {"Заблок.", "Разблок.", "Не задан"}};

// A radio group's caption and items: red while "Заблок." is selected.
TextColour policyColour(int index);

// The item index for a policy value: 1 - v, with anything below -1 taken as
// -1 and anything above 2 as 2; a value that does not exist is 2.
int policyIndex(bool exists, int value);

// Filling, right after the user hive is mounted: the three start values (a
// missing value gives an empty edit) and the three policies (DisableRegistryTools,
// DisableTaskMgr, DisableCMD; a value that cannot be read as a 32-bit integer
// counts as -1, so "Не задан"). Reads through context.ManualRegEngine.
UserStartValues LoadUserStartValues(Context& context);
ToolPolicies LoadToolPolicies(Context& context);

// The "Исправить" buttons of gbUser: each empties its edit and returns
// "Значение удалено...".
std::string HealUserAdminShell(UserStartValues& values);
std::string HealUserShell(UserStartValues& values);
std::string HealUserLoad(UserStartValues& values);
// "По умолчанию" of gbUser: the three above in that order, then the closing
// message; the last one is what the status line keeps.
std::vector<std::string> UserDefaults(UserStartValues& values);

// "Сохранить" of gbUser: a blank policies or Winlogon shell deletes that
// existing "Shell"; a blank load sets an existing "Load" to the empty string;
// a non-empty edit writes nothing. Returns "Изменения реестра пользователя
// сохранены...", or kSaveFailed when a registry operation failed.
std::string SaveUserStartValues(Context& context, const UserStartValues& values);

// "По умолчанию" of gbAdmin: "Не задан" in all three; nothing is written.
std::string ToolsDefaults(ToolPolicies& policies);

// "Сохранить" of gbAdmin, DisableRegistryTools, DisableTaskMgr then DisableCMD:
// "Не задан" deletes the value when it exists (its key and other values stay),
// "Заблок." writes the REG_DWORD 1, "Разблок." 0 (creating the key), no
// selection writes nothing. Returns "Значения Административные инструменты
// сохранены...", or kSaveFailed when a registry operation failed.
std::string SaveToolPolicies(Context& context, const ToolPolicies& policies);

} // namespace engine::rules
