#include "platform/launcher.h"
#include "platform/latin_case.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

extern char** environ;

namespace engine::platform {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isProgramFile(const std::filesystem::path& file) {
    std::error_code error;
    return std::filesystem::is_regular_file(file, error) && ::access(file.c_str(), X_OK) == 0;
}

// The file in `folder` named `name`, exactly or else in any case of A-Z (the
// command lines name programs as Windows would, whatever their case).
std::optional<std::filesystem::path> findInFolder(const std::filesystem::path& folder,
                                                  const std::string& name) {
    if (isProgramFile(folder / name)) {
        return folder / name;
    }
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    if (error) {
        return std::nullopt;
    }
    const std::string wanted = lowerLatin(name);
    for (const auto& entry : entries) {
        const std::string entryName = entry.path().filename().string();
        if (lowerLatin(entryName) == wanted && isProgramFile(entry.path())) {
            return entry.path();
        }
    }
    return std::nullopt;
}

} // namespace

std::vector<std::string> splitCommandLine(std::string_view line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size() && isBlank(line[i])) {
        ++i;
    }
    if (i == line.size()) {
        return words;
    }
    // The program: quotes group, backslashes are plain characters.
    std::string program;
    bool quoted = false;
    for (; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
        } else if (isBlank(line[i]) && !quoted) {
            break;
        } else {
            program += line[i];
        }
    }
    words.push_back(std::move(program));

    while (true) {
        while (i < line.size() && isBlank(line[i])) {
            ++i;
        }
        if (i == line.size()) {
            break;
        }
        std::string word;
        quoted = false;
        while (i < line.size() && (quoted || !isBlank(line[i]))) {
            if (line[i] == '\\') {
                std::size_t slashes = 0;
                while (i < line.size() && line[i] == '\\') {
                    ++slashes;
                    ++i;
                }
                if (i < line.size() && line[i] == '"') {
                    word.append(slashes / 2, '\\');
                    if (slashes % 2 == 1) {
                        word += '"';
                        ++i;
                    }
                } else {
                    word.append(slashes, '\\');
                }
            } else if (line[i] == '"') {
                if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                    word += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                word += line[i++];
            }
        }
        words.push_back(std::move(word));
    }
    return words;
}

std::string programBaseName(std::string_view program) {
    const auto slash = program.find_last_of("\\/");
    return std::string(slash == std::string_view::npos ? program : program.substr(slash + 1));
}

ProcessLauncher::ProcessLauncher(std::vector<std::filesystem::path> toolFolders,
                                 std::string searchPath)
    : toolFolders_(std::move(toolFolders))
    , searchPath_(std::move(searchPath)) {
    // Until the registry editor window exists there is nothing of ours to
    // close or open, and nothing outside may be started in their place (a
    // "taskkill" found in PATH could end any process).
    for (const char* name : {"taskkill", "taskkill.exe", "regedit", "regedit.exe"}) {
        internal_[name] = [](const std::vector<std::string>&) {};
    }
}

void ProcessLauncher::setInternal(const std::string& baseName, Internal handler) {
    internal_[lowerLatin(baseName)] = std::move(handler);
}

const ProcessLauncher::Internal* ProcessLauncher::internal(std::string_view program) const {
    const auto found = internal_.find(lowerLatin(programBaseName(program)));
    return found == internal_.end() ? nullptr : &found->second;
}

std::optional<std::filesystem::path> ProcessLauncher::find(std::string_view program) const {
    const std::string name = programBaseName(program);
    if (name.empty() || name == "." || name == ".." || internal(program) != nullptr) {
        return std::nullopt;
    }
    for (const auto& folder : toolFolders_) {
        if (folder.empty()) {
            continue; // never the working folder
        }
        if (auto file = findInFolder(folder, name)) {
            return file;
        }
    }
    std::size_t start = 0;
    while (start <= searchPath_.size()) {
        auto end = searchPath_.find(':', start);
        if (end == std::string::npos) {
            end = searchPath_.size();
        }
        const std::string folder = searchPath_.substr(start, end - start);
        // An empty PATH entry means the working folder: never looked in.
        if (!folder.empty() && isProgramFile(std::filesystem::path(folder) / name)) {
            return std::filesystem::path(folder) / name;
        }
        start = end + 1;
    }
    return std::nullopt;
}

void ProcessLauncher::run(const std::string& commandLine, ShowMode show) {
    const auto words = splitCommandLine(commandLine);
    if (words.empty()) {
        return;
    }
    if (const Internal* handler = internal(words.front())) {
        (*handler)(words);
        return;
    }
    const auto file = find(words.front());
    if (!file) {
        return;
    }

    // A shell that starts the program in the background and ends at once:
    // the program is then nobody's child to wait for, and we wait only for
    // the shell.
    std::vector<std::string> arguments = {"/bin/sh", "-c", "\"$@\" &", "sh", file->string()};
    arguments.insert(arguments.end(), words.begin() + 1, words.end());
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    std::string showVariable = "MORVALIN_SHOW_MODE=" + std::to_string(static_cast<int>(show));
    std::vector<char*> envp;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (std::string_view(*variable).substr(0, 19) != "MORVALIN_SHOW_MODE=") {
            envp.push_back(*variable);
        }
    }
    envp.push_back(showVariable.data());
    envp.push_back(nullptr);

    pid_t shell = 0;
    if (::posix_spawn(&shell, "/bin/sh", nullptr, nullptr, argv.data(), envp.data()) != 0) {
        return;
    }
    int status = 0;
    while (::waitpid(shell, &status, 0) < 0 && errno == EINTR) {
    }
}

std::filesystem::path toolsFolderOf(const std::filesystem::path& binaryFolder) {
    std::error_code error;
    auto beside = binaryFolder / "tools";
    if (std::filesystem::is_directory(beside, error)) {
        return beside;
    }
    return binaryFolder.parent_path() / "lib" / "morvalin" / "tools";
}

std::filesystem::path toolsOfExecutable() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return {};
    }
    return toolsFolderOf(self.parent_path());
}

} // namespace engine::platform
