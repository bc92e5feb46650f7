#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace engine::automatic {

// One character of UTF-8 text: its code point and length in bytes; length 1
// and `valid` false for a byte that starts no well-formed character. The
// three-byte form of a surrogate (U+D800 to U+DFFF) is taken as a character
// (the engine keeps unpaired surrogates of registry names and values so).
struct Utf8Char {
    char32_t code = 0;
    std::size_t length = 1;
    bool valid = false;
};
Utf8Char decodeUtf8At(std::string_view text, std::size_t at);

// A log line's text as one line a person can read safely: control
// characters (a value a locker wrote may carry line breaks or terminal escape
// sequences) and bytes that are not UTF-8 are written as \xHH, C1 controls
// and the Unicode line and paragraph separators as \uHHHH; everything else
// stays as it is.
std::string printableText(std::string_view text);

} // namespace engine::automatic
