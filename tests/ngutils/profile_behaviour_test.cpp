// How the INI library behaves on real files. The same table runs in the Windows build, where
// the system's own profile functions answer, and in the Linux build, where our engine does: a
// case that passes under one and fails under the other is a fault in our engine. Where Windows
// itself is known to differ from Wine 8 (from tests run on Windows), the rows expect what
// Windows does and also say what Wine 8 does instead, which is what the Wine run checks.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "engine_under_test.h"
#include "files.h"
#include "ini_file.h"
#include "profile.h"
#include "test_name.h"
#include "utf16_file.h"

namespace {

using NGUtils::CIniFile;
using TestingSupport::CTempFolder;
using TestingSupport::ReadBytes;
using TestingSupport::Utf16File;

struct ReadCase {
    const char* name;
    std::string content;
    const wchar_t* section;
    const wchar_t* key;
    bool found;
    std::wstring value;
    std::optional<std::wstring> wine8Value = std::nullopt;  // where Wine 8 departs from Windows
};

// gtest would otherwise print a failing case as the raw bytes of the struct, pointers included.
void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<ReadCase> ReadCases() {
    return {
        {"exact names", "[Sec]\r\nKey=v1\r\n", L"Sec", L"Key", true, L"v1"},
        {"names ignore ASCII case", "[Sec]\r\nKey=v1\r\n", L"sEC", L"KEY", true, L"v1"},
        {"blanks around names and value", "[ Sec ]\r\n  Key  =  value  \r\n", L"Sec", L"Key", true,
         L"value"},
        {"spaces in the call are trimmed", "[Sec]\r\nKey=v\r\n", L" Sec ", L" Key ", true, L"v"},
        {"a tab in the call is part of the name", "[sec]\r\nKey=v\r\n", L"\tsec", L"Key", false,
         L"", L"v"},
        {"tabs trimmed", "[S]\r\n\tTab\t=\tv\t\r\n", L"S", L"Tab", true, L"v"},
        {"vertical tabs are blanks", "\v[\vS\v]\v\r\n\v\tK\v=\vv \v\r\n", L"S", L"K", true, L"v"},
        {"indented header", "  [Ind]  \r\nA=1\r\n", L"Ind", L"A", true, L"1"},
        {"inner blanks must match", "[In ner]\r\nMy Key=2\r\n", L"In  ner", L"My Key", false, L""},
        {"inner blanks kept", "[In ner]\r\nMy Key=2\r\n", L"In ner", L"My Key", true, L"2"},
        {"double quotes removed", "[Q]\r\nd=\"v\"\r\n", L"Q", L"d", true, L"v"},
        {"single quotes removed", "[Q]\r\ns='v'\r\n", L"Q", L"s", true, L"v"},
        {"mismatched quotes kept", "[Q]\r\nm=\"v'\r\n", L"Q", L"m", true, L"\"v'"},
        {"one quote kept", "[Q]\r\nl=\"v\r\n", L"Q", L"l", true, L"\"v"},
        {"blanks inside quotes kept", "[Q]\r\nin=\" v \"\r\n", L"Q", L"in", true, L" v "},
        {"trimmed then unquoted", "[Q]\r\nout=  \"v\"  \r\n", L"Q", L"out", true, L"v"},
        {"only one pair removed", "[Q]\r\ndbl=\"\"v\"\"\r\n", L"Q", L"dbl", true, L"\"v\""},
        {"empty quotes are empty", "[Q]\r\ne=\"\"\r\n", L"Q", L"e", false, L""},
        {"no inline comments", "[Q]\r\ninl=a ;b\r\n", L"Q", L"inl", true, L"a ;b"},
        {"split at the first equals sign", "[Q]\r\neq=a=b\r\n", L"Q", L"eq", true, L"a=b"},
        {"inner whitespace of a value kept", "[Q]\r\nK= a\tb  c \t\r\n", L"Q", L"K", true,
         L"a\tb  c"},
        {"present but empty", "[Q]\r\nnoval=\r\n", L"Q", L"noval", false, L""},
        {"line without equals is no key", "[C]\r\nJustText\r\n", L"C", L"JustText", false, L""},
        {"hash is no comment", "[C]\r\n#hash=2\r\n", L"C", L"#hash", true, L"2"},
        {"first section and first key win",
         "[S]\r\nA=1\r\nD=first\r\nD=second\r\n[T]\r\nX=1\r\n[s]\r\nA=2\r\nB=2\r\n", L"S", L"D",
         true, L"first"},
        {"a duplicate section's keys are invisible",
         "[S]\r\nA=1\r\n[T]\r\nX=1\r\n[s]\r\nA=2\r\nB=2\r\n", L"S", L"B", false, L""},
        {"section \"\" is the [] section", "key=top\r\n[]\r\nkey=in_brackets\r\n[s]\r\n", L"",
         L"key", true, L"in_brackets", L"top"},
        {"lines above the first header are in no section", "A=0\r\n[X]\r\nB=1\r\n", L"", L"A",
         false, L"", L"0"},
        {"a header without a bracket ends its section", "[S]\r\nA=1\r\n[T  \r\nB=1\r\n", L"S", L"B",
         false, L"", L"1"},
        {"a header without a bracket runs to the line's end", "[S]\r\nA=1\r\n[T  \r\nB=1\r\n", L"T",
         L"B", true, L"1", L""},
        {"text after the bracket ignored", "[T]junk\r\nC=3\r\n", L"T", L"C", true, L"3"},
        {"name ends at the first bracket", "[sec]whoops]\r\nF=1\r\n", L"sec", L"F", true, L"1",
         L""},
        {"LF only", "[S]\nA=1\nB=2\n", L"S", L"B", true, L"2"},
        {"CR only", "[S]\rA=1\rB=2\r", L"S", L"B", true, L"2"},
        {"no final line break", "[S]\r\nA=1\r\nB=2", L"S", L"B", true, L"2"},
        {"missing section", "[S]\r\nA=1\r\n", L"Nope", L"A", false, L""},
        {"missing key", "[S]\r\nA=1\r\n", L"S", L"Nope", false, L""},
        {"empty file", "", L"S", L"A", false, L""},
        {"a UTF-8 BOM is text on the first line", "\xEF\xBB\xBF[S]\r\nA=2\r\n", L"S", L"A", false,
         L"", L"2"},
        // Read as UTF-8 here: Windows would read it in its ANSI code page.
        {"UTF-8 with BOM", "\xEF\xBB\xBF\r\n[S]\r\nN=caf\xC3\xA9\r\n", L"S", L"N", true,
         L"caf\u00e9"},
        {"a UTF-16BE file is not understood", Utf16File(u"[S]\r\nA=1\r\n", true), L"S", L"A", false,
         L"", L"1"},
        {"UTF-16LE with BOM", Utf16File(u"[S]\r\nN=caf\u00e9 \u4e2d\r\n", false), L"S", L"N", true,
         L"caf\u00e9 \u4e2d"},
        {"non-ASCII names match in the same case", Utf16File(u"[\u00c4bc]\r\nA=1\r\n", false),
         L"\u00c4bc", L"A", true, L"1"},
        {"only ASCII letters fold", Utf16File(u"[\u00c4bc]\r\nA=1\r\n", false), L"\u00e4bc", L"A",
         false, L""},
    };
}

class ProfileReads : public testing::TestWithParam<ReadCase> {};

TEST_P(ProfileReads, ReadStringSeesWhatTheFileHolds) {
    const ReadCase& c = GetParam();
    CTempFolder folder;
    const auto file = folder / "case.ini";
    TestingSupport::WriteBytes(file, c.content);
    CIniFile ini;
    ASSERT_TRUE(ini.SetFilePath(TestingSupport::WidePath(file)));
    std::wstring value = L"stale";
    const bool wine8 = c.wine8Value && TestingSupport::RunningUnderWine();
    const std::wstring expected = wine8 ? *c.wine8Value : c.value;
    EXPECT_EQ(ini.ReadString(c.section, c.key, value), wine8 ? !expected.empty() : c.found);
    EXPECT_EQ(value, expected);
    // Reading never changes the file.
    EXPECT_EQ(ReadBytes(file), c.content);
}

INSTANTIATE_TEST_SUITE_P(Table, ProfileReads, testing::ValuesIn(ReadCases()),
                         TestingSupport::ByParamName());

class ProfileFile : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_ini.SetFilePath(TestingSupport::WidePath(m_file))); }
    void Put(const std::string& bytes) { TestingSupport::WriteBytes(m_file, bytes); }
    std::wstring Read(const wchar_t* section, const wchar_t* key) {
        std::wstring value;
        m_found = m_ini.ReadString(section, key, value);
        return value;
    }

    CTempFolder m_folder;
    std::filesystem::path m_file = m_folder / "settings.ini";
    CIniFile m_ini;
    bool m_found = false;
};

