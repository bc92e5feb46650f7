#pragma once

#include <string>
#include <string_view>

#include "automatic/auto_pass.h"
#include "context/context.h"
#include "registry/reg_engine.h"

namespace engine::automatic {

// The pass reaches every value through the automatic unit's one value
// reference, pointed at the key and value first.
inline registry::TRegEngine& at(AutoPass& pass, std::string_view key, std::string_view value) {
    registry::TRegEngine& record = pass.context.AutoRegEngine;
    record.KeyPath = key;
    record.ValueName = value;
    return record;
}

inline std::string readString(AutoPass& pass, std::string_view key, std::string_view value) {
    return registry::RegEngineReadString(pass.context.registry, at(pass, key, value));
}

inline bool exists(AutoPass& pass, std::string_view key, std::string_view value) {
    return registry::RegEngineValueExists(pass.context.registry, at(pass, key, value));
}

inline constexpr LogColor kBlue = LogColor::Blue;
inline constexpr LogColor kGreen = LogColor::Green;
inline constexpr LogColor kRed = LogColor::Red;
inline constexpr LogColor kBlack = LogColor::Black;

// Our line in place of a heal's done line when the registry refused the
// heal's write or deletion: nothing was changed.
inline constexpr std::string_view kWriteRefusedNote =
    "Запись в реестр не удалась: исправление не сделано...!!!";

// After a heal's write or deletion through the value reference: its done
// line once the registry took it; otherwise our red line, and the pass
// remembers that a change could not be made.
inline void logWritten(AutoPass& pass, std::string_view doneLine, LogColor colour) {
    if (pass.context.AutoRegEngine.Status == 0) {
        AutoLog(pass.log, std::string(doneLine), colour);
        return;
    }
    AutoLog(pass.log, std::string(kWriteRefusedNote), kRed);
    pass.state.ChangesNotWritten = true;
}

} // namespace engine::automatic
