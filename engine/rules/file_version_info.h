#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/drive_table.h"

namespace engine::rules {

// What a program file says of itself: the strings of its version resource,
// the fixed part's type and flags, and the file's facts. Anything that cannot
// be read stays empty, zero or false.
struct TFileVersionInfo {
    std::string TypeName;
    std::string CompanyName;
    std::string FileDescription;
    std::string FileVersion;
    std::string InternalName;
    std::string LegalCopyright;
    std::string LegalTrademarks;
    std::string OriginalFileName;
    std::string ProductName;
    std::string ProductVersion;
    std::string FileType;
    bool Patched = false;
    bool InfoInferred = false;
    std::uintptr_t Icon = 0; // no icons on this platform: always 0
    double CreationTime = 0; // days since 30 December 1899, local time
    double LastAccessTime = 0;
    double LastWriteTime = 0;
    bool ReadOnly = false;
    bool Hidden = false;
    bool System = false;
    bool VolumeLabel = false;
    bool Directory = false;
    bool Archive = false;
    bool Attribute40 = false;
    std::int64_t Size = 0;

    friend bool operator==(const TFileVersionInfo&, const TFileVersionInfo&) = default;
};

// The version information of the PE file at a Windows path (mapped through
// the drive table). Strings come out as UTF-8.
TFileVersionInfo ReadFileVersionInfo(const platform::DriveTable& drives,
                                     std::string_view windowsPath);

// The version-resource part alone, from a file's bytes: the nine strings of
// the first translation, the file type text and the two flags.
TFileVersionInfo readVersionResource(std::string_view fileBytes);

} // namespace engine::rules
