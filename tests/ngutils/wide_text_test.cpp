#include <gtest/gtest.h>

#include <string>

#include "wide_text.h"

namespace {

using NGUtils::FileNameFromWide;
using NGUtils::Utf16FromWide;
using NGUtils::Utf8FromWide;
using NGUtils::WideFromFileName;
using NGUtils::WideFromUtf16;
using NGUtils::WideFromUtf8;

TEST(WideText, Utf16RoundTripsThroughTheWideString) {
    const std::u16string samples[] = {
        u"", u"plain", u"caf\u00e9 \u4e2d\u6587", u"\U0001F600\U00010348", u"x\U0010FFFFy",
    };
    for (const auto& sample : samples) {
        EXPECT_EQ(Utf16FromWide(WideFromUtf16(sample)), sample);
        EXPECT_EQ(WideFromUtf8(Utf8FromWide(WideFromUtf16(sample))), WideFromUtf16(sample));
    }
    // A pair is one code point where wchar_t is 32 bits wide.
    EXPECT_EQ(WideFromUtf16(u"\U0001F600").size(), sizeof(wchar_t) == 2 ? 2u : 1u);
}

TEST(WideText, LoneSurrogatesSurviveUtf16ButNotUtf8) {
    const std::u16string lone = {u'a', char16_t(0xD800), u'b', char16_t(0xDC00)};
    EXPECT_EQ(Utf16FromWide(WideFromUtf16(lone)), lone);
    EXPECT_EQ(Utf8FromWide(WideFromUtf16(lone)),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
}

TEST(WideText, Utf8DecodesValidTextAndReplacesEachBadByte) {
    EXPECT_EQ(WideFromUtf8("caf\xC3\xA9"), L"caf\u00e9");
    EXPECT_EQ(WideFromUtf8("\xE4\xB8\xAD"), L"\u4e2d");
    EXPECT_EQ(WideFromUtf8("\xF0\x9F\x98\x80"), std::wstring(L"\U0001F600"));
    struct Case {
        std::string bytes;
        std::wstring text;
    };
    const Case bad[] = {
        {"a\xFF"
         "b",
         L"a\uFFFDb"},                                      // never a lead byte
        {"\xC3", L"\uFFFD"},                                // cut short at the end
        {"\xC3(", L"\uFFFD("},                              // a following ASCII byte is kept
        {"\xC0\xAF", L"\uFFFD\uFFFD"},                      // over-long form of "/"
        {"\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},            // an encoded surrogate
        {"\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
        {"\xE4\xB8\xC3\xA9", L"\uFFFD\uFFFD\u00e9"},        // a valid sequence after a broken one
    };
    for (const auto& c : bad) {
        EXPECT_EQ(WideFromUtf8(c.bytes), c.text) << c.bytes;
    }
}

// A name that is no UTF-8 keeps every byte on its way through the wide string, and never turns
// into the name of the neighbour that holds U+FFFD where it holds a bad byte.
TEST(WideText, FileNamesKeepTheirBytes) {
    const std::string names[] = {
        "caf\xC3\xA9",      "caf\xE9",          "\xFF\xFE",     "\xC0\xAF", "\xED\xA0\x80",
        "\xF4\x90\x80\x80", "\xE4\xB8\xC3\xA9", "\xEF\xBF\xBD", "a\x80z",   "",
    };
    for (const std::string& name : names) {
        std::string back = "stale";
        ASSERT_TRUE(FileNameFromWide(WideFromFileName(name), back)) << name;
        EXPECT_EQ(back, name);
    }
    EXPECT_NE(WideFromFileName("caf\xE9"), WideFromFileName("caf\xEF\xBF\xBD"));
    EXPECT_EQ(WideFromFileName("caf\xC3\xA9"), L"caf\u00e9");
    // No name turns into these: a NUL, or a lone surrogate that is no escaped byte.
    for (const wchar_t odd : {wchar_t(0), wchar_t(0xD800), wchar_t(0xDC7F), wchar_t(0xDD00)}) {
        std::string bytes = "stale";
        EXPECT_FALSE(FileNameFromWide(std::wstring(L"a") + odd, bytes));
        EXPECT_EQ(bytes, "");
    }
}

}  // namespace
