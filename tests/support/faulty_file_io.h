#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>

#include "hive/file_io.h"

namespace test {

// A FileIo that passes operations on to another one except for the fault it
// was told to make: the N-th write (counted from 1, over all files) fails
// with an error or takes only half of its bytes (and says so), or the N-th
// sync (of a file or a folder) fails; and, when given, the facts are altered
// (a read-only volume, attribute bits) before they are returned.
class FaultyFileIo final : public engine::hive::FileIo {
public:
    enum class Fault { None, WriteError, ShortWrite, SyncError };

    FaultyFileIo(engine::hive::FileIo& inner, Fault fault, std::size_t nth)
        : inner_(inner)
        , fault_(fault)
        , nth_(nth) {}
    FaultyFileIo(engine::hive::FileIo& inner, std::function<void(engine::hive::FileFacts&)> facts)
        : inner_(inner)
        , alterFacts_(std::move(facts)) {}

    engine::hive::Result<engine::hive::Opened> open(const std::filesystem::path& file,
                                                    bool create) override;
    engine::hive::Result<void> syncFolder(const std::filesystem::path& folder) override;
    engine::hive::Result<engine::hive::FileFacts> facts(const std::filesystem::path& file) override;

    // Whether the fault was made (the N-th operation came).
    bool fired() const { return fired_; }

    // Used by the files it opened.
    engine::hive::Result<std::size_t> write(engine::hive::OpenFile& file, std::uint64_t offset,
                                            std::span<const std::uint8_t> bytes);
    engine::hive::Result<void> sync(const std::function<engine::hive::Result<void>()>& doSync);

private:
    engine::hive::FileIo& inner_;
    Fault fault_ = Fault::None;
    std::size_t nth_ = 0;
    std::size_t writes_ = 0;
    std::size_t syncs_ = 0;
    bool fired_ = false;
    std::function<void(engine::hive::FileFacts&)> alterFacts_;
};

} // namespace test
