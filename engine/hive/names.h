#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace engine::hive {

// Key and value names as a hive stores them, and the rules Windows compares
// them by: each UTF-16 code unit upper-cased by the Unicode simple mapping
// (surrogates stay as they are), then compared unit by unit, shorter first.

char16_t upcase(char16_t unit);

// Negative, zero or positive, like strcmp, on the upper-cased units.
int compareNames(std::u16string_view a, std::u16string_view b);
bool namesEqual(std::u16string_view a, std::u16string_view b);

// The hash an `lh` subkey list stores: h = h * 37 + upcase(unit), over 32 bits.
std::uint32_t nameHash(std::u16string_view name);

// The hint an `lf` subkey list stores: the first four units of the name as
// bytes, zero-padded past the end of a shorter name. When one of those units
// has no single-byte form the hint is all zero, which readers take as "no
// hint" and compare the full name instead.
std::uint32_t nameHint(std::u16string_view name);

// A name's stored form: Latin-1 bytes (the "compressed" form Windows uses when
// every unit fits in a byte) or UTF-16LE.
std::u16string decodeStoredName(std::span<const std::uint8_t> bytes, bool compressed);
bool fitsCompressed(std::u16string_view name);

// UTF-8 (the engine's and the programs' text) to and from UTF-16. Decoding
// rejects malformed UTF-8; encoding writes an unpaired surrogate as the
// three-byte form of its code point (WTF-8), so no name is ever lost.
std::optional<std::u16string> fromUtf8(std::string_view text);
std::string toUtf8(std::u16string_view text);

} // namespace engine::hive
