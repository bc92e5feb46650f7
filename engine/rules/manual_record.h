#pragma once

#include <string>
#include <string_view>

#include "context/context.h"
#include "registry/reg_engine.h"

namespace engine::rules {

// The console's registry record (context.ManualRegEngine), through which its
// groups read and write, pointed at a value of a key below
// HKEY_LOCAL_MACHINE ("LoadedUserHive\Environment", "TEMP"); an empty value
// name for the key itself.
inline registry::TRegEngine& manualRecord(Context& context, std::string_view key,
                                          std::string_view value = {}) {
    registry::TRegEngine& record = context.ManualRegEngine;
    record.RootIsCurrentUser = false;
    record.KeyPath = std::string(key);
    record.ValueName = std::string(value);
    return record;
}

} // namespace engine::rules
