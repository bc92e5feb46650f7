#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <tl/expected.hpp>

namespace engine::hive {

// Why a hive operation could not be done: what went wrong, in which file, and
// where in it (an offset relative to the first hive bin, or an absolute file
// offset when `absolute` is set).
struct Error {
    std::string message;
    std::string file;
    std::optional<std::uint64_t> offset;
    bool absolute = false;

    // One line for a person: "file: message (at offset 0x...)".
    std::string describe() const;
};

template <class T>
using Result = tl::expected<T, Error>;

inline tl::unexpected<Error> fail(std::string message, std::optional<std::uint64_t> offset = {}) {
    return tl::unexpected(Error{std::move(message), {}, offset, false});
}

} // namespace engine::hive
