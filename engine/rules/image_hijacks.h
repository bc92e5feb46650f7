#pragma once

#include <string>
#include <string_view>

namespace engine {
struct Context;
}

namespace engine::rules {

// What the hijack sweep asks and tells a person: a warning with the buttons
// Yes and No, and an information box with OK. The window answers with
// message boxes, tests with scripted answers.
class HijackPrompts {
public:
    virtual ~HijackPrompts() = default;
    // True for Yes; No and a box closed otherwise are false.
    virtual bool confirm(const std::string& text) = 0;
    virtual void inform(const std::string& text) = 0;
};

// The confirmation for one hit: "Found HiJack!!! \r" + name + " ---> " +
// debugger + "\r" + " DELETE? ". A carriage return stands where the box
// breaks the line.
std::string hijackQuestion(std::string_view programName, std::string_view debugger);

inline constexpr std::string_view kHijackDeleted = "Deleted!!!";
// Shown instead when the value could not be deleted (the hive cannot be
// changed): "Deleted!!!" would claim what did not happen.
inline constexpr std::string_view kHijackNotDeleted = "Не удалось удалить значение Debugger!!!";

// "Удаление замены образов HiJack": for every subkey of Image File Execution
// Options in the mounted SOFTWARE hive, in registry order, that has a
// "Debugger" value, asks with hijackQuestion (a value that is not a string
// shows as empty text) and on Yes deletes that value alone (the subkey and
// its other values stay) and tells kHijackDeleted. No summary follows.
// Reads and deletes through context.ManualRegEngine.
void RemoveImageHijacks(Context& context, HijackPrompts& prompts);

} // namespace engine::rules
