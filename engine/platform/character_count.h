#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace engine::platform {

// The text without its first `count` characters. Windows counts characters
// where we hold UTF-8, so a character is a whole UTF-8 sequence: a Cyrillic
// letter counts as one, as it does in Windows' own strings.
inline std::string dropCharacters(std::string_view text, std::size_t count) {
    std::size_t at = 0;
    for (std::size_t dropped = 0; dropped < count && at < text.size(); ++dropped) {
        ++at;
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) {
            ++at;
        }
    }
    return std::string(text.substr(at));
}

} // namespace engine::platform
