#pragma once

#include <filesystem>

namespace engine::platform {

// Whether the volume whose root folder is `root` holds a hibernation image
// that Windows will resume from (Fast Startup or hibernation): its
// hiberfil.sys (name matched without case) begins with the signature "hibr"
// or "HIBR" (or "rstr"/"RSTR", a resume under way). Writing to such a volume
// would be undone or damaged when Windows resumes. A missing, empty, zeroed
// or "wake" file is no image.
bool volumeIsHibernated(const std::filesystem::path& root);

} // namespace engine::platform
