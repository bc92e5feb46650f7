// The hosts file page: loading, parsing into redirections, and the
// crash-safe save that keeps the bytes of unedited lines.
#include "rules/hosts_file.h"

#include <cerrno>
#include <map>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include "context/context.h"
#include "hive/unique_fd.h"
#include "platform/character_count.h"
#include "platform/cp1251.h"
#include "platform/replace_file.h"
#include "platform/windows_paths.h"
#include "rules/drive_bound_path.h"
#include "rules/file_attributes.h"

namespace engine::rules {

namespace {

namespace fs = std::filesystem;

// White space and control characters, as the trimming of the lines counts
// them: every byte up to the space.
bool isBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The whole of a regular file; the reason when it cannot be read.
tl::expected<std::string, std::string> readWholeFile(const fs::path& file) {
    const auto why = [&file](int error) {
        return tl::unexpected(file.string() + ": " +
                              std::error_code(error, std::generic_category()).message());
    };
    const hive::UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
        return why(errno);
    }
    if (!S_ISREG(st.st_mode)) {
        return why(EINVAL);
    }
    std::string content;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return why(errno);
        }
        if (n == 0) {
            return content;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
}

std::vector<HostsLine> decodeLines(const std::string& content) {
    std::vector<HostsLine> lines;
    for (auto& bytes : SplitTextLines(content)) {
        std::string shown = platform::cp1251ToUtf8(bytes);
        lines.push_back({std::move(bytes), std::move(shown)});
    }
    return lines;
}

// Shows the file's lines in the editor and the list.
void show(HostsPage& page, std::vector<HostsLine> lines) {
    page.loaded = std::move(lines);
    page.Editor.clear();
    for (const auto& line : page.loaded) {
        page.Editor.push_back(line.shown);
    }
    page.Redirections = ParseHostsLines(page.Editor);
}

void showOnly(HostsPage& page, std::string_view line) {
    page.loaded.clear();
    page.Editor = {std::string(line)};
    page.Redirections = {std::string(line)};
}

// The bytes to write for the editor's lines: a line shown as it was loaded
// keeps the bytes it was loaded from.
std::string contentOf(const HostsPage& page) {
    std::map<std::string_view, std::string_view> original;
    for (const auto& line : page.loaded) {
        original.emplace(line.shown, line.bytes);
    }
    std::string content;
    for (const auto& line : page.Editor) {
        if (const auto it = original.find(line); it != original.end()) {
            content += it->second;
        } else {
            content += platform::utf8ToCp1251(line);
        }
        content += "\r\n";
    }
    return content;
}

} // namespace

std::string hostsFilePathFor(const Context& context) {
    return platform::driveOf(context.CurrentSystemHive) +
           platform::dropCharacters(context.LoadedSystemRoot, 2) +
           "\\system32\\drivers\\etc\\hosts";
}

std::vector<std::string> SplitTextLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '\r' && text[at] != '\n') {
            continue;
        }
        lines.emplace_back(text.substr(start, at - start));
        if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
            ++at;
        }
        start = at + 1;
    }
    if (start < text.size()) {
        lines.emplace_back(text.substr(start));
    }
    return lines;
}

std::string JoinTextLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += '\n';
    }
    return text;
}

std::vector<std::string> ParseHostsLines(const std::vector<std::string>& lines) {
    std::vector<std::string> redirections;
    for (const auto& line : lines) {
        std::string_view entry = trim(line);
        if (const auto hash = entry.find('#'); hash != std::string_view::npos) {
            entry = entry.substr(0, hash);
        }
        if (entry.empty()) {
            continue;
        }
        const auto space = entry.find(' ');
        if (space == std::string_view::npos) {
            redirections.push_back(" -> " + std::string(entry));
            continue;
        }
        redirections.push_back(std::string(entry.substr(0, space)) + " -> " +
                               std::string(trim(entry.substr(space))));
    }
    return redirections;
}

std::vector<std::string> ParseHostsFile(const fs::path& hostFile) {
    const auto content = readWholeFile(hostFile);
    if (!content) {
        return {};
    }
    std::vector<std::string> shown;
    for (auto& line : decodeLines(*content)) {
        shown.push_back(std::move(line.shown));
    }
    return ParseHostsLines(shown);
}

void LoadHostsFile(Context& context, HostsPage& page) {
    const std::string path = hostsFilePathFor(context);
    const auto host = platform::toHostPath(context.drives, path);
    if (!host || !platform::FileExists(context.drives, path)) {
        page.HostsFilePath.clear();
        showOnly(page, kHostsNotFound);
        return;
    }
    const auto content = readWholeFile(*host);
    if (!content) {
        page.HostsFilePath.clear();
        showOnly(page, kHostsUnreadable);
        return;
    }
    page.HostsFilePath = path;
    show(page, decodeLines(*content));
    // The attributes go so that a later save can replace the file; as with
    // the outside command this stands for, nothing waits on the outcome.
    (void)ClearFileAttributes(*host);
}

void ClearHostsEditor(HostsPage& page) {
    page.Editor = {std::string(kHostsDefault)};
}

tl::expected<void, std::string> SaveHostsFile(Context& context, HostsPage& page, hive::FileIo& io) {
    if (page.HostsFilePath.empty() || context.CurrentSystemHive.empty() ||
        page.HostsFilePath != hostsFilePathFor(context)) {
        return tl::unexpected(std::string(kHostsSaveRefused));
    }
    const auto fail = [&page](const std::string& reason) {
        return tl::unexpected(
            fmt::format("Cannot create file \"{}\". {}", page.HostsFilePath, reason));
    };
    const auto host = driveBoundHostPath(context.drives, page.HostsFilePath);
    if (!host) {
        return fail("Путь ведет за пределы диска.");
    }
    const std::string content = contentOf(page);
    const platform::ContentWriter write = [&content](hive::OpenFile& file) {
        return hive::writeExactly(
            file, 0,
            std::span(reinterpret_cast<const std::uint8_t*>(content.data()), content.size()));
    };
    if (auto replaced = platform::replaceFile(*host, write, io); !replaced) {
        const hive::Error& error = replaced.error();
        return fail(error.file.empty() ? error.message : error.describe());
    }
    if (auto reread = readWholeFile(*host)) {
        show(page, decodeLines(*reread));
    }
    return {};
}

tl::expected<void, std::string> SaveHostsFile(Context& context, HostsPage& page) {
    hive::PosixFileIo io;
    return SaveHostsFile(context, page, io);
}

} // namespace engine::rules
