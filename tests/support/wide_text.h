// UTF-8 and the platform's wide string in strict UTF-8, which only the tests need: they spell
// section, key and file names in UTF-8 and read them back through the wide engine calls.
#pragma once

#include <string>
#include <string_view>

#include "text_codec.h"

namespace TextCodec {

inline std::wstring WideFromUtf8(std::string_view bytes) {
    return WideFromUtf16(EncodeUtf16(DecodeUtf8(bytes)));
}

inline std::string Utf8FromWide(std::wstring_view text) {
    return EncodeUtf8(DecodeWide(text));
}

}  // namespace TextCodec
