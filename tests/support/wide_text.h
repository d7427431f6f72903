// UTF-8 and the platform's wide string in strict UTF-8, which only the tests need: they spell
// section, key and file names in UTF-8 and read them back through the wide engine calls.
#pragma once

#include <string>
#include <string_view>

#include "text_codec.h"

namespace TextCodec {

inline std::u32string CodePointsOfWide(std::wstring_view text) {
    if constexpr (sizeof(wchar_t) == 2) {
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

inline std::wstring WideFromUtf8(std::string_view bytes) {
    return WideFromUtf16(EncodeUtf16(DecodeUtf8(bytes)));
}

inline std::string Utf8FromWide(std::wstring_view text) {
    return EncodeUtf8(CodePointsOfWide(text));
}

}  // namespace TextCodec
