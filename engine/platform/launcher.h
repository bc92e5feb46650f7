#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine::platform {

// How an outside program's window is to be shown, with the numbers Windows
// gives them (the stand-ins in tools/ read it from MORVALIN_SHOW_MODE).
enum class ShowMode : int {
    Normal = 1,            // SW_SHOWNORMAL
    MinimizedNoActive = 7, // SW_SHOWMINNOACTIVE
};

// Starts outside programs from Windows command lines. A program is started
// and never waited for; whether it started is not reported.
class Launcher {
public:
    virtual ~Launcher() = default;
    virtual void run(const std::string& commandLine, ShowMode show) = 0;
};

// Splits a Windows command line into its words the way the C runtime does:
// blanks separate words; double quotes group blanks into a word and are
// removed; 2n backslashes before a quote stand for n backslashes (the quote
// groups), 2n+1 for n backslashes and a literal quote; "" inside quotes is a
// literal quote; other backslashes are themselves. The first word, the
// program, ends at its closing quote or first blank and keeps its
// backslashes.
std::vector<std::string> splitCommandLine(std::string_view commandLine);

// The last component of a Windows or POSIX path: "TC.exe" of
// "Y:\FileManager\TotalCMD\TC.exe".
std::string programBaseName(std::string_view program);

// The launcher of the live medium. A program is found by its base name: in
// the tools folders first (the stand-ins installed beside the binary), then
// in the folders of PATH; one that is nowhere is not started. Commands the
// program answers itself (internal commands, by base name without case: the
// registry editor is our own window, and "taskkill" can only mean closing
// it) never reach the system: "taskkill" and "regedit.exe" are internal from
// the start and do nothing until a window takes them over with
// setInternal.
class ProcessLauncher final : public Launcher {
public:
    using Internal = std::function<void(const std::vector<std::string>& words)>;

    ProcessLauncher(std::vector<std::filesystem::path> toolFolders, std::string searchPath);

    void run(const std::string& commandLine, ShowMode show) override;
    void setInternal(const std::string& baseName, Internal handler);

    // The file that would be started for a program word; nullopt when it is
    // nowhere or is internal.
    std::optional<std::filesystem::path> find(std::string_view program) const;

private:
    const Internal* internal(std::string_view program) const;

    std::vector<std::filesystem::path> toolFolders_;
    std::string searchPath_;
    std::map<std::string, Internal> internal_; // lower-case base names
};

// The tools folder of a binary in `binaryFolder`: `tools` beside it (a build
// folder, the live medium), else `../lib/morvalin/tools` (an installation
// under /usr or /usr/local).
std::filesystem::path toolsFolderOf(const std::filesystem::path& binaryFolder);

// The tools folder of the running binary.
std::filesystem::path toolsOfExecutable();

} // namespace engine::platform
