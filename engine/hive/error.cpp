#include "hive/error.h"

#include <fmt/format.h>

namespace engine::hive {

std::string Error::describe() const {
    std::string text = file.empty() ? message : file + ": " + message;
    if (offset) {
        text += fmt::format(" ({} 0x{:x})", absolute ? "смещение в файле" : "ячейка", *offset);
    }
    return text;
}

} // namespace engine::hive
