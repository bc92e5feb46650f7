#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace engine::registry {

class OfflineRegistry;

// One registry value reference: every registry read and write goes through
// one. Status is 0 after an operation that met no registry error, else that
// operation's failure code.
struct TRegEngine {
    bool RootIsCurrentUser = false;
    std::string KeyPath;
    std::string ValueName;
    std::int32_t Status = 0;
};

// Failure codes, one per operation (5 is unused).
enum RegEngineStatus : std::int32_t {
    kStatusReadString = 1,
    kStatusKeyExists = 2,
    kStatusValueExists = 3,
    kStatusReadInteger = 4,
    kStatusDeleteKey = 6,
    kStatusDeleteValue = 7,
    kStatusReadBool = 8,
    kStatusValueNames = 9,
    kStatusKeyNames = 10,
    kStatusWriteString = 11,
    kStatusWriteInteger = 12,
    kStatusWriteBool = 13,
};

// The root of the record's key path; clears Status. (Both roots are served by
// the offline registry: HKEY_LOCAL_MACHINE with its mounts, HKEY_CURRENT_USER
// empty.)
enum class RootKey { LocalMachine, CurrentUser };
RootKey RegEngineRootKey(TRegEngine& record);

// The twelve operations. Each one opens the key, does one thing and closes it;
// every registry error becomes the default result and the operation's code in
// Status. Names compare without case.

// REG_SZ or REG_EXPAND_SZ as stored; "" when the key or value is absent
// (Status 0) or the value has another, non-empty type (Status 1).
std::string RegEngineReadString(OfflineRegistry& registry, TRegEngine& record);
bool RegEngineKeyExists(OfflineRegistry& registry, TRegEngine& record);
bool RegEngineValueExists(OfflineRegistry& registry, TRegEngine& record);
// A REG_DWORD; -1 with Status 4 when absent, of another type or longer than
// four bytes.
std::int32_t RegEngineReadInteger(OfflineRegistry& registry, TRegEngine& record);
// Deletes the key with its whole subtree; nothing when absent.
void RegEngineDeleteKey(OfflineRegistry& registry, TRegEngine& record);
// Deletes the value; creates the key (empty) when it is absent.
void RegEngineDeleteValue(OfflineRegistry& registry, TRegEngine& record);
bool RegEngineReadBool(OfflineRegistry& registry, TRegEngine& record);
// Cleared first, then the names in registry enumeration order.
void RegEngineValueNames(OfflineRegistry& registry, TRegEngine& record,
                         std::vector<std::string>& names);
void RegEngineKeyNames(OfflineRegistry& registry, TRegEngine& record,
                       std::vector<std::string>& names);
// Writes REG_SZ whatever type the value had; creates key and value.
void RegEngineWriteString(OfflineRegistry& registry, TRegEngine& record, const std::string& text);
void RegEngineWriteInteger(OfflineRegistry& registry, TRegEngine& record, std::int32_t value);
void RegEngineWriteBool(OfflineRegistry& registry, TRegEngine& record, bool value);

} // namespace engine::registry
