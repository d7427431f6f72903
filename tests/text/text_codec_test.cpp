#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "text_codec.h"
#include "wide_text.h"

namespace {

using TextCodec::FileNameFromWide;
using TextCodec::LoneSurrogates;
using TextCodec::Utf16FromUtf8;
using TextCodec::Utf16FromWide;
using TextCodec::Utf8FromUtf16;
using TextCodec::Utf8FromWide;
using TextCodec::WideFromFileName;
using TextCodec::WideFromUtf16;
using TextCodec::WideFromUtf8;

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

// Setup's text: a lone surrogate, which Windows allows in file names, survives UTF-8.
TEST(Utf16Text, CarriedSurrogatesDecodeFromUtf8) {
    const std::pair<std::string, std::u16string> cases[] = {
        {"", u""},
        {R"(C:\pkg\a.exe /passive)", uR"(C:\pkg\a.exe /passive)"},
        {"caf\xC3\xA9.exe", u"caf\u00E9.exe"},
        {"\xE4\xB8\xAD\xE6\x96\x87.exe", u"\u4E2D\u6587.exe"},
        {"\xF0\x9D\x84\x9E", u"\xD834\xDD1E"},
        // An unpaired surrogate in its three-byte form comes back as that unit.
        {"a\xED\xA0\x80z", std::u16string{u'a', char16_t(0xD800), u'z'}},
        // Invalid bytes: stray continuation, cut sequence, overlong slash, beyond U+10FFFF.
        {"\x80x", u"\uFFFDx"},
        {"x\xC3", u"x\uFFFD"},
        {"\xC0\xAF", u"\uFFFD\uFFFD"},
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"\xFF", u"\uFFFD"},
    };
    for (const auto& [utf8, utf16] : cases) {
        EXPECT_EQ(Utf16FromUtf8(utf8, LoneSurrogates::Carry), utf16)
            << testing::PrintToString(utf8);
    }
}

TEST(Utf16Text, CarriedSurrogatesEncodeToUtf8AndBack) {
    const std::u16string cases[] = {
        u"plain.exe",
        u"caf\u00E9 \u4E2D\u6587 \U0001D11E.msi",
        std::u16string{u'x', char16_t(0xDC00), char16_t(0xD800)},
        std::u16string{char16_t(0xD83D)},
    };
    for (const std::u16string& text : cases) {
        EXPECT_EQ(Utf16FromUtf8(Utf8FromUtf16(text, LoneSurrogates::Carry), LoneSurrogates::Carry),
                  text);
    }
    EXPECT_EQ(Utf8FromUtf16(u"\u00E9\U0001F600", LoneSurrogates::Carry),
              "\xC3\xA9\xF0\x9F\x98\x80");
}

}  // namespace
