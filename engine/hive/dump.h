#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "hive/hive.h"

namespace engine::hive {

// The text form of a hive's keys and values, stable so that tests and people
// can compare it:
//
//   [Software\Microsoft]          a key, by its path from the root ([] is the root)
//   "Version" = REG_SZ "6.1"      a value of the key above, in value-list order
//   @ = REG_DWORD 0x00000001      the default (unnamed) value
//
// Keys come depth first, each key's subkeys in their stored (sorted) order.
// In key paths the characters %, \ and control characters of a name are written
// as %XX, and an unpaired UTF-16 surrogate as %uHHHH; value names are quoted as
// string data is (see value_text.h).
//
// Each line is handed to `line` without its newline. A damaged hive stops the
// walk with an error after the lines read so far; a key reached twice (a cycle)
// is an error too.
Result<void> dumpHive(const Hive& hive, std::string_view keyPath,
                      const std::function<void(std::string_view)>& line);

std::string keyPathComponent(std::u16string_view name);
std::string valueLine(const ValueNode& value, std::span<const std::uint8_t> data);

} // namespace engine::hive
