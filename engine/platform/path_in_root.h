#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace engine::platform {

// Whether the last component of a path, when it is a symbolic link, is
// followed (to open what it names, as Windows opens a file through a
// junction) or is itself the entry meant (to delete, move or replace it).
enum class LastComponent { Followed, AsEntry };

// A host path resolved inside a drive's folder.
struct PathInRoot {
    // Lies inside the root; every component before the last is a real folder
    // (or, from the first one that does not exist on, the names as written).
    std::filesystem::path host;
    // A link on the way pointed out of the root (an absolute target elsewhere
    // on the host, or ".." above the root) and was taken as Windows takes it
    // on its own volume: from the root.
    bool leftRoot = false;
};

// The most symbolic links one path may pass through, as Linux allows.
inline constexpr int kMaxLinkHops = 40;

// Resolves `components` (names below `root`; "." and ".." allowed) one by
// one inside `root`, as Windows resolves a path on its own volume: each name
// matches an entry exactly first, else without case; a symbolic link (an
// NTFS junction, as the NTFS drivers show it) in any component but the last
// (the last too with Followed) is replaced by its target, an absolute target
// standing for the root (unless it already names a place inside the root's
// host folder, as ntfs-3g writes some), and ".." never climbs above the root.
// A name that matches nothing ends the lookup: it and the rest are kept as
// written (the path of a file still to be created). nullopt after more than
// kMaxLinkHops links (a loop) or an unreadable link.
std::optional<PathInRoot> resolveInRoot(const std::filesystem::path& root,
                                        const std::vector<std::string>& components,
                                        LastComponent last = LastComponent::Followed);

} // namespace engine::platform
