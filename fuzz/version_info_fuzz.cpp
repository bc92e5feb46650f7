// Any bytes as a program file: the PE headers, the resource tree and the
// version resource inside it. Nothing may crash, read outside the input or
// loop for ever.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "rules/file_version_info.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto info = engine::rules::readVersionResource(bytes);
    // Touch every string so a bad one is noticed here.
    std::size_t total = 0;
    for (const auto* text :
         {&info.CompanyName, &info.FileDescription, &info.FileVersion, &info.InternalName,
          &info.LegalCopyright, &info.LegalTrademarks, &info.OriginalFileName, &info.ProductName,
          &info.ProductVersion, &info.FileType}) {
        total += text->size();
    }
    volatile std::size_t sink = total;
    (void)sink;
    return 0;
}
