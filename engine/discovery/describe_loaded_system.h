#pragma once

#include <string>
#include <vector>

namespace engine {
struct Context;
}

namespace engine::discovery {

// The seven-line report of the installation mounted as LoadedHiveSoftware,
// through AutoRegEngine; sets Is64BitSystem. `lines` is cleared first.
void DescribeLoadedSystem(Context& context, std::vector<std::string>& lines);

} // namespace engine::discovery
