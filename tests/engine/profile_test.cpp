// The four profile operations of the Linux build: buffers, defaults, null arguments and the 8-bit
// forms, on real files.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine_support.h"
#include "files.h"
#include "profile.h"
#include "utf16_file.h"

namespace {

using NGUtils::ProfileReadA;
using NGUtils::ProfileReadW;
using NGUtils::ProfileWriteA;
using NGUtils::ProfileWriteW;
using TestingSupport::ReadBytes;
using TestingSupport::WriteBytes;

class EngineProfile : public testing::Test {
  protected:
    // The buffer's text up to its terminator; a missing terminator shows as trailing "#".
    std::wstring ReadW(const wchar_t* section, const wchar_t* key, const wchar_t* fallback,
                       std::size_t size) {
        std::vector<wchar_t> buffer(size + 2, L'#');
        buffer.back() = 0;
        m_result = ProfileReadW(section, key, fallback, buffer.data(),
                                static_cast<std::uint32_t>(size), m_wide.c_str());
        return buffer.data();
    }
    std::string ReadA(const char* section, const char* key, const char* fallback,
                      std::size_t size) {
        std::vector<char> buffer(size + 2, '#');
        buffer.back() = 0;
        m_result = ProfileReadA(section, key, fallback, buffer.data(),
                                static_cast<std::uint32_t>(size), m_narrow.c_str());
        return buffer.data();
    }

