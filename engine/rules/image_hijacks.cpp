// The sweep over Image File Execution Options for "Debugger" replacements.
#include "rules/image_hijacks.h"

#include <vector>

#include "context/context.h"
#include "registry/reg_engine.h"
#include "rules/manual_record.h"
#include "rules/watched_keys.h"

namespace engine::rules {

std::string hijackQuestion(std::string_view programName, std::string_view debugger) {
    return "Found HiJack!!! \r" + std::string(programName) + " ---> " + std::string(debugger) +
           "\r" + " DELETE? ";
}

void RemoveImageHijacks(Context& context, HijackPrompts& prompts) {
    registry::TRegEngine& record = manualRecord(context, kImageFileExecutionOptionsKey);
    std::vector<std::string> programs;
    registry::RegEngineKeyNames(context.registry, record, programs);

    for (const auto& program : programs) {
        record.KeyPath = std::string(kImageFileExecutionOptionsKey) + "\\" + program;
        record.ValueName = "Debugger";
        if (!registry::RegEngineValueExists(context.registry, record)) {
            continue;
        }
        const std::string debugger = registry::RegEngineReadString(context.registry, record);
        if (!prompts.confirm(hijackQuestion(program, debugger))) {
            continue;
        }
        registry::RegEngineDeleteValue(context.registry, record);
        prompts.inform(std::string(record.Status == 0 ? kHijackDeleted : kHijackNotDeleted));
    }
}

} // namespace engine::rules
