#pragma once

#include <cstdint>

namespace engine::hive {

// Record layouts inside cells, as offsets into a cell's data (after its size
// field). Offsets of cells themselves are relative to the first hive bin.

inline constexpr std::uint32_t kNoCell = 0xFFFFFFFFu;
inline constexpr std::size_t kBinHeaderSize = 32;
inline constexpr std::size_t kBigDataSegment = 16344;

namespace nk {
inline constexpr std::size_t kFlags = 2;
inline constexpr std::size_t kLastWritten = 4;
inline constexpr std::size_t kParent = 16;
inline constexpr std::size_t kSubkeyCount = 20;
inline constexpr std::size_t kVolatileSubkeyCount = 24;
inline constexpr std::size_t kSubkeyList = 28;
inline constexpr std::size_t kVolatileSubkeyList = 32;
inline constexpr std::size_t kValueCount = 36;
inline constexpr std::size_t kValueList = 40;
inline constexpr std::size_t kSecurity = 44;
inline constexpr std::size_t kClass = 48;
inline constexpr std::size_t kMaxSubkeyName = 52;
inline constexpr std::size_t kMaxSubkeyClass = 56;
inline constexpr std::size_t kMaxValueName = 60;
inline constexpr std::size_t kMaxValueData = 64;
inline constexpr std::size_t kNameLength = 72;
inline constexpr std::size_t kClassLength = 74;
inline constexpr std::size_t kName = 76;

inline constexpr std::uint16_t kFlagHiveExit = 0x0002;
inline constexpr std::uint16_t kFlagHiveEntry = 0x0004;
inline constexpr std::uint16_t kFlagNoDelete = 0x0008;
inline constexpr std::uint16_t kFlagCompressedName = 0x0020;
} // namespace nk

namespace vk {
inline constexpr std::size_t kNameLength = 2;
inline constexpr std::size_t kDataSize = 4;
inline constexpr std::size_t kDataOffset = 8;
inline constexpr std::size_t kType = 12;
inline constexpr std::size_t kFlags = 16;
inline constexpr std::size_t kName = 20;

inline constexpr std::uint32_t kDataInline = 0x80000000u;
inline constexpr std::uint16_t kFlagCompressedName = 0x0001;
} // namespace vk

namespace sk {
inline constexpr std::size_t kFlink = 4;
inline constexpr std::size_t kBlink = 8;
inline constexpr std::size_t kRefCount = 12;
inline constexpr std::size_t kDescriptorSize = 16;
inline constexpr std::size_t kDescriptor = 20;
} // namespace sk

namespace db {
inline constexpr std::size_t kSegmentCount = 2;
inline constexpr std::size_t kSegmentList = 4;
} // namespace db

} // namespace engine::hive
