#pragma once

#include <string>
#include <vector>

#include "platform/launcher.h"

class RegistryEditorWindow;

// Gives the launcher's internal commands of the registry editor to the
// window: "regedit.exe" (and "regedit") opens or raises it at the key it
// showed last (the root the first time); "taskkill" (and "taskkill.exe") with
// "/im regedit.exe" among its words, in any letter case, closes it, so that
// no hive is shown while it is unmounted. Other taskkill words do nothing.
// Once the window is gone, the commands do nothing again.
void takeOverEditorCommands(engine::platform::ProcessLauncher& launcher,
                            RegistryEditorWindow& window);

// Whether a taskkill command line's words name the registry editor:
// "/im regedit.exe" (either word in any letter case).
bool namesRegistryEditor(const std::vector<std::string>& words);
