#pragma once

#include <string_view>

namespace engine::registry {
class OfflineRegistry;
}

namespace engine::rules {

// How moving an autorun value between its key and the key's AutorunsDisabled
// subkey ended.
enum class ValueMove {
    Moved,     // the value lives at the destination now, with its type and bytes
    Missing,   // there was no such value to move (nothing changed)
    NameTaken, // the destination holds another value of that name (nothing changed)
    Failed,    // the registry refused a step (the value stayed where it was)
};

// Moves the value `name` of `key` (a path below HKEY_LOCAL_MACHINE into a
// mounted hive) into key\AutorunsDisabled (enable false; the subkey is
// created when missing) or from there back into `key` (enable true; the
// subkey is deleted when that leaves it without values and subkeys).
//
// The value keeps its type and its exact bytes, and its name's spelling. The
// destination is written before the source is deleted, and a deletion that
// fails takes the new copy back, so the value is never lost halfway. A value
// of the same name already at the destination is never overwritten: when it
// holds the same type and bytes the move just drops the source copy (nothing
// is lost), otherwise nothing changes and the result is NameTaken.
ValueMove MoveAutorunValue(registry::OfflineRegistry& registry, std::string_view key,
                           std::string_view name, bool enable);

} // namespace engine::rules
