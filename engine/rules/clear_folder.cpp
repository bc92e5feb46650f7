// Emptying a folder without ever following a link out of it.
#include "rules/clear_folder.h"

#include <algorithm>
#include <optional>
#include <system_error>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

#include "context/context.h"
#include "hive/names.h"
#include "platform/windows_paths.h"
#include "rules/drive_bound_path.h"
#include "rules/file_attributes.h"
#include "rules/protected_folders.h"

namespace engine::rules {

namespace {

namespace fs = std::filesystem;

struct Entry {
    std::u16string key; // the name upper-cased as Windows sorts it
    std::string name;
    fs::file_type type = fs::file_type::unknown;
};

// The folder's entries as Windows lists an NTFS folder; false when it
// cannot be listed.
bool listEntries(const fs::path& folder, std::vector<Entry>& entries) {
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) {
        return false;
    }
    for (const fs::directory_iterator end; it != end; it.increment(error)) {
        if (error) {
            return false;
        }
        std::error_code typeError;
        std::string name = it->path().filename().string();
        auto wide = hive::fromUtf8(name);
        entries.push_back({wide ? std::move(*wide) : std::u16string{}, std::move(name),
                           it->symlink_status(typeError).type()});
    }
    if (error) {
        return false;
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        const int order = hive::compareNames(a.key, b.key);
        return order != 0 ? order < 0 : a.name < b.name;
    });
    return true;
}

std::optional<dev_t> deviceOf(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return st.st_dev;
}

class Cleaner {
public:
    Cleaner(EntryRemover& remover, dev_t device, std::vector<std::string>& messages)
        : remover_(remover)
        , device_(device)
        , messages_(messages) {}

    // Empties a folder, going into each subfolder as it comes: false ends
    // the cleaning of every folder above.
    bool clear(const fs::path& host, std::string windowsFolder) {
        std::vector<Entry> entries;
        if (!listEntries(host, entries)) {
            messages_.push_back("Не могу войти в каталог: " + windowsFolder);
            return false;
        }
        if (windowsFolder.empty() || windowsFolder.back() != '\\') {
            windowsFolder += '\\';
        }
        bool result = true;
        for (const Entry& entry : entries) {
            const fs::path path = host / entry.name;
            if (entry.type == fs::file_type::directory) {
                if (deviceOf(path) != device_) {
                    result = false; // another volume mounted here: not ours to empty
                    continue;
                }
                (void)ClearFileAttributes(path);
                if (!clear(path, windowsFolder + entry.name)) {
                    return false;
                }
                if (!remover_.removeFolder(path)) {
                    result = false;
                }
                continue;
            }
            // A file, or a link (to a file or a folder, a junction too):
            // the entry itself goes.
            if (entry.type != fs::file_type::symlink) {
                (void)ClearFileAttributes(path);
            }
            if (!remover_.removeFile(path)) {
                messages_.push_back("Не могу удалить файл: " + entry.name);
                return false;
            }
        }
        return result;
    }

private:
    EntryRemover& remover_;
    dev_t device_;
    std::vector<std::string>& messages_;
};

} // namespace

bool RealEntryRemover::removeFile(const fs::path& file) {
    return ::unlink(file.c_str()) == 0;
}

bool RealEntryRemover::removeFolder(const fs::path& folder) {
    return ::rmdir(folder.c_str()) == 0;
}

ClearResult ClearFolder(Context& context, std::string_view folder, EntryRemover& remover) {
    ClearResult result;
    const std::string shown(folder);
    const auto resolved = platform::toPathInRoot(context.drives, folder);
    const auto refuseAsOffDrive = [&] {
        result.outcome = ClearOutcome::Refused;
        result.messages.push_back("Очистка отменена: папка " + shown +
                                  " ведет за пределы своего диска...");
        return result;
    };
    // A folder reached through a link that pointed off the drive is not
    // emptied in its stead.
    if (resolved && resolved->leftRoot) {
        return refuseAsOffDrive();
    }
    std::error_code error;
    const fs::path canonical = resolved ? fs::weakly_canonical(resolved->host, error) : fs::path{};
    if (!resolved || error || !fs::is_directory(fs::symlink_status(canonical, error))) {
        result.messages.push_back("Не могу войти в каталог: " + shown);
        return result;
    }
    const platform::Drive* drive = context.drives.find(platform::driveOf(folder)[0]);
    if (!isWithin(canonical, fs::weakly_canonical(drive->root, error)) || error) {
        return refuseAsOffDrive();
    }
    if (auto refusal = clearingRefusal(context, folder, canonical)) {
        result.outcome = ClearOutcome::Refused;
        result.messages.push_back(std::move(*refusal));
        return result;
    }
    const auto device = deviceOf(canonical);
    Cleaner cleaner(remover, device.value_or(0), result.messages);
    result.outcome =
        device && cleaner.clear(canonical, shown) ? ClearOutcome::Cleared : ClearOutcome::Failed;
    return result;
}

ClearResult ClearFolder(Context& context, std::string_view folder) {
    RealEntryRemover remover;
    return ClearFolder(context, folder, remover);
}

} // namespace engine::rules
