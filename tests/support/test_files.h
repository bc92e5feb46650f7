#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace test {

// The test data folder, and one file in it ("hives/empty-hive").
std::filesystem::path testdata(const std::string& relative = {});

// A fresh temporary folder for one test, removed with the object.
class TempDir {
public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Copies a test data file (writable) into a folder and returns the copy's path.
std::filesystem::path copyTestFile(const std::string& relative, const std::filesystem::path& dir);

std::vector<unsigned char> readFile(const std::filesystem::path& file);

// Everything below a folder, links not followed: each entry's relative path
// with its kind and content (a file's size and hash, a link's target), so that
// two snapshots differ when anything in the tree was written, made or removed.
std::map<std::string, std::string> treeSnapshot(const std::filesystem::path& folder);

// Runs a command through the shell; returns its exit status and what it printed.
struct CommandResult {
    int status = -1;
    std::string output;
};
CommandResult runCommand(const std::string& command);

// A string quoted for the shell.
std::string shellQuote(const std::string& text);

} // namespace test
