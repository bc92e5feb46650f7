// "regedit.exe" and "taskkill /f /im regedit.exe" as the registry editor
// window's own commands.
#include "regedit/registry_editor_commands.h"

#include <QPointer>

#include "platform/latin_case.h"
#include "regedit/registry_editor_window.h"

bool namesRegistryEditor(const std::vector<std::string>& words) {
    using engine::platform::equalIgnoringLatinCase;
    for (std::size_t i = 1; i + 1 < words.size(); ++i) {
        if (equalIgnoringLatinCase(words[i], "/im") &&
            equalIgnoringLatinCase(words[i + 1], "regedit.exe")) {
            return true;
        }
    }
    return false;
}

void takeOverEditorCommands(engine::platform::ProcessLauncher& launcher,
                            RegistryEditorWindow& window) {
    const QPointer<RegistryEditorWindow> editor(&window);
    const auto open = [editor](const std::vector<std::string>&) {
        if (editor) {
            editor->openAt(editor->lastKeyPath());
        }
    };
    const auto kill = [editor](const std::vector<std::string>& words) {
        if (editor && namesRegistryEditor(words)) {
            editor->closeEditor();
        }
    };
    launcher.setInternal("regedit.exe", open);
    launcher.setInternal("regedit", open);
    launcher.setInternal("taskkill", kill);
    launcher.setInternal("taskkill.exe", kill);
}
