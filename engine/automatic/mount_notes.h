#pragma once

#include <optional>
#include <string>

#include "registry/offline_registry.h"

namespace engine::automatic {

// The line of ours that follows the pass's own red line when a hive did not
// mount for a reason the operator can do something about; nullopt for the
// others (a missing file, a name still taken), which the pass's line says
// enough about.
std::optional<std::string> mountFailureNote(registry::MountFailure failure);

// The line of ours that follows the pass's own red line when a hive did not
// unmount because its changes could not be written back (`reason`, the
// engine's words): the repairs of that hive are lost, and what to do.
std::string writeBackLostNote(const std::string& reason);

// The line of ours that follows a successful mount of a hive that Windows
// had left dirty and that was recovered from its transaction logs.
extern const std::string kRecoveredNote;

} // namespace engine::automatic