TEST_F(ProfileFile, LongValuesComeBackWholeThroughTheGrowingBuffer) {
    for (std::size_t length : {510u, 511u, 512u, 600u, 1023u, 1100u, 5000u}) {
        std::wstring value;
        for (std::size_t i = 0; i < length; ++i) {
            value.push_back(static_cast<wchar_t>(L'a' + i % 26));
        }
        ASSERT_TRUE(m_ini.WriteString(L"Long", L"Value", value));
        EXPECT_EQ(Read(L"Long", L"Value"), value) << length;
        EXPECT_TRUE(m_found);
        std::string narrow;
        EXPECT_TRUE(m_ini.ReadStringA("Long", "Value", narrow));
        EXPECT_EQ(narrow.size(), length);
    }
}

TEST_F(ProfileFile, WrittenValuesReadBack) {
    Put("; settings\r\n[Other]\r\nold=1\r\n\r\n[Next]\r\nn=1\r\n");
    EXPECT_TRUE(m_ini.WriteValue(L"Other", L"old", L"2"));
    EXPECT_TRUE(m_ini.WriteValue(L"Other", L"HasNewWiaDriver", L"true"));
    EXPECT_TRUE(m_ini.WriteInt(L"Brand New", L"CustomResolution", 1200));
    EXPECT_TRUE(m_ini.WriteValue(L"NEXT", L"N", L"changed"));
    EXPECT_EQ(Read(L"Other", L"old"), L"2");
    EXPECT_EQ(Read(L"Other", L"HasNewWiaDriver"), L"true");
    EXPECT_EQ(Read(L"Next", L"n"), L"changed");
    std::int32_t number = 0;
    EXPECT_TRUE(m_ini.ReadInt(L"brand new", L"customresolution", number));
    EXPECT_EQ(number, 1200);
}

