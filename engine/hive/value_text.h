#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "hive/error.h"

namespace engine::hive {

// The text form of value data that the programs print and accept.
//
// Printed (formatValueData), by type:
//   REG_SZ, REG_EXPAND_SZ  "text"          when the bytes are UTF-16LE text with
//                                          one terminating NUL and no other
//   REG_MULTI_SZ           ["a", "b"]      when each item is non-empty text ending
//                                          in NUL and one more NUL ends the list
//                                          ([] is the data of a single NUL)
//   REG_DWORD              0x0000002a      when the data is exactly 4 bytes
//   REG_QWORD              0x000000000000002a  when exactly 8 bytes
//   anything else          hex:01,ab,ff    the bytes as they are ("hex:" if none)
// Data that does not fit its type's form is printed as hex, so nothing is hidden.
// Inside quotes \ and " are escaped as \\ and \", control characters as \n, \r,
// \t or \xHH, and an unpaired UTF-16 surrogate as \uHHHH.
std::string formatValueData(std::uint32_t type, std::span<const std::uint8_t> data);
std::string quoteText(std::u16string_view text);

// Accepted (parseValueData): "hex:" followed by comma-separated bytes for any
// type; otherwise for REG_SZ and REG_EXPAND_SZ the text itself; for
// REG_MULTI_SZ the items separated by newlines; for REG_DWORD and REG_QWORD a
// number, decimal or 0x-prefixed hexadecimal. Other types take only "hex:".
Result<std::vector<std::uint8_t>> parseValueData(std::uint32_t type, std::string_view text);

// UTF-16LE bytes of a text with its terminating NUL, as string values hold it.
std::vector<std::uint8_t> encodeStringData(std::u16string_view text);

} // namespace engine::hive
