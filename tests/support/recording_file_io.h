#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "hive/file_io.h"

namespace test {

// One operation a write-back did on the disk.
struct IoEvent {
    enum class Kind { Create, Write, Sync, SyncFolder };
    Kind kind = Kind::Write;
    std::filesystem::path path; // the file, or the folder of SyncFolder
    std::uint64_t offset = 0;
    std::vector<std::uint8_t> bytes; // what a write handed over
};

// Passes every operation on to another FileIo and records each creation,
// write and sync in order, so that a test can replay them onto copies.
class RecordingFileIo final : public engine::hive::FileIo {
public:
    explicit RecordingFileIo(engine::hive::FileIo& inner)
        : inner_(inner) {}

    engine::hive::Result<engine::hive::Opened> open(const std::filesystem::path& file,
                                                    bool create) override;
    engine::hive::Result<void> syncFolder(const std::filesystem::path& folder) override;
    engine::hive::Result<engine::hive::FileFacts> facts(const std::filesystem::path& file) override;

    const std::vector<IoEvent>& events() const { return events_; }
    std::size_t count(IoEvent::Kind kind) const;

private:
    engine::hive::FileIo& inner_;
    std::vector<IoEvent> events_;
};

} // namespace test
