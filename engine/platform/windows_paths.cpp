#include "platform/windows_paths.h"

#include <algorithm>
#include <system_error>

#include "hive/names.h"
#include "platform/latin_case.h"

namespace engine::platform {

namespace fs = std::filesystem;

namespace {

struct SplitPath {
    char letter = 'c';
    std::vector<std::string> components; // "." and ".." already resolved
};

std::optional<SplitPath> split(std::string_view path) {
    if (path.size() < 2 || path[1] != ':') {
        return std::nullopt;
    }
    SplitPath result;
    const char first = path[0];
    if (first >= 'A' && first <= 'Z') {
        result.letter = static_cast<char>(first - 'A' + 'a');
    } else if (first >= 'a' && first <= 'z') {
        result.letter = first;
    } else {
        return std::nullopt;
    }
    std::string_view rest = path.substr(2);
    while (!rest.empty()) {
        const auto end = rest.find_first_of("\\/");
        const std::string_view part = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            if (!result.components.empty()) {
                result.components.pop_back();
            }
            continue;
        }
        result.components.emplace_back(part);
    }
    return result;
}

} // namespace

std::optional<PathInRoot> toPathInRoot(const DriveTable& drives, std::string_view windowsPath,
                                       LastComponent last) {
    const auto parts = split(windowsPath);
    if (!parts) {
        return std::nullopt;
    }
    const Drive* drive = drives.find(parts->letter);
    if (drive == nullptr) {
        return std::nullopt;
    }
    return resolveInRoot(drive->root, parts->components, last);
}

std::optional<fs::path> toHostPath(const DriveTable& drives, std::string_view windowsPath,
                                   LastComponent last) {
    auto resolved = toPathInRoot(drives, windowsPath, last);
    if (!resolved) {
        return std::nullopt;
    }
    return std::move(resolved->host);
}

std::string driveOf(std::string_view windowsPath) {
    const auto parts = split(windowsPath.substr(0, 2));
    if (!parts) {
        return {};
    }
    return std::string{parts->letter, ':'};
}

bool FileExists(const DriveTable& drives, std::string_view windowsPath) {
    const auto host = toHostPath(drives, windowsPath);
    std::error_code error;
    return host && fs::is_regular_file(*host, error);
}

bool DirectoryExists(const DriveTable& drives, std::string_view windowsPath) {
    const auto host = toHostPath(drives, windowsPath);
    std::error_code error;
    return host && fs::is_directory(*host, error);
}

std::vector<std::string> ListFixedDrives(const DriveTable& drives,
                                         const std::optional<std::string>& windir) {
    std::string running;
    if (windir) {
        running = lowerLatin(std::string_view(*windir).substr(0, 2));
    }
    std::vector<std::string> roots;
    const std::uint32_t mask = drives.logicalDrives();
    for (int n = 0; n < 26; ++n) {
        if ((mask & (1u << n)) == 0) {
            continue;
        }
        const std::string drive{static_cast<char>('a' + n), ':'};
        if (drives.type(drive) == DriveType::Fixed && drive != running) {
            roots.push_back(drive + "\\");
        }
    }
    return roots;
}

std::vector<std::string> ListSubfolders(const DriveTable& drives, std::string_view folder) {
    std::vector<std::string> names;
    const auto parts = split(folder);
    const auto host = toHostPath(drives, folder);
    std::error_code error;
    if (!parts || !host || !fs::is_directory(*host, error)) {
        return names;
    }
    // Windows lists NTFS folders by their upper-cased names.
    std::vector<std::pair<std::u16string, std::string>> entries;
    fs::directory_iterator it(*host, error);
    if (error) {
        return names; // the listing failed at once
    }
    for (const fs::directory_iterator end; !error && it != end; it.increment(error)) {
        std::error_code typeError;
        std::string name = it->path().filename().string();
        // A link is a folder when what it names on this drive is one.
        const bool folderEntry = it->is_symlink(typeError)
                                     ? DirectoryExists(drives, std::string(folder) + "\\" + name)
                                     : it->is_directory(typeError);
        if (!folderEntry) {
            continue;
        }
        auto wide = hive::fromUtf8(name);
        entries.emplace_back(wide ? std::move(*wide) : std::u16string{}, std::move(name));
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        const int order = hive::compareNames(a.first, b.first);
        return order != 0 ? order < 0 : a.second < b.second;
    });
    if (!parts->components.empty()) {
        names.emplace_back(".");
        names.emplace_back("..");
    }
    for (auto& entry : entries) {
        names.push_back(std::move(entry.second));
    }
    return names;
}

} // namespace engine::platform
