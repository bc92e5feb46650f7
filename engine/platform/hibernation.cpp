#include "platform/hibernation.h"
#include "platform/latin_case.h"

#include <array>
#include <fstream>
#include <string>
#include <system_error>

namespace engine::platform {
namespace {

bool isHiberfilName(const std::string& name) {
    return lowerLatin(name) == "hiberfil.sys";
}

bool holdsImageSignature(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::array<char, 4> head{};
    if (!in.read(head.data(), head.size())) {
        return false;
    }
    const std::string_view signature(head.data(), head.size());
    return signature == "hibr" || signature == "HIBR" || signature == "rstr" || signature == "RSTR";
}

} // namespace

bool volumeIsHibernated(const std::filesystem::path& root) {
    std::error_code ec;
    std::filesystem::directory_iterator it(root, ec);
    if (ec) {
        return false;
    }
    // A case-sensitive host may hold more than one spelling; Windows resumes
    // from whichever it finds, so any image among them counts.
    for (const std::filesystem::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) {
            break;
        }
        if (isHiberfilName(it->path().filename().string()) && it->is_regular_file(ec) &&
            holdsImageSignature(it->path())) {
            return true;
        }
    }
    return false;
}

} // namespace engine::platform
