#include "text_codec.h"

#include <algorithm>

namespace TextCodec {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

constexpr bool kWideIsUtf16 = sizeof(wchar_t) == 2;

// An escaped byte 0x80 to 0xFF is this plus the byte: U+DC80 to U+DCFF.
constexpr char32_t kEscapedByteBase = 0xDC00;

bool IsSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c > 0x10FFFF) {
        c = kReplacement;
    }
    if (c >= 0x10000) {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(c));
    }
}

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

std::wstring EncodeWide(std::u32string_view text) {
    std::wstring out;
    out.reserve(text.size());
    if constexpr (kWideIsUtf16) {
        for (const char16_t unit : EncodeUtf16(text)) {
            out.push_back(static_cast<wchar_t>(unit));
        }
    } else {
        for (const char32_t c : text) {
            out.push_back(static_cast<wchar_t>(c));
        }
    }
    return out;
}

std::u32string DecodeUtf16(std::u16string_view units) {
    return DecodeUtf16Units(units.size(),
                            [units](std::size_t i) { return static_cast<char32_t>(units[i]); });
}

}  // namespace

std::u32string DecodeWide(std::wstring_view text) {
    if constexpr (kWideIsUtf16) {
        return DecodeUtf16Units(text.size(), [text](std::size_t i) {
            return static_cast<char32_t>(static_cast<char16_t>(text[i]));
        });
    } else {
        std::u32string out;
        out.reserve(text.size());
        for (const wchar_t c : text) {
            out.push_back(static_cast<char32_t>(c));
        }
        return out;
    }
}

std::u32string DecodeUtf8(std::string_view bytes, LoneSurrogates lone, UndecodableBytes undecodable,
                          std::size_t limit) {
    // Never more characters than bytes: the text is sized once and cut to what was decoded, as a
    // character appended at a time costs more than the decoding itself on long values.
    std::u32string out(std::min(bytes.size(), limit), U'\0');
    std::size_t count = 0;
    std::size_t i = 0;
    while (i < bytes.size() && count < out.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
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
        bool valid = length != 0 && i + length <= bytes.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        // Over-long forms would let two byte strings stand for the same text.
        if (valid && (code < minimum || code > 0x10FFFF ||
                      (IsSurrogate(code) && lone == LoneSurrogates::Refuse))) {
            valid = false;
        }
        if (valid) {
            out[count++] = code;
            i += length;
        } else {
            out[count++] =
                undecodable == UndecodableBytes::Escape ? kEscapedByteBase + lead : kReplacement;
            ++i;
        }
    }
    out.resize(count);
    return out;
}

std::string EncodeUtf8(std::u32string_view text, LoneSurrogates lone) {
    std::string out;
    out.reserve(text.size());
    for (const char32_t c : text) {
        const bool refused = c > 0x10FFFF || (IsSurrogate(c) && lone == LoneSurrogates::Refuse);
        AppendUtf8(out, refused ? kReplacement : c);
    }
    return out;
}

std::u16string EncodeUtf16(std::u32string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (const char32_t c : text) {
        AppendUtf16(out, c);
    }
    return out;
}

std::u16string Utf16FromUtf8(std::string_view bytes, LoneSurrogates lone) {
    return EncodeUtf16(DecodeUtf8(bytes, lone));
}

std::u16string Utf16FromWindowsUtf8(std::string_view bytes) {
    return Utf16FromUtf8(bytes, LoneSurrogates::Carry);
}

std::string Utf8FromUtf16(std::u16string_view units, LoneSurrogates lone) {
    return EncodeUtf8(DecodeUtf16(units), lone);
}

std::wstring WideFromUtf16(std::u16string_view units) {
    if constexpr (kWideIsUtf16) {
        std::wstring out(units.begin(), units.end());
        return out;
    } else {
        return EncodeWide(DecodeUtf16(units));
    }
}

std::u16string Utf16FromWide(std::wstring_view text) {
    if constexpr (kWideIsUtf16) {
        std::u16string out;
        out.reserve(text.size());
        for (const wchar_t unit : text) {
            out.push_back(static_cast<char16_t>(unit));
        }
        return out;
    } else {
        return EncodeUtf16(DecodeWide(text));
    }
}

std::wstring WideFromFileName(std::string_view bytes) {
    return EncodeWide(DecodeUtf8(bytes, LoneSurrogates::Refuse, UndecodableBytes::Escape));
}

bool FileNameFromWide(std::wstring_view name, std::string& bytes) {
    bytes.clear();
    bytes.reserve(name.size());
    for (const char32_t c : DecodeWide(name)) {
        if (c >= kEscapedByteBase + 0x80 && c <= kEscapedByteBase + 0xFF) {
            bytes.push_back(static_cast<char>(c - kEscapedByteBase));
        } else if (c == 0 || IsSurrogate(c) || c > 0x10FFFF) {
            bytes.clear();
            return false;
        } else {
            AppendUtf8(bytes, c);
        }
    }
    return true;
}

}  // namespace TextCodec
