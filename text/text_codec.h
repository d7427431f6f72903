// Conversions between UTF-8, code points, UTF-16 and the platform's wide string, for both
// programs. wchar_t is a UTF-16 unit on Windows and a code point elsewhere; text comes out the
// same on both.
//
// Nothing here fails or throws on bad text: what cannot be decoded or encoded becomes
// U+FFFD, unless a policy below says otherwise. Every policy defaults to strict UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace TextCodec {

// How UTF-8 treats a surrogate code point (U+D800 to U+DFFF), which UTF-16 may hold unpaired
// (Windows file names do). UTF-16 and wide strings always carry one as it is.
enum class LoneSurrogates {
    Refuse,  // strict UTF-8: its three-byte form does not decode, and it encodes as U+FFFD
    Carry,   // its three-byte form decodes to it and it encodes to that form, so that any UTF-16
             // text makes the way through UTF-8 and back unchanged
};

// What each byte that starts no valid UTF-8 sequence decodes to. One character per byte keeps
// the decoder simple and never swallows the start of a following valid sequence.
enum class UndecodableBytes {
    Replace,  // U+FFFD
    Escape,   // the lone surrogate U+DC80 to U+DCFF, U+DC00 plus the byte (always 0x80 to 0xFF),
              // which no valid UTF-8 decodes to, so the byte can be given back exactly
};

// UTF-8 and code points; at most the first `limit` characters are decoded. A code beyond U+10FFFF
// encodes as U+FFFD.
std::u32string DecodeUtf8(std::string_view bytes, LoneSurrogates lone = LoneSurrogates::Refuse,
                          UndecodableBytes undecodable = UndecodableBytes::Replace,
                          std::size_t limit = std::u32string::npos);
std::string EncodeUtf8(std::u32string_view text, LoneSurrogates lone = LoneSurrogates::Refuse);

// Code points to UTF-16: a code beyond U+10FFFF encodes as U+FFFD, a lone surrogate stays as it
// is.
std::u16string EncodeUtf16(std::u32string_view text);

// The UTF-16 decoder over units not stored as char16_t (a file's bytes in either byte order):
// unitAt(i) gives unit i of `count`.
template <typename UnitAt>
std::u32string DecodeUtf16Units(std::size_t count, UnitAt unitAt,
                                std::size_t limit = std::u32string::npos) {
    std::u32string out;
    out.reserve(count < limit ? count : limit);
    for (std::size_t i = 0; i < count && out.size() < limit; ++i) {
        const char32_t unit = unitAt(i);
        const char32_t next = i + 1 < count ? char32_t(unitAt(i + 1)) : 0;
        if (unit >= 0xD800 && unit <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
            out += static_cast<char32_t>(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
            ++i;
        } else {
            out += unit;
        }
    }
    return out;
}

// UTF-8 and UTF-16 directly.
std::u16string Utf16FromUtf8(std::string_view bytes, LoneSurrogates lone = LoneSurrogates::Refuse);
std::string Utf8FromUtf16(std::u16string_view units, LoneSurrogates lone = LoneSurrogates::Refuse);

// A Windows name as the programs carry it in UTF-8 to the UTF-16 that the wide Windows calls
// take. A lone surrogate, which Windows allows in file names, travels through UTF-8 in its
// three-byte form (LoneSurrogates::Carry), so a listed name reaches the same file.
std::u16string Utf16FromWindowsUtf8(std::string_view bytes);

// The platform's wide string as code points: UTF-16 where wchar_t has 16 bits, the code points
// themselves where it has 32.
std::u32string DecodeWide(std::wstring_view text);

// The platform's wide string and UTF-16.
std::wstring WideFromUtf16(std::u16string_view units);
std::u16string Utf16FromWide(std::wstring_view text);

// File names of a system that names files with bytes: UTF-8 decoded with
// UndecodableBytes::Escape (as Python's "surrogateescape" does), so every name has a wide form
// that turns back into the same bytes and into no other name.
std::wstring WideFromFileName(std::string_view bytes);
// False, and no bytes, for a wide name that no file name turns into: one with NUL, a lone
// surrogate other than an escaped byte, or a code beyond U+10FFFF.
bool FileNameFromWide(std::wstring_view name, std::string& bytes);

}  // namespace TextCodec