TEST_F(ProfileFile, WritingCreatesAMissingFileButNotAMissingFolder) {
    EXPECT_TRUE(m_ini.WriteValue(L"S", L"K", L"v"));
    EXPECT_EQ(Read(L"S", L"K"), L"v");

    CIniFile elsewhere;
    const auto missing = m_folder / "no such folder" / "x.ini";
    ASSERT_TRUE(elsewhere.SetFilePath(TestingSupport::WidePath(missing)));
    EXPECT_FALSE(elsewhere.WriteValue(L"S", L"K", L"v"));
    EXPECT_FALSE(std::filesystem::exists(missing.parent_path()));
}

TEST_F(ProfileFile, DeletingAKeyUncoversItsDuplicate) {
    Put("[A]\r\nk=1\r\nd=1\r\n;c\r\nd=2\r\n");
    EXPECT_TRUE(m_ini.DeleteKey(L"A", L"d"));
    EXPECT_EQ(Read(L"A", L"d"), L"2");
    EXPECT_TRUE(m_ini.DeleteKey(L"A", L"d"));
    EXPECT_EQ(Read(L"A", L"d"), L"");
    EXPECT_FALSE(m_found);
    EXPECT_EQ(Read(L"A", L"k"), L"1");
}

TEST_F(ProfileFile, DeletingWhatIsAbsentSucceeds) {
    const std::string before = "[A]\r\nk=1\r\n";
    Put(before);
    EXPECT_TRUE(m_ini.DeleteKey(L"A", L"nosuch"));
    EXPECT_TRUE(m_ini.DeleteKey(L"Nope", L"nosuch"));
    EXPECT_TRUE(m_ini.DeleteKey(L"Nope", nullptr));
    EXPECT_EQ(ReadBytes(m_file), before);

    // Windows leaves an empty file; Wine 8 makes none.
    for (const wchar_t* key : {L"k", static_cast<const wchar_t*>(nullptr)}) {
        CIniFile missing;
        const auto path = m_folder / "never.ini";
        ASSERT_TRUE(missing.SetFilePath(TestingSupport::WidePath(path)));
        EXPECT_TRUE(missing.DeleteKey(L"A", key));
        if (TestingSupport::RunningUnderWine()) {
            EXPECT_FALSE(std::filesystem::exists(path));
        } else {
            ASSERT_TRUE(std::filesystem::exists(path));
            EXPECT_EQ(ReadBytes(path), "");
            std::filesystem::remove(path);
        }
    }
}

