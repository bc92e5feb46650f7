// The in-process registry: hives of the engine mounted under names of
// HKEY_LOCAL_MACHINE.
#include "registry/offline_registry.h"

#include <algorithm>
#include <system_error>

#include "hive/names.h"
#include "registry/write_policy.h"

namespace engine::registry {

namespace fs = std::filesystem;

namespace {

bool sameName(std::string_view a, std::string_view b) {
    const auto ua = hive::fromUtf8(a);
    const auto ub = hive::fromUtf8(b);
    if (!ua || !ub) {
        return a == b;
    }
    return hive::namesEqual(*ua, *ub);
}

bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    if (fs::equivalent(a, b, ec)) {
        return true;
    }
    const fs::path ca = fs::weakly_canonical(a, ec);
    if (ec) {
        return false;
    }
    const fs::path cb = fs::weakly_canonical(b, ec);
    return !ec && ca == cb;
}

} // namespace

OfflineRegistry::OfflineRegistry(std::shared_ptr<hive::FileIo> io)
    : io_(io ? std::move(io) : std::make_shared<hive::PosixFileIo>()) {}

void OfflineRegistry::setFileIo(std::shared_ptr<hive::FileIo> io) {
    io_ = io ? std::move(io) : std::make_shared<hive::PosixFileIo>();
}

bool OfflineRegistry::refuse(MountFailure failure, std::string detail) {
    last_ = MountOutcome{failure, std::move(detail), false};
    return false;
}

Mount* OfflineRegistry::find(std::string_view name) {
    for (const auto& m : mounts_) {
        if (sameName(m->name, name)) {
            return m.get();
        }
    }
    return nullptr;
}

bool OfflineRegistry::mount(std::string_view name, std::string_view hiveFile, const fs::path& host,
                            const fs::path& volumeRoot) {
    last_ = {};
    if (find(name) != nullptr) {
        return refuse(MountFailure::NameInUse,
                      "под именем " + std::string(name) + " уже загружен куст");
    }
    std::error_code ec;
    if (!fs::is_regular_file(host, ec)) {
        return refuse(MountFailure::Missing, "нет такого файла: " + host.string());
    }
    for (const auto& m : mounts_) {
        if (sameFile(m->host, host)) {
            return refuse(MountFailure::AlreadyMounted,
                          "этот файл уже загружен под именем " + m->name);
        }
    }
    // A hive is mounted to be changed and written back: what may not be
    // written is not mounted.
    if (auto refusal = writeRefusal(volumeRoot, host, *io_)) {
        return refuse(refusal->block == WriteBlock::Hibernated ? MountFailure::Hibernated
                                                               : MountFailure::ReadOnly,
                      std::move(refusal->detail));
    }

    auto plain = hive::Hive::open(host);
    if (!plain) {
        return refuse(MountFailure::NotAHive, plain.error().describe());
    }
    if (plain->baseBlock().fileType != hive::BaseBlock::kFileTypePrimary) {
        return refuse(MountFailure::NotAHive, host.string() + ": не основной файл куста");
    }
    const bool dirty = plain->dirty();
    auto opened = dirty ? hive::Hive::openRecovered(host) : std::move(plain);
    if (!opened) {
        return refuse(MountFailure::DirtyWithoutLogs, opened.error().describe());
    }

    // What a hive's write-back needs besides: not compressed, sparse or
    // encrypted.
    if (auto writable = hive::checkWriteBack(*io_, host); !writable) {
        return refuse(MountFailure::ReadOnly, writable.error().describe());
    }

    // The check that precedes the first change, made now: a hive that could
    // not be changed safely is not mounted at all.
    if (auto ready = opened->prepareChanges(); !ready) {
        return refuse(MountFailure::Damaged, ready.error().describe());
    }

    if (clock_) {
        opened->setClock(clock_);
    }
    last_.recovered = opened->recovery().has_value();
    mounts_.push_back(std::make_unique<Mount>(
        Mount{std::string(name), std::string(hiveFile), host, std::move(*opened)}));
    return true;
}

bool OfflineRegistry::unmount(std::string_view name) {
    last_ = {};
    const auto it = std::find_if(mounts_.begin(), mounts_.end(),
                                 [&](const auto& m) { return sameName(m->name, name); });
    if (it == mounts_.end()) {
        return refuse(MountFailure::NotMounted,
                      "под именем " + std::string(name) + " нет загруженного куста");
    }
    Mount& m = **it;
    // A hive recovered from its logs at mount but not changed since is left
    // as it is: Windows, or our next mount, recovers it the same way.
    if (m.hive.changeCount() > 0 && m.hive.changed()) {
        hive::WriteBackOptions options;
        options.windows = windows_;
        options.clock = clock_;
        auto written = m.hive.writeBack(*io_, options);
        if (!written) {
            // The mount stays with its changes: nothing is lost, and a later
            // unmount writes them again from the start. The reason goes to a
            // log line, so it names no host path (the caller knows the hive).
            return refuse(MountFailure::WriteBackFailed, written.error().message);
        }
    }
    mounts_.erase(it);
    return true;
}

bool OfflineRegistry::discard(std::string_view name) {
    const auto it = std::find_if(mounts_.begin(), mounts_.end(),
                                 [&](const auto& m) { return sameName(m->name, name); });
    if (it == mounts_.end()) {
        return false;
    }
    mounts_.erase(it);
    return true;
}

OfflineRegistry::Resolved OfflineRegistry::resolve(std::string_view keyPath) {
    // A leading backslash only says the path starts at the root.
    while (!keyPath.empty() && keyPath.front() == '\\') {
        keyPath.remove_prefix(1);
    }
    const std::size_t split = keyPath.find('\\');
    const std::string_view first = keyPath.substr(0, split);
    Resolved resolved;
    if (first.empty()) {
        return resolved;
    }
    resolved.mount = find(first);
    if (resolved.mount != nullptr && split != std::string_view::npos) {
        resolved.inner = std::string(keyPath.substr(split + 1));
    }
    return resolved;
}

} // namespace engine::registry
