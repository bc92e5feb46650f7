// Writing a whole hive as one clean file.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "hive/bytes.h"
#include "hive/hive.h"

namespace engine::hive {

namespace {

constexpr std::size_t kFirstBinTimestamp = BaseBlock::kSize + 20;
// Written in pieces of this size, so that no single write is of the whole
// image.
constexpr std::size_t kPiece = 1024 * 1024;

Result<void> writePieces(OpenFile& out, std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const std::size_t n = std::min(bytes.size(), kPiece);
        if (auto written = writeExactly(out, offset, bytes.first(n)); !written) {
            return written;
        }
        offset += n;
        bytes = bytes.subspan(n);
    }
    return {};
}

} // namespace

Result<void> Hive::writeClean(OpenFile& out) const {
    const std::size_t end = BaseBlock::kSize + std::size_t{binsSize_};
    std::vector<std::uint8_t> header(image_.data(), image_.data() + BaseBlock::kSize);
    const std::uint32_t sequence = std::max(header_.primarySequence, header_.secondarySequence) + 1;
    const std::uint64_t written = now();
    put32(header.data() + BaseBlock::kPrimarySequence, sequence);
    put32(header.data() + BaseBlock::kSecondarySequence, sequence);
    put64(header.data() + BaseBlock::kLastWritten, written);
    put32(header.data() + BaseBlock::kFileType, BaseBlock::kFileTypePrimary);
    put32(header.data() + BaseBlock::kBinsSize, binsSize_);
    put32(header.data() + BaseBlock::kChecksum, baseBlockChecksum(header));
    std::uint8_t stamp[8];
    put64(stamp, written);

    const std::uint8_t* data = image_.data();
    if (auto done = writePieces(out, 0, header); !done) {
        return done;
    }
    if (auto done = writePieces(out, BaseBlock::kSize, {data + BaseBlock::kSize, 20}); !done) {
        return done;
    }
    if (auto done = writePieces(out, kFirstBinTimestamp, stamp); !done) {
        return done;
    }
    const std::size_t rest = kFirstBinTimestamp + sizeof stamp;
    return end > rest ? writePieces(out, rest, {data + rest, end - rest}) : Result<void>{};
}

Result<void> Hive::saveAs(const std::filesystem::path& file) const {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return tl::unexpected(Error{std::string("не удалось создать файл: ") + std::strerror(errno),
                                    file.string(),
                                    {},
                                    false});
    }
    ::close(fd);
    PosixFileIo io;
    auto opened = io.open(file, false);
    Result<void> done = opened ? writeClean(*opened->file) : tl::unexpected(opened.error());
    if (done) {
        done = opened->file->sync();
    }
    if (!done) {
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
        Error e = done.error();
        e.message = "не удалось записать файл: " + e.message;
        if (e.file.empty()) {
            e.file = file.string();
        }
        return tl::unexpected(e);
    }
    return {};
}

} // namespace engine::hive
