#include "wide_text.h"

#include <algorithm>
#include <cstdint>

namespace NGUtils {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

constexpr bool kWideIsUtf16 = sizeof(wchar_t) == 2;

bool IsHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c >= 0x10000) {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(c));
    }
}

// Calls emit(code point) for each character of UTF-16 text; a lone surrogate is passed on as
// it is.
template <typename Units, typename Emit>
void DecodeUtf16(const Units& text, Emit emit) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = static_cast<char16_t>(text[i]);
        if (IsHighSurrogate(c) && i + 1 < text.size() &&
            IsLowSurrogate(static_cast<char16_t>(text[i + 1]))) {
            const char32_t low = static_cast<char16_t>(text[i + 1]);
            emit(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
            ++i;
        } else {
            emit(c);
        }
    }
}

template <typename Emit>
void DecodeWide(std::wstring_view text, Emit emit) {
    if constexpr (kWideIsUtf16) {
        DecodeUtf16(text, emit);
    } else {
        for (wchar_t c : text) {
            emit(static_cast<char32_t>(c));
        }
    }
}

void AppendWide(std::wstring& out, char32_t c) {
    if constexpr (kWideIsUtf16) {
        std::u16string units;
        AppendUtf16(units, c);
        for (char16_t u : units) {
            out.push_back(static_cast<wchar_t>(u));
        }
    } else {
        out.push_back(static_cast<wchar_t>(c));
    }
}

// Decodes UTF-8, at most `limit` characters of it, passing each byte that starts no valid
// sequence to `invalid`.
template <typename Invalid>
std::u32string DecodeUtf8(std::string_view text, Invalid invalid,
                          std::size_t limit = std::u32string::npos) {
    // Never more characters than bytes: the text is sized once and cut to what was decoded, as a
    // character appended at a time costs more than the decoding itself on long values.
    std::u32string out(std::min(text.size(), limit), U'\0');
    std::size_t count = 0;
    std::size_t i = 0;
    while (i < text.size() && count < out.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t code = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            length = 1;
            code = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1F;
            minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0F;
            minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07;
            minimum = 0x10000;
        }
        bool valid = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        if (valid && (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))) {
            valid = false;
        }
        if (valid) {
            out[count++] = code;
            i += length;
        } else {
            // One character per bad byte keeps the decoder simple and never swallows the start
            // of a following valid sequence.
            out[count++] = invalid(lead);
            ++i;
        }
    }
    out.resize(count);
    return out;
}

// A file name's byte that does not decode, 0x80 to 0xFF, becomes U+DC80 to U+DCFF: lone
// surrogates, which no valid UTF-8 holds.
constexpr char32_t kEscapedByteBase = 0xDC00;

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

}  // namespace

std::wstring WideFromUtf16(std::u16string_view text) {
    std::wstring out;
    out.reserve(text.size());
    if constexpr (kWideIsUtf16) {
        for (char16_t u : text) {
            out.push_back(static_cast<wchar_t>(u));
        }
    } else {
        DecodeUtf16(text, [&out](char32_t c) { out.push_back(static_cast<wchar_t>(c)); });
    }
    return out;
}

std::u16string Utf16FromWide(std::wstring_view text) {
    std::u16string out;
    out.reserve(text.size());
    if constexpr (kWideIsUtf16) {
        for (wchar_t u : text) {
            out.push_back(static_cast<char16_t>(u));
        }
    } else {
        for (wchar_t c : text) {
            const auto code = static_cast<char32_t>(c);
            AppendUtf16(out, code > 0x10FFFF ? kReplacement : code);
        }
    }
    return out;
}

std::u32string CodePointsFromUtf8(std::string_view text, std::size_t limit) {
    return DecodeUtf8(
        text, [](unsigned char) { return kReplacement; }, limit);
}

std::string Utf8FromCodePoints(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char32_t c : text) {
        AppendUtf8(out, (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF ? kReplacement : c);
    }
    return out;
}

std::wstring WideFromUtf8(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (char32_t c : CodePointsFromUtf8(text)) {
        AppendWide(out, c);
    }
    return out;
}

std::string Utf8FromWide(std::wstring_view text) {
    std::u32string codePoints;
    codePoints.reserve(text.size());
    DecodeWide(text, [&codePoints](char32_t c) { codePoints.push_back(c); });
    return Utf8FromCodePoints(codePoints);
}

std::wstring WideFromFileName(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    const std::u32string codePoints = DecodeUtf8(
        bytes, [](unsigned char byte) { return static_cast<char32_t>(kEscapedByteBase + byte); });
    for (const char32_t c : codePoints) {
        AppendWide(out, c);
    }
    return out;
}

bool FileNameFromWide(std::wstring_view name, std::string& bytes) {
    bytes.clear();
    bytes.reserve(name.size());
    bool representable = true;
    DecodeWide(name, [&](char32_t c) {
        if (c >= kEscapedByteBase + 0x80 && c <= kEscapedByteBase + 0xFF) {
            bytes.push_back(static_cast<char>(c - kEscapedByteBase));
        } else if (c == 0 || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            representable = false;
        } else {
            AppendUtf8(bytes, c);
        }
    });
    if (!representable) {
        bytes.clear();
    }
    return representable;
}

}  // namespace NGUtils
