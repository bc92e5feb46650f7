#include "support/test_files.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <stdexcept>

#include <sys/wait.h>

namespace test {

std::filesystem::path testdata(const std::string& relative) {
    return std::filesystem::path(MORVALIN_TESTDATA) / relative;
}

TempDir::TempDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = std::filesystem::temp_directory_path() /
                         ("morvalin-test-" + std::to_string(rd()) + std::to_string(attempt));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::filesystem::path copyTestFile(const std::string& relative, const std::filesystem::path& dir) {
    const auto source = testdata(relative);
    const auto target = dir / source.filename();
    std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(target, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    return target;
}

std::vector<unsigned char> readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

CommandResult runCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        result.output.append(buffer.data(), n);
    }
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string shellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out.push_back(c);
        }
    }
    return out + "'";
}

std::map<std::string, std::string> treeSnapshot(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = fs::relative(entry.path(), folder).string();
        if (entry.is_symlink()) {
            entries[name] = "link " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_directory()) {
            entries[name] = "folder";
        } else {
            const auto bytes = readFile(entry.path());
            const std::string content(bytes.begin(), bytes.end());
            entries[name] = "file of " + std::to_string(content.size()) + " bytes, hash " +
                            std::to_string(std::hash<std::string>{}(content));
        }
    }
    return entries;
}

} // namespace test
