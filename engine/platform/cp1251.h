#pragma once

#include <string>
#include <string_view>

namespace engine::platform {

// Windows' Cyrillic code page 1251, the single-byte text of a Russian
// Windows' plain files (the hosts file, say), and UTF-8, the engine's text.
// Byte 0x98, which the code page leaves unassigned, stands for U+0098, so
// that every byte string comes back unchanged from decoding and encoding.

std::string cp1251ToUtf8(std::string_view bytes);
// Characters the code page lacks, and bytes that are not UTF-8, become "?".
std::string utf8ToCp1251(std::string_view text);

} // namespace engine::platform
