#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <tl/expected.hpp>

namespace engine {
struct Context;
}

namespace engine::registry {

// What the registry editor window shows and does, without the window: keys
// and values listed as the editor shows them, edited text turned back into
// value data, and the changes themselves. Every operation finds its key
// afresh through context.registry (a hive may be unmounted between two
// calls) and answers with the data or with a Russian message for the window
// to show. A change reaches the mounted hive at once, whole or not at all,
// and its file at the mount's write-back.
//
// Paths are the editor's: a root and the keys below it, separated by
// backslashes, "HKEY_LOCAL_MACHINE\LoadedHiveSoftware\Microsoft". Below
// HKEY_LOCAL_MACHINE stand the mounts; HKEY_CURRENT_USER is empty. Names
// compare as Windows compares them.

inline constexpr std::string_view kLocalMachineRoot = "HKEY_LOCAL_MACHINE";
inline constexpr std::string_view kCurrentUserRoot = "HKEY_CURRENT_USER";
inline constexpr std::string_view kDefaultValueName = "(По умолчанию)";
inline constexpr std::string_view kValueNotSet = "(значение не присвоено)";
inline constexpr std::string_view kEmptyBinary = "(двоичное значение нулевой длины)";
inline constexpr std::string_view kNewKeyPrefix = "Новый раздел #";
inline constexpr std::string_view kNewValuePrefix = "Новый параметр #";

template <class T>
using EditResult = tl::expected<T, std::string>;

// One row of the value list.
struct EditorValue {
    std::string name;      // as stored; "" for the default value
    std::string shownName; // kDefaultValueName for the default value
    std::uint32_t type = 0;
    std::string typeName; // REG_SZ, ..., others as their number ("0x5")
    std::string dataText; // as the list shows the data
    // False only for the default value's row when the key has no default
    // value (the list always shows that row, "(значение не присвоено)").
    bool present = true;
    friend bool operator==(const EditorValue&, const EditorValue&) = default;
};

// The type names of the list: hive's names for the common types, a number
// for the rest.
std::string editorTypeName(std::uint32_t type);

// Data as the list shows it: strings as their text (up to the first NUL),
// REG_MULTI_SZ its items separated by blanks, REG_DWORD "0x00000001 (1)",
// REG_QWORD "0x0000000000000001 (1)", anything else (and data that does not
// fit its type) hex bytes "01 ab ff", kEmptyBinary when there are none.
std::string valueDataText(std::uint32_t type, std::span<const std::uint8_t> data);

// How the edit dialog asks for a type's data.
enum class EditKind {
    Text,      // REG_SZ, REG_EXPAND_SZ: one line
    MultiText, // REG_MULTI_SZ: one string per line
    Number,    // REG_DWORD, REG_QWORD: decimal or 0x hexadecimal
    Bytes,     // anything else: hex pairs
};
EditKind editKindOf(std::uint32_t type);

// The text the edit dialog starts with: the string, the items one per line,
// the number in 0x form, or hex pairs. A number whose data has the wrong
// size starts empty (the edit then replaces it).
std::string valueEditText(std::uint32_t type, std::span<const std::uint8_t> data);

// Edited text back to bytes for the type: strings UTF-16LE with their NUL;
// REG_MULTI_SZ one item per line (empty lines are dropped, as Windows drops
// them) and the closing NUL; REG_DWORD and REG_QWORD a number, decimal or
// 0x hexadecimal, within the type's range; anything else hex pairs
// separated by blanks, commas or line breaks (pairs may also run together:
// "01ab").
EditResult<std::vector<std::uint8_t>> parseEditText(std::uint32_t type, std::string_view text);

// An editor path's parts: its root, spelled as kLocalMachineRoot or
// kCurrentUserRoot whatever case it was written in, and the keys below it;
// nullopt for a path of another root or with an empty key name inside (a
// trailing backslash is allowed).
struct EditorPath {
    std::string root; // kLocalMachineRoot or kCurrentUserRoot as written
    std::vector<std::string> keys;
};
std::optional<EditorPath> splitEditorPath(std::string_view path);
std::string joinEditorPath(const EditorPath& path);

// Whether a key exists: the two roots always, a mount's root while it is
// mounted, a key inside a mounted hive.
bool keyExists(Context& context, std::string_view path);
// The path itself when it exists, else its deepest existing ancestor
// (HKEY_LOCAL_MACHINE at least, or "" for a path of another root). The
// components are spelled as the registry spells them.
std::string existingKeyPath(Context& context, std::string_view path);

// The direct subkeys: for HKEY_LOCAL_MACHINE the mount names in mount order,
// inside a hive in stored (sorted) order.
EditResult<std::vector<std::string>> listSubkeys(Context& context, std::string_view path);
// Whether the key has subkeys (without listing them); false when it is not
// there.
bool hasSubkeys(Context& context, std::string_view path);
// The values: the default value's row first (always), then the others in
// value-list order. The roots have only the default row, not set.
EditResult<std::vector<EditorValue>> listValues(Context& context, std::string_view path);

// The type and data of one value ("" names the default value).
struct ValueData {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};
EditResult<ValueData> readValue(Context& context, std::string_view keyPath,
                                std::string_view valueName);

// Whether a key may be renamed or deleted: any key inside a hive, not a root
// nor a mount's own key.
bool isEditableKey(Context& context, std::string_view path);
// Whether new keys and values may go under it: a mount's key or one inside.
bool canHoldChildren(Context& context, std::string_view path);

// Creates a subkey named kNewKeyPrefix + the first free number (from 1);
// returns its name.
EditResult<std::string> createKey(Context& context, std::string_view parentPath);
// Creates a value of the type named kNewValuePrefix + the first free
// number, with empty data of that type (an empty string, zero, no bytes);
// returns its name.
EditResult<std::string> createValue(Context& context, std::string_view keyPath, std::uint32_t type);
// Writes the value's data, parsed from the edited text for its type; the
// value is created when absent (the default value's row).
EditResult<void> setValueText(Context& context, std::string_view keyPath,
                              std::string_view valueName, std::uint32_t type,
                              std::string_view text);
// Renames a key; refuses an empty name, one with a backslash, and one a
// sibling already has (a change of letter case alone is allowed). Returns
// the key's new path.
EditResult<std::string> renameKey(Context& context, std::string_view path,
                                  std::string_view newName);
// Renames a value, keeping its type and data; refuses an empty name, the
// default value, and a name another value already has.
EditResult<void> renameValue(Context& context, std::string_view keyPath, std::string_view oldName,
                             std::string_view newName);
// Deletes a key with its whole subtree.
EditResult<void> deleteKey(Context& context, std::string_view path);
// Deletes a value ("" the default value).
EditResult<void> deleteValue(Context& context, std::string_view keyPath,
                             std::string_view valueName);

} // namespace engine::registry
