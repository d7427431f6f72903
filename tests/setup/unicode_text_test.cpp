#include <gtest/gtest.h>

#include "unicode_text.h"

namespace SetupLauncher {
namespace {

TEST(SetupText, ToWideDecodesUtf8) {
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
        EXPECT_EQ(ToWide(utf8), utf16) << testing::PrintToString(utf8);
    }
}

TEST(SetupText, ToUtf8IsTheInverseOfToWide) {
    const std::u16string cases[] = {
        u"plain.exe",
        u"caf\u00E9 \u4E2D\u6587 \U0001D11E.msi",
        std::u16string{u'x', char16_t(0xDC00), char16_t(0xD800)},
        std::u16string{char16_t(0xD83D)},
    };
    for (const std::u16string& text : cases) {
        EXPECT_EQ(ToWide(ToUtf8(text)), text);
    }
    EXPECT_EQ(ToUtf8(u"\u00E9\U0001F600"), "\xC3\xA9\xF0\x9F\x98\x80");
}

}  // namespace
}  // namespace SetupLauncher
