#pragma once

#include <string>
#include <string_view>

namespace engine::platform {

// Text compared as Windows' ANSI functions compare it here: only the Latin
// letters A to Z lose their case; every other byte (Cyrillic letters in UTF-8
// too) stays as it is. Nothing is trimmed.

inline char lowerLatin(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string lowerLatin(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) {
        c = lowerLatin(c);
    }
    return lowered;
}

inline std::string upperLatin(std::string_view text) {
    std::string raised(text);
    for (char& c : raised) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return raised;
}

inline bool equalIgnoringLatinCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerLatin(a[i]) != lowerLatin(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace engine::platform