TEST_F(ProfileFile, TheDefaultLosesTrailingSpacesOnly) {
    Put("[S]\r\nK=v\r\n");
    wchar_t buffer[32];
    EXPECT_EQ(NGUtils::ProfileReadW(L"S", L"missing", L"\tdefault\t  ", buffer, 32,
                                    m_ini.GetFilePath().c_str()),
              9u);
    EXPECT_EQ(std::wstring(buffer), L"\tdefault\t");
}

// Each name ends in NUL and the list in a second one; copies are listed, comment lines and lines
// without "=" are not, and a list that does not fit is cut to size - 2 and ends in two NULs.
TEST_F(ProfileFile, ANullSectionOrKeyListsTheNames) {
    Put("[S]\r\nK=1\r\n;c=1\r\nText\r\nE=2\r\nK=3\r\n[T]\r\n[s]\r\nX=1\r\n");
    const std::wstring path = m_ini.GetFilePath();
    std::wstring buffer(64, L'#');
    EXPECT_EQ(NGUtils::ProfileReadW(nullptr, L"K", L"", buffer.data(), 64, path.c_str()), 6u);
    EXPECT_EQ(buffer.substr(0, 7), std::wstring(L"S\0T\0s\0\0", 7));
    EXPECT_EQ(NGUtils::ProfileReadW(L"s", nullptr, L"", buffer.data(), 64, path.c_str()), 6u);
    EXPECT_EQ(buffer.substr(0, 7), std::wstring(L"K\0E\0K\0\0", 7));
    buffer.assign(64, L'#');
    EXPECT_EQ(NGUtils::ProfileReadW(L"S", nullptr, L"", buffer.data(), 5, path.c_str()), 3u);
    EXPECT_EQ(buffer.substr(0, 6), std::wstring(L"K\0E\0\0#", 6));
}

TEST_F(ProfileFile, DeletingASectionKeepsTheCommentsInsideIt) {
    Put(";comment0\r\n[A]\r\nk=1\r\n;comment1\r\n[B]\r\n;comment2\r\n[C]\r\nc=1\r\n");
    EXPECT_TRUE(m_ini.DeleteKey(L"A", nullptr));
    EXPECT_TRUE(m_ini.DeleteKey(L"B", nullptr));
    EXPECT_EQ(Read(L"A", L"k"), L"");
    EXPECT_EQ(Read(L"C", L"c"), L"1");
    // Wine 8 drops them with the section.
    EXPECT_EQ(ReadBytes(m_file), TestingSupport::RunningUnderWine()
                                     ? ";comment0\r\n[C]\r\nc=1\r\n"
                                     : ";comment0\r\n;comment1\r\n;comment2\r\n[C]\r\nc=1\r\n");
}

TEST_F(ProfileFile, DeletingASectionTakesOnlyTheFirstCopy) {
    Put(";head\r\n[A]\r\nk=1\r\n;comment in A\r\n\r\n[B]\r\nx=1\r\n[a]\r\nm=2\r\n[C]\r\ny=1\r\n");
    EXPECT_TRUE(NGUtils::ProfileWriteW(L"A", nullptr, nullptr, m_ini.GetFilePath().c_str()) > 0);
    EXPECT_EQ(Read(L"A", L"k"), L"");
    EXPECT_FALSE(m_found);
    // The second copy is now the first one, and visible.
    EXPECT_EQ(Read(L"A", L"m"), L"2");
    EXPECT_EQ(Read(L"B", L"x"), L"1");
    EXPECT_EQ(Read(L"C", L"y"), L"1");
    EXPECT_TRUE(m_ini.DeleteKey(L"a", nullptr));
    EXPECT_EQ(Read(L"A", L"m"), L"");
    EXPECT_EQ(Read(L"C", L"y"), L"1");
}

