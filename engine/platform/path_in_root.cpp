// Host paths resolved component by component inside a drive's folder, so
// that no link on a target disk leads a path off its drive.
#include "platform/path_in_root.h"

#include <array>
#include <climits>
#include <deque>
#include <system_error>

#include <unistd.h>

#include "hive/names.h"

namespace engine::platform {

namespace fs = std::filesystem;

namespace {

bool namesMatchWithoutCase(const std::string& a, const std::string& b) {
    const auto wideA = hive::fromUtf8(a);
    const auto wideB = hive::fromUtf8(b);
    return wideA && wideB && hive::namesEqual(*wideA, *wideB);
}

// The entry of `folder` called `name`: the exact spelling first, else the
// first entry equal without case (in name order, so the choice is stable).
std::optional<std::string> findEntry(const fs::path& folder, const std::string& name) {
    std::error_code error;
    if (fs::exists(fs::symlink_status(folder / name, error))) {
        return name;
    }
    std::optional<std::string> best;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string entry = it->path().filename().string();
        if (namesMatchWithoutCase(entry, name) && (!best || entry < *best)) {
            best = entry;
        }
    }
    return best;
}

// The target of a symbolic link, bounded; nullopt when it cannot be read.
std::optional<std::string> linkTarget(const fs::path& link) {
    std::array<char, PATH_MAX> buffer{};
    const ssize_t n = ::readlink(link.c_str(), buffer.data(), buffer.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) {
        return std::nullopt;
    }
    return std::string(buffer.data(), static_cast<std::size_t>(n));
}

// The names of a link target, without empty and "." ones.
std::vector<std::string> namesOf(const fs::path& target) {
    std::vector<std::string> names;
    for (const auto& part : target.relative_path()) {
        const std::string name = part.string();
        if (!name.empty() && name != ".") {
            names.push_back(name);
        }
    }
    return names;
}

// The part of an absolute host path below `root`, when it lies there.
std::optional<fs::path> below(const fs::path& target, const fs::path& root) {
    if (root.empty() || !root.is_absolute()) {
        return std::nullopt;
    }
    const fs::path normal = target.lexically_normal();
    auto t = normal.begin();
    for (const auto& part : root.lexically_normal()) {
        if (part.empty()) {
            continue; // the trailing separator of "dir/"
        }
        if (t == normal.end() || *t != part) {
            return std::nullopt;
        }
        ++t;
    }
    fs::path rest;
    for (; t != normal.end(); ++t) {
        rest /= *t;
    }
    return rest;
}

} // namespace

std::optional<PathInRoot> resolveInRoot(const fs::path& root,
                                        const std::vector<std::string>& components,
                                        LastComponent last) {
    std::error_code error;
    const fs::path absoluteRoot = fs::absolute(root, error);
    const fs::path canonicalRoot = fs::weakly_canonical(root, error);

    PathInRoot result;
    std::deque<std::string> pending(components.begin(), components.end());
    std::vector<std::string> done; // entries below the root, each a real one so far
    bool lookingUp = true;
    int hops = 0;
    auto here = [&] {
        fs::path path = root;
        for (const auto& name : done) {
            path /= name;
        }
        return path;
    };

    while (!pending.empty()) {
        std::string name = std::move(pending.front());
        pending.pop_front();
        if (name.empty() || name == ".") {
            continue;
        }
        if (name == "..") {
            if (done.empty()) {
                result.leftRoot = true;
            } else {
                done.pop_back();
            }
            continue;
        }
        if (!lookingUp) {
            done.push_back(std::move(name));
            continue;
        }
        const fs::path folder = here();
        const auto found = findEntry(folder, name);
        if (!found) {
            lookingUp = false;
            done.push_back(std::move(name));
            continue;
        }
        const fs::path entry = folder / *found;
        const bool isLink = fs::is_symlink(fs::symlink_status(entry, error));
        if (!isLink || (pending.empty() && last == LastComponent::AsEntry)) {
            done.push_back(*found);
            continue;
        }
        if (++hops > kMaxLinkHops) {
            return std::nullopt;
        }
        const auto target = linkTarget(entry);
        if (!target) {
            return std::nullopt;
        }
        fs::path targetPath(*target);
        if (targetPath.is_absolute()) {
            auto inside = below(targetPath, absoluteRoot);
            if (!inside) {
                inside = below(targetPath, canonicalRoot);
            }
            if (inside) {
                targetPath = *inside;
            } else {
                result.leftRoot = true;
            }
            done.clear();
        }
        const auto names = namesOf(targetPath);
        pending.insert(pending.begin(), names.begin(), names.end());
    }
    result.host = here();
    return result;
}

} // namespace engine::platform
