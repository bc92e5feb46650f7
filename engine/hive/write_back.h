#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>

#include "hive/error.h"
#include "hive/file_io.h"
#include "hive/image.h"
#include "hive/log_recovery.h"
#include "hive/log_writer.h"

namespace engine::hive {

struct WriteBackOptions {
    // The installation's Windows, when known: it decides the log files and
    // their format for a hive that has no logs yet (see chooseLog).
    std::optional<WindowsGeneration> windows;
    // The time written into the hive, as a FILETIME (100 ns since 1601,
    // UTC); the system clock when empty. A clock behind the hive's own times
    // is overridden: the new time is always after every time the hive and its
    // logs hold.
    std::function<std::uint64_t()> clock;
};

struct WriteBackReport {
    bool written = false; // false: nothing had changed and no file was touched
    std::uint64_t primaryBytes = 0;
    std::uint64_t logBytes = 0;
    std::filesystem::path log; // the log written
    LogFormat format = LogFormat::Old;
    // The file on disk was dirty: the content its own logs hold was put into
    // it first (see writeBack).
    bool settledDirtyFile = false;
    std::uint32_t sequence = 0; // both sequence numbers of the hive now
};

// The checks made before anything is written, each refusal with its reason:
// the volume is mounted read-only; the file is compressed, sparse or
// encrypted (its NTFS attributes, or fewer bytes allocated than it holds);
// the file is not a hive, or its base block says transactions are pending.
Result<void> checkWriteBack(FileIo& io, const std::filesystem::path& primary);

// Writes the changed pages of `image`, a hive opened from `primary`, back
// into that file, in place, crash-safely. Nothing is touched when no page
// changed. Otherwise, after checkWriteBack and checks of the image itself:
//
//  0. When the file on disk is dirty (its logs hold writes it lacks), its
//     logs' content is written into it first, the logs still standing behind
//     every page written, and it is marked clean. The image must already hold
//     that content (the hive was recovered when opened); otherwise nothing is
//     written.
//  1. The transaction log (chooseLog) is written whole with the changed pages
//     and synced, the folder too when the log was created. Its sequence
//     number S is above every number the hive and its logs hold.
//  2. The primary's base block is marked dirty (sequence numbers S+1 and S,
//     the log's last-written time) and synced: from here recovery applies
//     our log and only ours.
//  3. The pages are written (the file grown as needed) and synced.
//  4. The clean base block (both sequence numbers S+1, a new last-written
//     time also in the first hive bin, the bins size, the checksum) is
//     written and synced. Our log is then ineligible by Windows' rules.
//
// A power cut or a kill anywhere leaves a file that Windows, or recoverHive,
// brings back to the old content or the new. Any failed write or sync stops
// the write-back and is reported, never retried; the image then keeps its
// changes and dirty pages, so a later write-back starts over. On success the
// image's base block is the one written and its dirty pages are cleared.
Result<WriteBackReport> writeBack(FileIo& io, const std::filesystem::path& primary,
                                  HiveImage& image, const WriteBackOptions& options = {});

} // namespace engine::hive
