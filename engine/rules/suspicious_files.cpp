// The list of possible locker files: ticks and deletion.
#include "rules/suspicious_files.h"

#include <cstdio>
#include <system_error>

#include "context/context.h"
#include "platform/windows_paths.h"
#include "rules/drive_bound_path.h"

namespace engine::rules {

namespace fs = std::filesystem;

SuspiciousFiles suspiciousFilesFrom(const std::vector<std::string>& paths) {
    SuspiciousFiles files;
    for (const auto& path : paths) {
        files.push_back({path, false});
    }
    return files;
}

void CheckAllFiles(SuspiciousFiles& files) {
    for (auto& file : files) {
        file.Ticked = true;
    }
}

void UncheckAllFiles(SuspiciousFiles& files) {
    for (auto& file : files) {
        file.Ticked = false;
    }
}

std::vector<std::string> DeleteTickedFiles(const Context& context, SuspiciousFiles& files) {
    std::vector<std::string> messages;
    for (auto& file : files) {
        if (!file.Ticked) {
            continue;
        }
        // A file, or a link that stands where one is (a link to a file, or
        // a dangling one, as Windows shows a link's own entry): the entry
        // itself goes, whatever it points at.
        const auto host = driveBoundHostPath(context.drives, file.Text);
        std::error_code error;
        const fs::file_type type =
            host ? fs::symlink_status(*host, error).type() : fs::file_type::not_found;
        const bool isFile = type == fs::file_type::regular ||
                            (type == fs::file_type::symlink &&
                             !platform::DirectoryExists(context.drives, file.Text));
        if (!isFile) {
            messages.emplace_back(kSuspiciousNotFound);
            file.Text += kSuspiciousNotFoundMark;
            continue;
        }
        if (std::remove(host->c_str()) != 0) {
            continue;
        }
        messages.emplace_back(kSuspiciousDeleted);
        file.Text += kSuspiciousDeletedMark;
    }
    return messages;
}

} // namespace engine::rules
