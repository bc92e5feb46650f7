// Writing a whole hive to a new file.
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

bool writeAll(int fd, const std::uint8_t* data, std::size_t length) {
    while (length > 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

Result<void> Hive::saveAs(const std::filesystem::path& file) const {
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

    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return tl::unexpected(Error{std::string("не удалось создать файл: ") + std::strerror(errno),
                                    file.string(),
                                    {},
                                    false});
    }
    const bool ok =
        writeAll(fd, header.data(), header.size()) &&
        writeAll(fd, image_.data() + BaseBlock::kSize, 20) && writeAll(fd, stamp, sizeof stamp) &&
        writeAll(fd, image_.data() + kFirstBinTimestamp + 8, end - kFirstBinTimestamp - 8) &&
        ::fsync(fd) == 0;
    const int savedErrno = errno;
    ::close(fd);
    if (!ok) {
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
        return tl::unexpected(
            Error{std::string("не удалось записать файл: ") + std::strerror(savedErrno),
                  file.string(),
                  {},
                  false});
    }
    return {};
}

} // namespace engine::hive
