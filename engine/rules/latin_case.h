#pragma once

#include <string_view>

namespace engine::rules {

// Equal once the Latin letters A to Z are taken without their case; every
// other byte (Cyrillic letters too) must match as it is. Nothing is trimmed.
inline bool equalIgnoringLatinCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace engine::rules
