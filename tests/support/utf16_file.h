// The bytes of a UTF-16 file, for tests that write one.
#pragma once

#include <string>
#include <string_view>

namespace TestingSupport {

// The byte order mark, then each unit in that byte order; the units are taken as they are, lone
// surrogates included.
inline std::string Utf16File(std::u16string_view units, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : units) {
        const auto high = static_cast<char>(unit >> 8);
        const auto low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

}  // namespace TestingSupport
