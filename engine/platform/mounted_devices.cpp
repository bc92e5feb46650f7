// readMountedDevices: the letters an installation's SYSTEM hive gives its
// volumes.
#include <cstring>

#include "hive/hive.h"
#include "hive/names.h"
#include "platform/drive_detection.h"

namespace engine::platform {

namespace {

std::uint64_t littleEndian(const std::uint8_t* bytes, std::size_t count) {
    std::uint64_t value = 0;
    for (std::size_t i = count; i > 0; --i) {
        value = value << 8 | bytes[i - 1];
    }
    return value;
}

// The lower-case letter of a value named "\DosDevices\X:" (any case).
std::optional<char> dosDeviceLetter(std::u16string_view name) {
    static constexpr std::u16string_view kPrefix = u"\\DOSDEVICES\\";
    if (name.size() != kPrefix.size() + 2 || name.back() != u':' ||
        !hive::namesEqual(name.substr(0, kPrefix.size()), kPrefix)) {
        return std::nullopt;
    }
    const char16_t letter = name[kPrefix.size()];
    if (letter >= u'a' && letter <= u'z') {
        return static_cast<char>(letter);
    }
    if (letter >= u'A' && letter <= u'Z') {
        return static_cast<char>(letter - u'A' + 'a');
    }
    return std::nullopt;
}

std::optional<VolumeId> decodeVolume(const std::vector<std::uint8_t>& data) {
    static constexpr char kGptPrefix[] = "DMIO:ID:";
    constexpr std::size_t kPrefixSize = sizeof kGptPrefix - 1;
    if (data.size() == 12) {
        return VolumeId{MbrVolume{static_cast<std::uint32_t>(littleEndian(data.data(), 4)),
                                  littleEndian(data.data() + 4, 8)}};
    }
    if (data.size() == kPrefixSize + 16 && std::memcmp(data.data(), kGptPrefix, kPrefixSize) == 0) {
        GptVolume volume;
        std::memcpy(volume.partitionGuid.data(), data.data() + kPrefixSize, 16);
        return VolumeId{volume};
    }
    return std::nullopt;
}

} // namespace

std::vector<LetterClaim> readMountedDevices(const std::filesystem::path& systemHive) {
    std::vector<LetterClaim> claims;
    auto hive = hive::Hive::openRecovered(systemHive);
    if (!hive) {
        return claims;
    }
    const auto keyRef = hive->findKey("MountedDevices");
    if (!keyRef || !*keyRef) {
        return claims;
    }
    const auto key = hive->key(**keyRef);
    if (!key) {
        return claims;
    }
    const auto values = hive->values(*key);
    if (!values) {
        return claims;
    }
    // A damaged value is skipped; the others still count.
    for (const hive::ValueRef ref : *values) {
        const auto value = hive->value(ref);
        if (!value) {
            continue;
        }
        const auto letter = dosDeviceLetter(value->name);
        if (!letter) {
            continue;
        }
        const auto data = hive->valueData(*value);
        if (!data) {
            continue;
        }
        if (auto id = decodeVolume(*data)) {
            claims.push_back(LetterClaim{*letter, *id});
        }
    }
    return claims;
}

} // namespace engine::platform
