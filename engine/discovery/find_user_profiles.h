#pragma once

#include <string>
#include <vector>

namespace engine {
struct Context;
}

namespace engine::discovery {

// The mounted installation's user profiles: refills ProfileHives with each
// profile's NTUSER.DAT path and `names` (cleared first) with the profile
// folder names, index-aligned. The profiles folder is the drive of
// CurrentSystemHive and ProfilesDirectory without its first 13 characters.
void FindUserProfiles(Context& context, std::vector<std::string>& names);

} // namespace engine::discovery