TEST_F(ProfileFile, TextThatWouldInjectLinesIsRefused) {
    const std::string before = "[S]\r\nK=1\r\n";
    Put(before);
    struct Case {
        const wchar_t* section;
        const wchar_t* key;
        const wchar_t* value;
    };
    const Case refused[] = {
        {L"S", L"K", L"a\r\n[X]\r\ny=z"},
        {L"S", L"K", L"line\nbreak"},
        {L"S", L"K", L"cr\r"},
        {L"a]b", L"K", L"v"},
        {L"a\r\nb", L"K", L"v"},
        {L"S", L"eq=key", L"v"},
        {L"S", L"[X]", L"v"},
        {L"S", L"k\n", L"v"},
        // A comment that no read finds, and a header after blanks.
        {L"S", L";k", L"v"},
        {L"S", L" [k", L"v"},
        {L"", L"K", L"v"},
        // Names a reader could not find again: it trims tabs from the file's, not from its own.
        {L"\tsec", L"K", L"v"},
        {L"S", L"K\t", L"v"},
        {L" \v ", L"K", L"v"},
    };
    for (const auto& c : refused) {
        EXPECT_FALSE(m_ini.WriteValue(c.section, c.key, c.value));
        EXPECT_FALSE(m_ini.WriteString(c.section, c.key, c.value));
    }
    // Deleting goes by the same rule for the names.
    for (const Case& c : {Case{L"a]b", L"K", nullptr}, Case{L"S", L";k", nullptr},
                          Case{L"S", L" [k", nullptr}, Case{L"S", L"eq=key", nullptr},
                          Case{L"", L"K", nullptr}, Case{L"a]b", nullptr, nullptr}}) {
        EXPECT_FALSE(m_ini.DeleteKey(c.section, c.key));
    }
    EXPECT_FALSE(m_ini.WriteStringA("S", "K", "a\r\n[X]"));
    EXPECT_FALSE(m_ini.WriteStringA("S]", "K", "v"));
    EXPECT_FALSE(m_ini.WriteStringA("S", "a=b", "v"));
    EXPECT_FALSE(m_ini.WriteStringA("S", "[X]", "v"));
    EXPECT_FALSE(m_ini.WriteStringA("S", "\t;k", "v"));
    EXPECT_FALSE(m_ini.WriteStringA("S", "K", std::string("a\0b", 3)));
    EXPECT_EQ(ReadBytes(m_file), before);
    // A "[" inside a key, or "=" and "]" inside a value, change nothing of the structure.
    EXPECT_TRUE(m_ini.WriteValue(L"S", L"a[b", L"x=y]"));
    EXPECT_EQ(Read(L"S", L"a[b"), L"x=y]");
}

TEST_F(ProfileFile, NarrowAndWideOperationsReachTheSameFile) {
    EXPECT_TRUE(m_ini.WriteStringA("Narrow", "Key", "from A"));
    EXPECT_EQ(Read(L"Narrow", L"Key"), L"from A");
    EXPECT_TRUE(m_ini.WriteValue(L"Wide", L"Key", L"from W"));
    std::string narrow;
    EXPECT_TRUE(m_ini.ReadStringA("Wide", "Key", narrow));
    EXPECT_EQ(narrow, "from W");
    EXPECT_FALSE(m_ini.ReadStringA("Wide", "Missing", narrow));
    EXPECT_EQ(narrow, "");
}

TEST(ProfileNarrowPath, ANameOutsideAsciiReachesTheSameFileThroughTheEightBitPath) {
    CTempFolder folder;
    // U+00E9 exists in every Western ANSI code page and in UTF-8.
    const auto subfolder = folder.Path() / TestingSupport::PathFromWide(L"caf\u00e9");
    std::filesystem::create_directory(subfolder);
    const auto file = subfolder / "settings.ini";
    CIniFile ini;
    ASSERT_TRUE(ini.SetFilePath(TestingSupport::WidePath(file)));
    EXPECT_TRUE(ini.WriteStringA("S", "K", "eight-bit"));
    std::wstring value;
    EXPECT_TRUE(ini.ReadString(L"S", L"K", value));
    EXPECT_EQ(value, L"eight-bit");
    std::string narrow;
    EXPECT_TRUE(ini.ReadStringA("S", "K", narrow));
    EXPECT_EQ(narrow, "eight-bit");
    // Nothing went to a file of a mangled name beside it.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
}

TEST(ProfileNarrowPath, ANameWithoutAnEightBitFormIsRefused) {
    CTempFolder folder;
    // A lone surrogate has no UTF-8 form; a CJK character has none in a Western code page.
    const std::wstring odd =
        TestingSupport::kOwnEngine ? std::wstring(1, wchar_t(0xD800)) : std::wstring(L"\u4e2d");
    const std::wstring path = TestingSupport::WidePath(folder.Path()) + L"/" + odd + L".ini";
    CIniFile ini;
    ASSERT_TRUE(ini.SetFilePath(path));
    EXPECT_FALSE(ini.WriteStringA("S", "K", "v"));
    std::string narrow = "stale";
    EXPECT_FALSE(ini.ReadStringA("S", "K", narrow));
    EXPECT_EQ(narrow, "");
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

}  // namespace
