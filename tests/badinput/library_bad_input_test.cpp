// Bad settings files through the INI library, on both builds: no crash, no hang, reads of what is
// there still work, a write reads back, and natively (our engine) no byte it does not change is
// lost. The Windows profile functions rewrite the whole file on every write, so there only the
// reads back are checked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <string>

#include "bad_settings.h"
#include "engine_under_test.h"
#include "files.h"
#include "ini_file.h"
#include "test_name.h"

namespace {

namespace fs = std::filesystem;
using BadInput::BadSettingsFile;
using NGUtils::CIniFile;
using TestingSupport::CTempFolder;
using TestingSupport::ReadBytes;
using TestingSupport::WidePath;
using TestingSupport::WriteBytes;

class LibraryBadInput : public testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        WriteBytes(m_file, m_bad.bytes);
        ASSERT_TRUE(m_ini.SetFilePath(WidePath(m_file)));
    }

    const BadSettingsFile m_bad = BadInput::BadSettingsFileNamed(GetParam());
    CTempFolder m_scratch;
    fs::path m_file = m_scratch / "Velmora.ini";
    CIniFile m_ini;
};

TEST_P(LibraryBadInput, AWriteReadsBackAndKeepsTheRestOfTheFile) {
    std::wstring text = L"stale";
    EXPECT_FALSE(m_ini.ReadString(L"Nowhere", L"Key", text));
    EXPECT_EQ(text, L"");
    std::int32_t number = 5;
    EXPECT_FALSE(m_ini.ReadInt(L"Nowhere", L"Key", number));
    EXPECT_EQ(number, 5);

    ASSERT_TRUE(m_ini.WriteValue(L"Added", L"Key", L"value"));
    EXPECT_TRUE(m_ini.ReadString(L"Added", L"Key", text));
    EXPECT_EQ(text, L"value");
    ASSERT_TRUE(m_ini.WriteInt(L"Added", L"Number", -42));
    EXPECT_TRUE(m_ini.ReadInt(L"Added", L"Number", number));
    EXPECT_EQ(number, -42);
    EXPECT_TRUE(m_ini.DeleteKey(L"Added", L"Key"));
    EXPECT_FALSE(m_ini.ReadString(L"Added", L"Key", text));

    // Our own engine keeps every byte an edit does not concern; the system's need not.
    if constexpr (TestingSupport::kOwnEngine) {
        const std::string after = ReadBytes(m_file);
        EXPECT_TRUE(BadInput::KeepsTheOriginalBytes(after, m_bad));
        if (!m_bad.foreignByte.empty()) {
            EXPECT_EQ(after.find(m_bad.foreignByte), std::string::npos);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, LibraryBadInput,
                         testing::ValuesIn(BadInput::BadSettingsFileNames()),
                         TestingSupport::ByParam());

class LibraryOneFile : public testing::Test {
  protected:
    void Put(const std::string& name) {
        const BadSettingsFile bad = BadInput::BadSettingsFileNamed(name);
        ASSERT_EQ(bad.name, name) << "no bad settings file of that name";
        WriteBytes(m_file, bad.bytes);
        ASSERT_TRUE(m_ini.SetFilePath(WidePath(m_file)));
    }

    CTempFolder m_scratch;
    fs::path m_file = m_scratch / "Velmora.ini";
    CIniFile m_ini;
};

// ReadString and ReadStringA start with 512 characters and double the buffer while the value may
// have been cut: a megabyte takes a dozen reads of the whole file, and the last must return it
// whole.
class LibraryLargeValue : public LibraryOneFile {
  protected:
    void SetUp() override {
        m_expected = BadInput::LargeValue();
        WriteBytes(m_file, "[Big]\r\nValue=" + m_expected +
                               "\r\n[TWAIN_PROFILE_0]\r\nACD_Sensitivity=11\r\n");
        ASSERT_TRUE(m_ini.SetFilePath(WidePath(m_file)));
    }
    void TearDown() override {
        std::int32_t acd = 0;
        EXPECT_TRUE(m_ini.ReadInt(L"TWAIN_PROFILE_0", L"ACD_Sensitivity", acd));
        EXPECT_EQ(acd, 11);
    }

    std::string m_expected;
};

TEST_F(LibraryLargeValue, ReadStringReturnsItWhole) {
    std::wstring wide;
    ASSERT_TRUE(m_ini.ReadString(L"Big", L"Value", wide));
    ASSERT_EQ(wide.size(), m_expected.size());
    EXPECT_TRUE(std::equal(wide.begin(), wide.end(), m_expected.begin()));
}

TEST_F(LibraryLargeValue, ReadStringAReturnsItWhole) {
    std::string narrow;
    ASSERT_TRUE(m_ini.ReadStringA("Big", "Value", narrow));
    EXPECT_EQ(narrow, m_expected);
}

TEST_F(LibraryOneFile, KeysAfterALineOfTenMegabytesAreFound) {
    Put("line of 10 MB");
    std::int32_t acd = 0;
    EXPECT_TRUE(m_ini.ReadInt(L"SCAN_PROFILE_0", L"ACD_Sensitivity", acd));
    EXPECT_EQ(acd, 15);
    std::int32_t zonal = 0;
    EXPECT_TRUE(m_ini.ReadInt(L"SCAN_PROFILE_0", L"ZonalOCRLanguage", zonal));
    EXPECT_EQ(zonal, 1033);
}

TEST_F(LibraryOneFile, LoneSurrogatesComeBackAsTheyAre) {
    Put("lone surrogates");
    std::u16string text;
    ASSERT_TRUE(m_ini.ReadString16(L"Names", L"Label", text));
    EXPECT_EQ(text, std::u16string(u"a\xD800"
                                   u"b"));
    ASSERT_TRUE(m_ini.ReadString16(L"Names", L"Tail", text));
    EXPECT_EQ(text, std::u16string(u"\xDC00"));
    std::int32_t acd = 0;
    EXPECT_TRUE(m_ini.ReadInt(L"SCAN_PROFILE_0", L"ACD_Sensitivity", acd));
    EXPECT_EQ(acd, 15);
}

TEST_F(LibraryOneFile, AnOddLastByteDoesNotHideTheUtf16Text) {
    Put("odd-length UTF-16");
    std::int32_t acd = 0;
    EXPECT_TRUE(m_ini.ReadInt(L"SCAN_PROFILE_0", L"ACD_Sensitivity", acd));
    EXPECT_EQ(acd, 15);
}

// A line without the opening bracket opens no section: its keys belong to the section before,
// here the lines above the first header, which no name reaches.
TEST_F(LibraryOneFile, AHeaderWithoutItsOpeningBracketIsNoSection) {
    Put("header without opening bracket");
    std::wstring text;
    EXPECT_FALSE(m_ini.ReadString(L"Other", L"LegacyPort", text));
    EXPECT_FALSE(m_ini.ReadString(L"Features_Available", L"BackSideScan", text));
    EXPECT_FALSE(m_ini.ReadString(L"SCAN_PROFILE_0", L"ACD_Sensitivity", text));
    // A section written after them is an ordinary one.
    ASSERT_TRUE(m_ini.WriteValue(L"Other", L"LegacyPort", L"1"));
    EXPECT_TRUE(m_ini.ReadString(L"Other", L"LegacyPort", text));
    EXPECT_EQ(text, L"1");
}

// Paths that name no file the library can use: every call fails, nothing is created, and what is
// there stays.
TEST(LibraryBadPath, AFolderIsNeitherReadNorReplaced) {
    CTempFolder scratch;
    const fs::path folder = scratch / "Velmora.ini";
    fs::create_directory(folder);
    WriteBytes(folder / "inside.txt", "[Other]\r\nKey=1\r\n");
    CIniFile ini;
    ASSERT_TRUE(ini.SetFilePath(WidePath(folder)));
    std::wstring text;
    EXPECT_FALSE(ini.ReadString(L"Other", L"Key", text));
    EXPECT_FALSE(ini.WriteValue(L"Other", L"Key", L"2"));
    EXPECT_FALSE(ini.WriteInt(L"Added", L"Key", 1));
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(ReadBytes(folder / "inside.txt"), "[Other]\r\nKey=1\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST(LibraryBadPath, APathOfFiveThousandCharactersFailsCleanly) {
    CTempFolder scratch;
    const fs::path base = scratch.Path() / "";
    std::wstring path = WidePath(base);
    path.append(5000 - path.size() - std::wstring(L"Velmora.ini").size(), L'x');
    path += L"Velmora.ini";
    ASSERT_EQ(path.size(), 5000u);
    CIniFile ini;
    ASSERT_TRUE(ini.SetFilePath(path));
    std::wstring text = L"stale";
    EXPECT_FALSE(ini.ReadString(L"Other", L"Key", text));
    EXPECT_EQ(text, L"");
    std::string narrow = "stale";
    EXPECT_FALSE(ini.ReadStringA("Other", "Key", narrow));
    EXPECT_EQ(narrow, "");
    EXPECT_FALSE(ini.WriteValue(L"Other", L"Key", L"1"));
    EXPECT_FALSE(ini.WriteStringA("Other", "Key", "1"));
    EXPECT_EQ(ini.GetFilePath(), path);
    EXPECT_EQ(std::distance(fs::directory_iterator(base), fs::directory_iterator()), 0);
}

}  // namespace
