#pragma once

#include <string>
#include <vector>

namespace engine {
struct Context;
}

namespace engine::discovery {

// The separator line of the discovery and report blocks: 58 hyphens.
inline const std::string kSeparator(58, '-');

// Scans every fixed drive but the running system's for FOLDER\system32\config\software
// one level deep; refills SystemHives and SystemFolders, and displayLines
// (cleared first) with the separator, one "  Путь к системе - c:\WINDOWS" line
// per installation, and the separator.
void FindSystems(Context& context, std::vector<std::string>& displayLines);

} // namespace engine::discovery
