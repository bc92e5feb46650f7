// Shell link targets through liblnk: the C library's file and error objects
// held in RAII wrappers, so that every path out of here frees them.
#include "rules/shortcut_target.h"

#include <cstdint>
#include <vector>

#include <liblnk.h>

#include "platform/windows_paths.h"

namespace engine::rules {

namespace {

// An error liblnk hands back; freed when it goes out of scope.
class LnkError {
public:
    LnkError() = default;
    LnkError(const LnkError&) = delete;
    LnkError& operator=(const LnkError&) = delete;
    ~LnkError() { reset(); }

    liblnk_error_t** out() {
        reset();
        return &error_;
    }

private:
    void reset() {
        if (error_ != nullptr) {
            liblnk_error_free(&error_);
        }
    }
    liblnk_error_t* error_ = nullptr;
};

// A link file of liblnk, opened read-only by open(); closed and freed with
// the object.
class LnkFile {
public:
    LnkFile() {
        LnkError error;
        if (liblnk_file_initialize(&file_, error.out()) != 1) {
            file_ = nullptr;
        }
    }
    LnkFile(const LnkFile&) = delete;
    LnkFile& operator=(const LnkFile&) = delete;
    ~LnkFile() {
        LnkError error;
        if (open_) {
            liblnk_file_close(file_, error.out());
        }
        if (file_ != nullptr) {
            liblnk_file_free(&file_, error.out());
        }
    }

    bool open(const std::filesystem::path& path) {
        LnkError error;
        open_ = file_ != nullptr &&
                liblnk_file_open(file_, path.c_str(), LIBLNK_OPEN_READ, error.out()) == 1;
        return open_;
    }

    using SizeGetter = int (*)(liblnk_file_t*, std::size_t*, liblnk_error_t**);
    using TextGetter = int (*)(liblnk_file_t*, std::uint8_t*, std::size_t, liblnk_error_t**);

    // One of the link's UTF-8 strings; empty when the link has none.
    std::string text(SizeGetter sizeOf, TextGetter get) {
        LnkError error;
        std::size_t size = 0;
        if (sizeOf(file_, &size, error.out()) != 1 || size == 0) {
            return {};
        }
        std::vector<std::uint8_t> buffer(size);
        if (get(file_, buffer.data(), buffer.size(), error.out()) != 1) {
            return {};
        }
        std::string result(buffer.begin(), buffer.end());
        result.resize(result.find('\0') == std::string::npos ? result.size() : result.find('\0'));
        return result;
    }

private:
    liblnk_file_t* file_ = nullptr;
    bool open_ = false;
};

} // namespace

std::string shortcutTarget(const std::filesystem::path& linkFile) {
    LnkFile link;
    if (!link.open(linkFile)) {
        return {};
    }
    // The path the link's location information gives, local first, as the
    // shell reports a link's path; a link to a share has only the network one.
    std::string target =
        link.text(liblnk_file_get_utf8_local_path_size, liblnk_file_get_utf8_local_path);
    if (target.empty()) {
        target =
            link.text(liblnk_file_get_utf8_network_path_size, liblnk_file_get_utf8_network_path);
    }
    return target;
}

std::string ResolveShortcut(const platform::DriveTable& drives, std::string_view linkPath) {
    if (linkPath.empty()) {
        return {};
    }
    const auto host = platform::toHostPath(drives, linkPath);
    std::error_code error;
    if (!host || !std::filesystem::is_regular_file(*host, error)) {
        return {};
    }
    return shortcutTarget(*host);
}

} // namespace engine::rules
