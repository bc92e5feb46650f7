#pragma once

#include <filesystem>
#include <functional>

#include "hive/error.h"
#include "hive/file_io.h"

namespace engine::platform {

// Writes the whole content of a new file into `file`, from offset 0.
using ContentWriter = std::function<hive::Result<void>(hive::OpenFile& file)>;

// Replaces `target` with a new file that `write` fills, so that the old file
// stays as it was until the new one is complete and on the disk: the content
// goes into a temporary file beside the target, which takes over the target's
// permissions and owner (those of `ownershipFrom` when the target does not
// exist yet, else 0644) and, on an NTFS volume, its security descriptor and
// Windows attributes; it is synced, renamed over the target, and the rename
// is made durable. A failure at any step leaves the target untouched and no
// temporary file behind.
hive::Result<void> replaceFile(const std::filesystem::path& target, const ContentWriter& write,
                               hive::FileIo& io, const std::filesystem::path& ownershipFrom = {});

} // namespace engine::platform
