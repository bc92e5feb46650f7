#include "registry/hive_backup.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include "hive/hive.h"
#include "hive/log_recovery.h"
#include "hive/unique_fd.h"
#include "hive/validate.h"
#include "platform/replace_file.h"
#include "platform/windows_paths.h"
#include "registry/write_policy.h"

namespace engine::registry {

namespace {

using hive::fail;
using hive::Result;

constexpr std::size_t kChunk = 256 * 1024;
constexpr std::string_view kSetAsideSuffix = ".before-restore";

std::string systemError(int error) {
    return std::error_code(error, std::generic_category()).message();
}

// Writes the content of `source` (a regular file) into a new file.
platform::ContentWriter copyOf(const std::filesystem::path& source) {
    return [source](hive::OpenFile& out) -> Result<void> {
        const hive::UniqueFd in(
            ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
        struct stat st {};
        if (in.get() < 0 || ::fstat(in.get(), &st) != 0) {
            return fail(
                fmt::format("не удалось открыть файл {}: {}", source.string(), systemError(errno)));
        }
        if (!S_ISREG(st.st_mode)) {
            return fail(fmt::format("{} не обычный файл", source.string()));
        }
        std::vector<std::uint8_t> buffer(kChunk);
        std::uint64_t offset = 0;
        for (;;) {
            const ssize_t n =
                ::pread(in.get(), buffer.data(), buffer.size(), static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                return fail(
                    fmt::format("ошибка чтения файла {}: {}", source.string(), systemError(errno)));
            }
            if (n == 0) {
                return {};
            }
            const std::span<const std::uint8_t> chunk(buffer.data(), static_cast<std::size_t>(n));
            if (auto written = hive::writeExactly(out, offset, chunk); !written) {
                return written;
            }
            offset += chunk.size();
        }
    };
}

// Replaces `target` with a complete, durable copy of `source` (whose mode
// and owner it takes when there was no target).
Result<void> replaceWithCopy(const std::filesystem::path& source,
                             const std::filesystem::path& target, hive::FileIo& io) {
    return platform::replaceFile(target, copyOf(source), io, source);
}

std::filesystem::path folderOf(const std::filesystem::path& file) {
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

std::string describe(const hive::Error& error) {
    return error.file.empty() ? error.message : error.describe();
}

// Whether the file is a hive that could be loaded, and why not.
std::optional<std::string> refusalOf(const std::filesystem::path& file) {
    auto opened = hive::Hive::open(file);
    if (!opened) {
        return describe(opened.error());
    }
    const hive::Validation validation = hive::validateHive(*opened);
    if (const hive::Finding* finding = validation.firstBlocking()) {
        return finding->describe();
    }
    return std::nullopt;
}

// A free name for a log moved aside: "SOFTWARE.LOG1.before-restore", then
// with ".2", ".3", ... when that is taken.
std::filesystem::path setAsideName(const std::filesystem::path& log) {
    const std::string base = log.string() + std::string(kSetAsideSuffix);
    std::filesystem::path candidate = base;
    std::error_code ec;
    for (int n = 2; std::filesystem::symlink_status(candidate, ec).type() !=
                    std::filesystem::file_type::not_found;
         ++n) {
        candidate = base + "." + std::to_string(n);
    }
    return candidate;
}

} // namespace

BackupDialogs backupDialogs(BackupKind kind) {
    const bool software = kind == BackupKind::Software;
    return {"Сохранение реестра...", "Восстановление файла реестра...", "Сохранненый реестр",
            software ? "*.backregall" : "*.backregusr", software ? "backregall" : "backregusr"};
}

std::string backupMessage(BackupKind kind, bool saved) {
    if (saved) {
        return "Файл успешно сохранен...";
    }
    return kind == BackupKind::Software ? "Ошибка сохранения файла..."
                                        : "Не успешное сохранение файла...";
}

std::string restoreMessage(const RestoreResult& result) {
    switch (result.outcome) {
    case RestoreOutcome::Restored:
        return "Файл реестра успешно восстановлен...";
    case RestoreOutcome::NotAHive:
        return "Файл не восстановлен: выбранный файл не является исправным кустом реестра (" +
               result.reason + "). Куст оставлен как был...";
    case RestoreOutcome::Refused:
        return "Файл не восстановлен. " + std::string(writeRefusalNote(result.block)) +
               ". Куст оставлен как был...";
    case RestoreOutcome::CopyFailed:
        break;
    }
    return "Неудачное восстановление файла...";
}

Result<void> backupHive(const platform::DriveTable& drives, std::string_view hivePath,
                        const std::filesystem::path& backupFile, hive::FileIo& io) {
    const auto hiveFile = platform::toHostPath(drives, hivePath);
    if (!hiveFile) {
        return fail(fmt::format("путь {} не на известном диске", hivePath));
    }
    if (auto refusal = writeRefusal(volumeRootOf(drives, backupFile), backupFile, io)) {
        return fail(std::move(refusal->detail));
    }
    // A hive Windows left dirty is what its logs make of it: the primary
    // alone lacks their changes (and the restore refuses such a copy), so
    // the recovered hive is written, whole and clean.
    auto plain = hive::Hive::open(*hiveFile);
    if (!plain || !plain->dirty()) {
        return replaceWithCopy(*hiveFile, backupFile, io);
    }
    auto recovered = hive::Hive::openRecovered(*hiveFile);
    if (!recovered) {
        return tl::unexpected(recovered.error());
    }
    const platform::ContentWriter write = [&recovered](hive::OpenFile& out) {
        return recovered->writeClean(out);
    };
    return platform::replaceFile(backupFile, write, io, *hiveFile);
}

RestoreResult restoreHive(const platform::DriveTable& drives, std::string_view hivePath,
                          const std::filesystem::path& backupFile, hive::FileIo& io) {
    RestoreResult result;
    const auto hiveFile = platform::toHostPath(drives, hivePath);
    if (!hiveFile) {
        result.reason = fmt::format("путь {} не на известном диске", hivePath);
        return result;
    }
    if (auto refusal = writeRefusal(driveRootOf(drives, hivePath), *hiveFile, io)) {
        result.outcome = RestoreOutcome::Refused;
        result.block = refusal->block;
        result.reason = std::move(refusal->detail);
        return result;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(backupFile, ec)) {
        result.reason = fmt::format("файл {} не найден", backupFile.string());
        return result;
    }
    if (auto refusal = refusalOf(backupFile)) {
        result.outcome = RestoreOutcome::NotAHive;
        result.reason = std::move(*refusal);
        return result;
    }
    if (auto copied = replaceWithCopy(backupFile, *hiveFile, io); !copied) {
        result.reason = describe(copied.error());
        return result;
    }
    result.outcome = RestoreOutcome::Restored;

    // The restored hive is clean, so its next load reads no log; the old
    // logs are moved aside all the same, so that no later recovery can take
    // their entries for its own. Failing that is not a failed restore.
    auto logs = hive::readLogFiles(*hiveFile);
    if (logs) {
        bool moved = false;
        for (const auto& log : *logs) {
            const std::filesystem::path aside = setAsideName(log.path);
            if (::rename(log.path.c_str(), aside.c_str()) == 0) {
                result.logsSetAside.push_back(aside);
                moved = true;
            }
        }
        if (moved) {
            (void)io.syncFolder(folderOf(*hiveFile));
        }
    }
    return result;
}

} // namespace engine::registry
