#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace test {

// Real PE files with a version resource, built by binutils' windres and ld
// for Windows (the i686 and x86_64 mingw-w64 tools). A build that fails, or a
// missing tool, throws std::runtime_error with the tool's output, so the test
// fails.

enum class PeBits { Pe32, Pe64 };

// One string table of StringFileInfo: its block name ("041904b0") and its
// strings (key, UTF-8 value) in order.
struct StringTable {
    std::string block;
    std::vector<std::pair<std::string, std::string>> strings;
};

// A whole VERSIONINFO resource.
struct VersionResource {
    std::vector<StringTable> tables;
    // VarFileInfo\Translation: (language, code page) pairs in order; empty:
    // no VarFileInfo block at all.
    std::vector<std::pair<std::uint16_t, std::uint16_t>> translations;
    std::uint32_t fileType = 1; // VFT_APP
    std::uint32_t fileSubtype = 0;
    std::uint32_t flagsMask = 0x3f;
    std::uint32_t flags = 0;
};

// The strings a Windows program file carries, in one language.
struct VersionStrings {
    std::uint16_t language = 0x0409;
    std::uint16_t codePage = 1200;
    std::string companyName;
    std::string fileDescription;
    std::string fileVersion;
    std::string internalName;
    std::string legalCopyright;
    std::string legalTrademarks;
    std::string originalFilename;
    std::string productName;
    std::string productVersion;
};

// The resource of VersionStrings: one string table named after its language
// and code page, and that one translation. Empty strings are left out.
VersionResource versionResource(const VersionStrings& strings);

// The .rc text of a resource (UTF-8, code page 65001).
std::string versionRc(const VersionResource& resource);

// Builds the PE file `path` from .rc text or a resource.
void buildPeFromRc(const std::filesystem::path& path, const std::string& rc, PeBits bits);
void buildVersionedPe(const std::filesystem::path& path, const VersionResource& resource,
                      PeBits bits = PeBits::Pe32);
void buildVersionedPe(const std::filesystem::path& path, const VersionStrings& strings,
                      PeBits bits = PeBits::Pe32);

// The strings of Windows XP's own taskmgr.exe and userinit.exe, in the
// English (0409, code page 1200) or Russian (0419, code page 1200) edition.
enum class XpLanguage { English, Russian };
VersionStrings xpTaskmgr(XpLanguage language = XpLanguage::English);
VersionStrings xpUserinit(XpLanguage language = XpLanguage::English);

// Writes genuine taskmgr.exe and userinit.exe into `folder` (made when
// missing), as the program's clean copies or an installation's system32.
void writeGenuineXpSystemFiles(const std::filesystem::path& folder,
                               XpLanguage language = XpLanguage::English);

} // namespace test
