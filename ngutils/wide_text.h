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

// The same codec between UTF-8 and code points; at most the first `limit` characters.
std::u32string CodePointsFromUtf8(std::string_view text, std::size_t limit = std::u32string::npos);
std::string Utf8FromCodePoints(std::u32string_view text);

// File names of a system that names files with bytes: UTF-8 text, except that each byte that does
// not decode becomes the lone surrogate U+DC80 to U+DCFF (as Python's "surrogateescape" does),
// so every name has a wide form that turns back into the same bytes and into no other name.
std::wstring WideFromFileName(std::string_view bytes);
// False for a wide name that no file name turns into: one with NUL, a lone surrogate other than
// an escaped byte, or a code beyond U+10FFFF.
bool FileNameFromWide(std::wstring_view name, std::string& bytes);

}  // namespace NGUtils
