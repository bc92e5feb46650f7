#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "rules/save_failed_message.h"
#include "rules/text_colour.h"
#include "rules/watched_keys.h"
#include "rules/winlogon_defaults.h"

namespace engine {
struct Context;
}

namespace engine::rules {

// The console's group of the machine-wide Winlogon values: the four edits as
// they stand on screen, their colours, and the key they came from. Nothing in
// it reaches the hive before SaveWinlogonGroup.
//
// A 64-bit installation has two Winlogon keys: the native one, which its
// logon reads, and the Wow6432Node one seen by its 32-bit programs. Loading
// judges both and shows (and later saves into) the native key, unless the
// native key is healthy and only the Wow6432Node key holds something suspect;
// then that key is shown and saved. A locker in the native key is therefore
// always what the console shows first; once it is saved away, the next
// loading shows the Wow6432Node key if that one is still bad. Both keys are
// judged by judgeWinlogon, as the automatic pass judges them.

struct WinlogonGroup {
    // The four read-only edits: leShell, leUserinit, leTaskman, leGina.
    std::string Shell;
    std::string Userinit;
    std::string Taskman;
    std::string GinaDll;
    // leShell and leUserinit follow the judge and the resets; leTaskman and
    // leGina are always red (kTaskmanColour, kGinaColour).
    TextColour ShellColour = TextColour::Red;
    TextColour UserinitColour = TextColour::Red;

    // The installation's SystemRoot as it names it, used by the judge and the
    // Userinit reset; and whether it is a 64-bit installation.
    std::string SystemRoot;
    bool Is64Bit = false;
    // The key shown and saved.
    WinlogonKey Key = WinlogonKey::Native;
};

inline constexpr TextColour kTaskmanColour = TextColour::Red;
inline constexpr TextColour kGinaColour = TextColour::Red;

// The console's reading of the mounted SOFTWARE hive (LoadedHiveSoftware):
// ProductName and SystemRoot into context.LoadedProductName and
// context.LoadedSystemRoot, then the four values of the chosen Winlogon key
// (a missing value gives an empty edit), judged with leChange into `files`.
// Reads through context.ManualRegEngine.
WinlogonGroup LoadWinlogonGroup(Context& context, std::vector<std::string>& files);

// The judge: sets the colours of Shell and Userinit from the edits as they
// stand (red where judgeWinlogon finds a lock in the group's key) and
// rebuilds the suspicious-files list (`files` is emptied first): the items
// of Taskman, then of GinaDll, then the items of a suspect Userinit that are
// not an accepted form, then those of a suspect Shell that are not
// "explorer.exe". Letter case is ignored.
void leChange(WinlogonGroup& group, std::vector<std::string>& files);

// The resets: each changes only its edit (and colour) and returns its
// status-line message. The suspicious-files list is left as it is.
std::string HealShell(WinlogonGroup& group);
std::string HealUserinit(WinlogonGroup& group);
std::string HealTaskman(WinlogonGroup& group);
std::string HealGina(WinlogonGroup& group);
// GinaDll, Taskman, Userinit and Shell reset in that order: their four
// messages, then the closing one (the last is what the status line keeps).
std::vector<std::string> HealAll(WinlogonGroup& group);

// The Userinit reset value: "userinit.exe" on a 64-bit installation,
// otherwise SystemRoot\system32\userinit.exe with its trailing comma.
std::string userinitResetValue(const WinlogonGroup& group);

// Writes the group into its Winlogon key: Shell and Userinit as strings (also
// when empty, except that an empty edit creates no value in a Wow6432Node
// key that lacks it: its absence there is no lock), Taskman and GinaDLL
// deleted when their edit is empty and the value exists (a non-empty edit
// writes nothing). Returns the status-line
// message: kWinlogonSaved when every registry operation succeeded, kSaveFailed
// when one failed.
std::string SaveWinlogonGroup(Context& context, const WinlogonGroup& group);

inline constexpr std::string_view kWinlogonSaved = "Изменения реестра сохранены...";

} // namespace engine::rules
