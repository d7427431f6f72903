// Conversions between the wide string of the platform and UTF-16 / UTF-8.
// wchar_t is a UTF-16 unit on Windows and a code point elsewhere; these keep text identical
// across both.
#pragma once

#include <string>
#include <string_view>

namespace NGUtils {

// A surrogate pair becomes one code point where wchar_t is 32 bits wide; a lone surrogate is
// carried over unchanged.
std::wstring WideFromUtf16(std::u16string_view text);
std::u16string Utf16FromWide(std::wstring_view text);

// Invalid UTF-8 sequences decode to U+FFFD. Encoding never fails: a lone surrogate is encoded
// as U+FFFD.
std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

// The same codec between UTF-8 and code points.
std::u32string CodePointsFromUtf8(std::string_view text);
std::string Utf8FromCodePoints(std::u32string_view text);

}  // namespace NGUtils
