// assignLetters and detectDrives: the drive table of this machine, with the
// letters the installations on its disks give their volumes.
#include "platform/drive_detection.h"
#include "platform/latin_case.h"

#include <array>
#include <fstream>
#include <iterator>
#include <system_error>

namespace engine::platform {

namespace fs = std::filesystem;

namespace {

// The entry of `folder` named `lowerName` in any case (the exact spelling
// first), of the wanted kind; nullopt when there is none.
std::optional<fs::path> findChild(const fs::path& folder, const std::string& lowerName,
                                  bool wantFolder) {
    const auto fits = [&](const fs::path& candidate) {
        std::error_code error;
        return wantFolder ? fs::is_directory(candidate, error)
                          : fs::is_regular_file(candidate, error);
    };
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (lowerLatin(it->path().filename().string()) == lowerName && fits(it->path())) {
            return it->path();
        }
    }
    return std::nullopt;
}

// The SYSTEM hives of the installations one folder deep on a volume, in the
// order the volume lists its folders.
std::vector<fs::path> systemHivesOn(const fs::path& root) {
    std::vector<fs::path> hives;
    std::error_code error;
    for (fs::directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        std::error_code typeError;
        if (!it->is_directory(typeError)) {
            continue;
        }
        auto system32 = findChild(it->path(), "system32", true);
        auto config = system32 ? findChild(*system32, "config", true) : std::nullopt;
        auto hive = config ? findChild(*config, "system", false) : std::nullopt;
        if (hive) {
            hives.push_back(std::move(*hive));
        }
    }
    return hives;
}

} // namespace

DriveTable assignLetters(const std::vector<Volume>& volumes,
                         const std::vector<LetterClaim>& claims) {
    std::array<bool, 26> taken{};
    std::vector<std::optional<char>> letters(volumes.size());
    for (const auto& claim : claims) {
        const auto letter = driveLetter(claim.letter);
        if (!letter || taken[static_cast<std::size_t>(*letter - 'a')]) {
            continue;
        }
        // The claim names the first volume with its id; a volume already
        // given a letter keeps it.
        for (std::size_t i = 0; i < volumes.size(); ++i) {
            if (volumes[i].id == claim.id) {
                if (!letters[i]) {
                    letters[i] = *letter;
                    taken[static_cast<std::size_t>(*letter - 'a')] = true;
                }
                break;
            }
        }
    }
    char next = 'c';
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        if (letters[i]) {
            continue;
        }
        while (next <= 'z' && taken[static_cast<std::size_t>(next - 'a')]) {
            ++next;
        }
        if (next > 'z') {
            break;
        }
        letters[i] = next;
        taken[static_cast<std::size_t>(next - 'a')] = true;
    }
    DriveTable table;
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        if (letters[i]) {
            table.add(*letters[i], volumes[i].type, volumes[i].mountPoint);
        }
    }
    return table;
}

DriveTable detectDrives(const BlockDeviceInfo& devices, const fs::path& mountinfo) {
    std::ifstream in(mountinfo);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<Volume> volumes = parseMountInfo(text, devices);
    std::vector<LetterClaim> claims;
    for (const auto& volume : volumes) {
        if (volume.type != DriveType::Fixed) {
            continue;
        }
        for (const auto& hive : systemHivesOn(volume.mountPoint)) {
            auto found = readMountedDevices(hive);
            claims.insert(claims.end(), found.begin(), found.end());
        }
    }
    return assignLetters(volumes, claims);
}

} // namespace engine::platform
