#include "support/faulty_file_io.h"

#include <memory>

namespace test {

namespace {

class FaultyFile final : public engine::hive::OpenFile {
public:
    FaultyFile(std::unique_ptr<engine::hive::OpenFile> inner, FaultyFileIo& io)
        : inner_(std::move(inner))
        , io_(io) {}

    engine::hive::Result<std::uint64_t> size() override { return inner_->size(); }
    engine::hive::Result<std::size_t> read(std::uint64_t offset,
                                           std::span<std::uint8_t> buffer) override {
        return inner_->read(offset, buffer);
    }
    engine::hive::Result<std::size_t> write(std::uint64_t offset,
                                            std::span<const std::uint8_t> bytes) override {
        return io_.write(*inner_, offset, bytes);
    }
    engine::hive::Result<void> sync() override {
        return io_.sync([this] { return inner_->sync(); });
    }

private:
    std::unique_ptr<engine::hive::OpenFile> inner_;
    FaultyFileIo& io_;
};

engine::hive::Error injected(const char* what) {
    return engine::hive::Error{what, {}, {}, false};
}

} // namespace

engine::hive::Result<engine::hive::Opened> FaultyFileIo::open(const std::filesystem::path& file,
                                                              bool create) {
    auto opened = inner_.open(file, create);
    if (opened) {
        opened->file = std::make_unique<FaultyFile>(std::move(opened->file), *this);
    }
    return opened;
}

engine::hive::Result<void> FaultyFileIo::syncFolder(const std::filesystem::path& folder) {
    return sync([&] { return inner_.syncFolder(folder); });
}

engine::hive::Result<engine::hive::FileFacts>
FaultyFileIo::facts(const std::filesystem::path& file) {
    auto facts = inner_.facts(file);
    if (facts && alterFacts_) {
        alterFacts_(*facts);
    }
    return facts;
}

engine::hive::Result<std::size_t> FaultyFileIo::write(engine::hive::OpenFile& file,
                                                      std::uint64_t offset,
                                                      std::span<const std::uint8_t> bytes) {
    ++writes_;
    if (writes_ == nth_ && fault_ == Fault::WriteError) {
        fired_ = true;
        return tl::unexpected(injected("ошибка записи (проверка)"));
    }
    if (writes_ == nth_ && fault_ == Fault::ShortWrite) {
        fired_ = true;
        return file.write(offset, bytes.first(bytes.size() / 2));
    }
    return file.write(offset, bytes);
}

engine::hive::Result<void>
FaultyFileIo::sync(const std::function<engine::hive::Result<void>()>& doSync) {
    ++syncs_;
    if (syncs_ == nth_ && fault_ == Fault::SyncError) {
        fired_ = true;
        return tl::unexpected(injected("ошибка сброса на диск (проверка)"));
    }
    return doSync();
}

} // namespace test
