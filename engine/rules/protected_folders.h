#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace engine {
struct Context;
}

namespace engine::rules {

// Why a folder must not be emptied, for a person (one line of Russian), or
// nullopt when it may be. Refused: a drive's root; any found Windows folder
// (SystemFolders, and the mounted installation's SystemRoot); a profiles
// folder or a user's profile folder (of ProfileHives, AutoProfileHives,
// CurrentUserHive, and the mounted installation's ProfilesDirectory); a
// folder holding a mounted hive or its transaction log; and any folder above
// one of these. `folder` is the folder as the operator sees it (a Windows
// path), `canonical` its host path with every link resolved.
std::optional<std::string> clearingRefusal(Context& context, std::string_view folder,
                                           const std::filesystem::path& canonical);

} // namespace engine::rules
