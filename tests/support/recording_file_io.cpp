#include "support/recording_file_io.h"

#include <algorithm>
#include <memory>

namespace test {

namespace {

class RecordingFile final : public engine::hive::OpenFile {
public:
    RecordingFile(std::unique_ptr<engine::hive::OpenFile> inner, std::filesystem::path path,
                  std::vector<IoEvent>& events)
        : inner_(std::move(inner))
        , path_(std::move(path))
        , events_(events) {}

    engine::hive::Result<std::uint64_t> size() override { return inner_->size(); }
    engine::hive::Result<std::size_t> read(std::uint64_t offset,
                                           std::span<std::uint8_t> buffer) override {
        return inner_->read(offset, buffer);
    }
    engine::hive::Result<std::size_t> write(std::uint64_t offset,
                                            std::span<const std::uint8_t> bytes) override {
        auto written = inner_->write(offset, bytes);
        if (written) {
            events_.push_back({IoEvent::Kind::Write, path_, offset,
                               std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + *written)});
        }
        return written;
    }
    engine::hive::Result<void> sync() override {
        auto synced = inner_->sync();
        if (synced) {
            events_.push_back({IoEvent::Kind::Sync, path_, 0, {}});
        }
        return synced;
    }

private:
    std::unique_ptr<engine::hive::OpenFile> inner_;
    std::filesystem::path path_;
    std::vector<IoEvent>& events_;
};

} // namespace

engine::hive::Result<engine::hive::Opened> RecordingFileIo::open(const std::filesystem::path& file,
                                                                 bool create) {
    auto opened = inner_.open(file, create);
    if (!opened) {
        return opened;
    }
    if (opened->created) {
        events_.push_back({IoEvent::Kind::Create, file, 0, {}});
    }
    opened->file = std::make_unique<RecordingFile>(std::move(opened->file), file, events_);
    return opened;
}

engine::hive::Result<void> RecordingFileIo::syncFolder(const std::filesystem::path& folder) {
    auto synced = inner_.syncFolder(folder);
    if (synced) {
        events_.push_back({IoEvent::Kind::SyncFolder, folder, 0, {}});
    }
    return synced;
}

engine::hive::Result<engine::hive::FileFacts>
RecordingFileIo::facts(const std::filesystem::path& file) {
    return inner_.facts(file);
}

std::size_t RecordingFileIo::count(IoEvent::Kind kind) const {
    return static_cast<std::size_t>(std::count_if(
        events_.begin(), events_.end(), [kind](const IoEvent& e) { return e.kind == kind; }));
}

} // namespace test
