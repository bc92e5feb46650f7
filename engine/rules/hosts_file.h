#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <tl/expected.hpp>

#include "hive/file_io.h"

namespace engine {
struct Context;
}

namespace engine::rules {

// The console's page of the loaded installation's hosts file: the list of
// redirections and the editor. The file is single-byte text (code page 1251)
// shown as UTF-8; a save writes every line the technician left as it was
// with exactly the bytes it had.

inline constexpr std::string_view kHostsNotFound = "Файл не найден!!!";
// What "Очистить" leaves in the editor (two spaces).
inline constexpr std::string_view kHostsDefault = "127.0.0.1  localhost";
// The file is there but could not be read: nothing is shown of it, and it is
// never saved over.
inline constexpr std::string_view kHostsUnreadable = "Не удалось прочитать файл hosts!!!";
// A save while the loaded installation has no hosts file (HostsFilePath
// empty, or naming the file of another installation loaded earlier).
inline constexpr std::string_view kHostsSaveRefused =
    "Файл hosts не сохранен: у загруженной системы нет файла hosts...";

// One line of the file as loaded: its bytes (without the line end) and its
// text as shown.
struct HostsLine {
    std::string bytes;
    std::string shown;
};

struct HostsPage {
    // The hosts file of the loaded installation (a Windows path); empty when
    // the loaded installation has none that could be read.
    std::string HostsFilePath;
    // meHosts: the editor's lines as they stand (the window puts the edited
    // text back here before a save).
    std::vector<std::string> Editor;
    // lbHosts: the redirection lines.
    std::vector<std::string> Redirections;
    // The lines of the file as last loaded.
    std::vector<HostsLine> loaded;
};

// The hosts file of the mounted installation: the drive of CurrentSystemHive,
// LoadedSystemRoot without its first two characters, and
// "\system32\drivers\etc\hosts" ("C:\WINDOWS" with the hive on d: gives
// "d:\WINDOWS\system32\drivers\etc\hosts").
std::string hostsFilePathFor(const Context& context);

// Text split into lines at CR LF, LF or CR; a line end at the very end makes
// no empty last line. JoinTextLines ends every line with LF, so that the two
// give back the same lines.
std::vector<std::string> SplitTextLines(std::string_view text);
std::string JoinTextLines(const std::vector<std::string>& lines);

// The redirection lines of the hosts file's lines: each line trimmed of
// white space and control characters, cut at its first "#", kept when not
// empty, and shown as the part before its first space, " -> ", and the rest
// trimmed ("127.0.0.1 a.com b.com # x" gives "127.0.0.1 -> a.com b.com"; a
// line without a space gives " -> " and the whole line).
std::vector<std::string> ParseHostsLines(const std::vector<std::string>& lines);
// The same for a file (a host path), decoded for display; empty when the file
// does not exist or cannot be read.
std::vector<std::string> ParseHostsFile(const std::filesystem::path& hostFile);

// Part of the console's loading: when the mounted installation's hosts file
// exists, HostsFilePath names it, the editor and the list show it, and its
// read-only, hidden, system and archive attributes are cleared. Otherwise the
// editor and the list show kHostsNotFound (kHostsUnreadable when it could not
// be read) and HostsFilePath is emptied, so that no save can reach another
// installation's file.
void LoadHostsFile(Context& context, HostsPage& page);

// "Очистить": the editor holds kHostsDefault alone. Nothing is written.
void ClearHostsEditor(HostsPage& page);

// "Сохранить": writes the editor's lines, each ending in CR LF, as the hosts
// file of the loaded installation; an unedited line keeps its bytes, any
// other is encoded in code page 1251. The old file is replaced only once the
// new one is complete and on the disk, keeping its permissions and NTFS
// security. Then the editor and the list show the file again. Refused with
// kHostsSaveRefused when HostsFilePath is not the mounted installation's
// hosts file. On failure the message box text ("Cannot create file "%s". %s")
// and the old file as it was; the editor and list are not reloaded.
tl::expected<void, std::string> SaveHostsFile(Context& context, HostsPage& page, hive::FileIo& io);
tl::expected<void, std::string> SaveHostsFile(Context& context, HostsPage& page);

} // namespace engine::rules