    TestingSupport::CTempFolder m_folder;
    std::string m_narrow = (m_folder / "f.ini").string();
    std::wstring m_wide = TestingSupport::WidePath(m_folder / "f.ini");
    std::uint32_t m_result = 0;
};

TEST_F(EngineProfile, ACutValueFillsExactlySizeMinusOne) {
    WriteBytes(m_narrow, "[S]\nK=abcdef\n");
    struct Row {
        std::uint32_t size;
        std::uint32_t expected;
    };
    for (const Row row : {Row{1, 0}, Row{2, 1}, Row{3, 2}, Row{6, 5}, Row{7, 6}, Row{8, 6}}) {
        std::vector<wchar_t> w(row.size, L'#');
        EXPECT_EQ(ProfileReadW(L"S", L"K", L"", w.data(), row.size, m_wide.c_str()), row.expected);
        EXPECT_EQ(std::wstring(w.data()), std::wstring(L"abcdef").substr(0, row.expected));
        std::vector<char> a(row.size, '#');
        EXPECT_EQ(ProfileReadA("S", "K", "", a.data(), row.size, m_narrow.c_str()), row.expected);
        EXPECT_EQ(std::string(a.data()), std::string("abcdef").substr(0, row.expected));
    }
    wchar_t untouched[2] = {L'#', L'#'};
    EXPECT_EQ(ProfileReadW(L"S", L"K", L"", untouched, 0, m_wide.c_str()), 0u);
    EXPECT_EQ(untouched[0], L'#');
}

TEST_F(EngineProfile, TheEightBitCutIsInBytesEvenInsideACharacter) {
    WriteBytes(m_narrow, "[S]\nK=\xC3\xA9\xE4\xB8\xAD\n");
    std::vector<char> buffer(4, '#');
    EXPECT_EQ(ProfileReadA("S", "K", "", buffer.data(), 4, m_narrow.c_str()), 3u);
    EXPECT_EQ(std::string(buffer.data()), "\xC3\xA9\xE4");
    EXPECT_EQ(ReadW(L"S", L"K", L"", 8), L"\u00e9\u4e2d");
}

TEST_F(EngineProfile, DefaultsAndNullArguments) {
    WriteBytes(m_narrow, "[S]\nK=v\nE=\n");
    EXPECT_EQ(ReadW(L"S", L"missing", L"xyzw", 3), L"xy");
    EXPECT_EQ(m_result, 2u);
    EXPECT_EQ(ReadW(L"Nope", L"K", L"abc  ", 16), L"abc");
    EXPECT_EQ(ReadW(L"S", L"missing", L"\"q\"", 16), L"q");
    EXPECT_EQ(ReadW(L"S", L"E", L"DEF", 16), L"");
    EXPECT_EQ(ReadW(L"S", L"missing", nullptr, 16), L"");
    EXPECT_EQ(m_result, 0u);
    EXPECT_EQ(ReadA("S", "missing", "  abc", 16), "  abc");
    wchar_t buffer[8];
    EXPECT_EQ(ProfileReadW(L"S", L"K", L"DEF", buffer, 8, nullptr), 3u);

    EXPECT_EQ(ProfileWriteW(nullptr, L"K", L"v", m_wide.c_str()), 0);
    EXPECT_EQ(ProfileWriteW(L"S", L"K", L"v", nullptr), 0);
    EXPECT_EQ(ProfileWriteA(nullptr, "K", "v", m_narrow.c_str()), 0);
    EXPECT_EQ(ReadBytes(m_narrow), "[S]\nK=v\nE=\n");
}

// A null section lists the section names, a null key the key names, copies and all; a list that
// does not fit is cut to size - 2 characters and still ends in two NULs.
TEST_F(EngineProfile, ANullSectionOrKeyListsTheNames) {
    WriteBytes(m_narrow, "top=0\n[S]\nK=v\n;c=1\nText\nE=\nK=2\n[]\n[T]\n[s]\nX=1\n");
    struct Row {
        const char* section;  // null: the section names
        std::uint32_t size;
        std::string_view expected;
        std::uint32_t result;
    };
    using namespace std::string_view_literals;
    const Row rows[] = {
        {nullptr, 64, "S\0T\0s\0\0"sv, 6},
        {"s", 64, "K\0E\0K\0\0"sv, 6},
        {"s", 7, "K\0E\0K\0\0"sv, 6},
        {"s", 6, "K\0E\0\0\0"sv, 4},
        {"s", 5, "K\0E\0\0"sv, 3},
        {"s", 2, "\0\0"sv, 0},
        {"s", 1, "\0"sv, 0},
        {"Nope", 64, "\0"sv, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << (row.section ? row.section : "(null)") << " " << row.size);
        std::string a(row.size + 1, '#');
        EXPECT_EQ(ProfileReadA(row.section, row.section ? nullptr : "K", "DEF", a.data(), row.size,
                               m_narrow.c_str()),
                  row.result);
        EXPECT_EQ(a.substr(0, row.expected.size()), row.expected);
        EXPECT_EQ(a.back(), '#');
        const std::wstring section =
            row.section ? std::wstring(row.section, row.section + std::strlen(row.section)) : L"";
        std::wstring w(row.size + 1, L'#');
        EXPECT_EQ(ProfileReadW(row.section ? section.c_str() : nullptr, nullptr, L"DEF", w.data(),
                               row.size, m_wide.c_str()),
                  row.result);
        EXPECT_EQ(w.substr(0, row.expected.size()),
                  std::wstring(row.expected.begin(), row.expected.end()));
    }
}

TEST_F(EngineProfile, WideAndEightBitWritesMeetInOneFile) {
    EXPECT_EQ(ProfileWriteW(L"Caf\u00e9", L"K", L"\U0001F600", m_wide.c_str()), 1);
    EXPECT_EQ(ProfileWriteA("caf\xC3\xA9", "L", "x", m_narrow.c_str()), 1);
    EXPECT_EQ(ReadBytes(m_narrow), "[Caf\xC3\xA9]\nK=\xF0\x9F\x98\x80\nL=x\n");
    EXPECT_EQ(ReadW(L"Caf\u00e9", L"K", L"", 8), L"\U0001F600");
    EXPECT_EQ(ReadA("Caf\xC3\xA9", "L", "", 8), "x");
    EXPECT_EQ(ProfileWriteW(L"Caf\u00e9", L"K", nullptr, m_wide.c_str()), 1);
    EXPECT_EQ(ReadBytes(m_narrow), "[Caf\xC3\xA9]\nL=x\n");
    EXPECT_EQ(ProfileWriteW(L"Caf\u00e9", nullptr, L"whatever", m_wide.c_str()), 1);
    EXPECT_EQ(ReadBytes(m_narrow), "");
    // Refused text writes nothing, not even a new file.
    std::remove(m_narrow.c_str());
    EXPECT_EQ(ProfileWriteW(L"a]b", L"K", L"v", m_wide.c_str()), 0);
    EXPECT_EQ(ProfileWriteA("S", "K", "a\nb", m_narrow.c_str()), 0);
    EXPECT_TRUE(std::filesystem::is_empty(m_folder.Path()));
}

TEST_F(EngineProfile, EveryReadSeesTheFileAsItIsNow) {
    WriteBytes(m_narrow, "[S]\nK=1\n");
    EXPECT_EQ(ReadW(L"S", L"K", L"", 8), L"1");
    WriteBytes(m_narrow, "[S]\nK=2\n");
    EXPECT_EQ(ReadW(L"S", L"K", L"", 8), L"2");
}

TEST_F(EngineProfile, StrangeFilesKeepTheirBytesAndEncoding) {
    const std::string megabyte(std::size_t{1024} * 1024, 'm');
    WriteBytes(m_narrow, "[S]\nK=" + megabyte + "\n");
    EXPECT_EQ(ReadW(L"S", L"K", L"", megabyte.size() + 1).size(), megabyte.size());
    EXPECT_EQ(ReadW(L"S", L"K", L"", 1024).size(), 1023u);
    EXPECT_EQ(m_result, 1023u);

    struct Row {
        std::string content;
        const wchar_t* value;
        char lastByte;  // of the file after a new section was added
    };
    const Row rows[] = {
        {std::string(4096, '\0'), L"DEF", '\n'},
        {"\xFF\xFE", L"DEF", '\0'},
        // The odd last byte of a UTF-16 file stays last, after the new lines.
        {TestingSupport::Utf16File(u"[S]\r\nK=1\r\n", false) + "!", L"1", '!'},
    };
    for (const Row& row : rows) {
        WriteBytes(m_narrow, row.content);
        EXPECT_EQ(ReadW(L"S", L"K", L"DEF", 8), row.value);
        ASSERT_EQ(ProfileWriteW(L"Added", L"K", L"v", m_wide.c_str()), 1);
        EXPECT_EQ(ReadW(L"Added", L"K", L"", 8), L"v");
        const std::string after = ReadBytes(m_narrow);
        const std::size_t kept = row.content.size() - 1;
        EXPECT_EQ(after.substr(0, kept), row.content.substr(0, kept));
        EXPECT_EQ(after.back(), row.lastByte);
    }
}

TEST(EngineNarrowPath, NamesConvertToTheirOwnBytesOnly) {
    EXPECT_EQ(NGUtils::ProfileNarrowPath(L"/tmp/caf\u00e9/\U0001F600.ini"),
              "/tmp/caf\xC3\xA9/\xF0\x9F\x98\x80.ini");
    for (wchar_t odd : {wchar_t(0xD800), wchar_t(0xDC7F), wchar_t(0xDD00), wchar_t(0xDFFF),
                        wchar_t(0x110000), wchar_t(0)}) {
        EXPECT_EQ(NGUtils::ProfileNarrowPath(std::wstring(L"/tmp/") + odd + L"x"), "");
    }
    // A byte that is no UTF-8 comes back as itself.
    EXPECT_EQ(NGUtils::ProfileNarrowPath(std::wstring(L"/tmp/") + wchar_t(0xDCFF)), "/tmp/\xFF");
}

}  // namespace
