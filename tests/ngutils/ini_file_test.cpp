// Typed reads and writes of CIniFile, observed at the two virtual operations they must go
// through: ReadString for every typed read, WriteEntry for every typed write.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ini_file.h"

namespace {

using NGUtils::CIniFile;
using NGUtils::IIniFile;

class CRecordingIniFile : public CIniFile {
  public:
    std::optional<std::wstring> storedText;  // nullopt: the key is missing
    std::vector<std::wstring> written;
    int readCalls = 0;

    bool ReadString(const wchar_t*, const wchar_t*, std::wstring& value) override {
        ++readCalls;
        value = storedText.value_or(L"");
        return storedText.has_value() && !storedText->empty();
    }
    bool WriteEntry(const wchar_t*, const wchar_t*, const wchar_t* value) override {
        written.emplace_back(value);
        return true;
    }
};

struct IntCase {
    std::optional<std::wstring> text;
    bool result;
    std::int32_t value;
};

TEST(IniFileTypedReads, ReadIntAppliesTheZeroRuleAndSaturates) {
    const IntCase cases[] = {
        {L"0", true, 0},
        {L"42", true, 42},
        {L"12abc", true, 12},
        {L"  -17", true, -17},
        {L"+5", true, 5},
        {L"3000000000", true, 2147483647},
        {L"-3000000000", true, -2147483647 - 1},
        {L"-2147483648", true, -2147483647 - 1},
        {L"99999999999999999999999", true, 2147483647},
        {L"-0", false, 0},
        {L"00", false, 0},
        {L"abc", false, 0},
        {L"0.0", false, 0},
        {L" 0", false, 0},
    };
    for (const auto& c : cases) {
        CRecordingIniFile ini;
        ini.storedText = c.text;
        std::int32_t value = 1234;
        IIniFile& base = ini;
        EXPECT_EQ(base.ReadInt(L"S", L"K", value), c.result) << *c.text;
        EXPECT_EQ(value, c.value) << *c.text;
        EXPECT_EQ(ini.readCalls, 1);
    }
}

TEST(IniFileTypedReads, FailedReadsLeaveTheOutputAsItWas) {
    for (const std::optional<std::wstring>& text :
         {std::optional<std::wstring>{}, std::optional<std::wstring>{L""}}) {
        CRecordingIniFile ini;
        ini.storedText = text;
        std::int32_t number = 77;
        bool flag = true;
        std::int32_t yesNo = 5;
        double real = 2.5;
        std::u16string text16 = u"keep";
        EXPECT_FALSE(ini.ReadInt(L"S", L"K", number));
        EXPECT_FALSE(ini.ReadBool(L"S", L"K", flag));
        EXPECT_FALSE(ini.ReadYesNo(L"S", L"K", yesNo));
        EXPECT_FALSE(ini.ReadDouble(L"S", L"K", real));
        EXPECT_FALSE(ini.ReadString16(L"S", L"K", text16));
        EXPECT_EQ(number, 77);
        EXPECT_TRUE(flag);
        EXPECT_EQ(yesNo, 5);
        EXPECT_EQ(real, 2.5);
        EXPECT_EQ(text16, u"keep");
        EXPECT_EQ(ini.readCalls, 5);
    }
}

TEST(IniFileTypedReads, ReadDoubleAppliesTheZeroRule) {
    struct Case {
        const wchar_t* text;
        bool result;
        double value;
    };
    const Case cases[] = {
        {L"0", true, 0.0},    {L"1.5", true, 1.5}, {L"-2.25e2", true, -225.0},
        {L"0.0", false, 0.0}, {L"-0", false, 0.0}, {L"abc", false, 0.0},
    };
    for (const auto& c : cases) {
        CRecordingIniFile ini;
        ini.storedText = c.text;
        double value = 9.0;
        EXPECT_EQ(ini.ReadDouble(L"S", L"K", value), c.result) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

TEST(IniFileTypedReads, FlagsCompareTheirWordWithoutAsciiCase) {
    struct Case {
        const wchar_t* text;
        bool boolValue;
        std::int32_t yesNoValue;
    };
    const Case cases[] = {
        {L"true", true, 0}, {L"TRUE", true, 0}, {L"tRuE", true, 0}, {L"yes", false, 1},
        {L"YES", false, 1}, {L"Yes", false, 1}, {L"1", false, 0},   {L"truex", false, 0},
        {L"tru", false, 0}, {L"No", false, 0},
    };
    for (const auto& c : cases) {
        CRecordingIniFile ini;
        ini.storedText = c.text;
        bool flag = !c.boolValue;
        std::int32_t yesNo = 99;
        EXPECT_TRUE(ini.ReadBool(L"S", L"K", flag)) << c.text;
        EXPECT_EQ(flag, c.boolValue) << c.text;
        EXPECT_TRUE(ini.ReadYesNo(L"S", L"K", yesNo)) << c.text;
        EXPECT_EQ(yesNo, c.yesNoValue) << c.text;
    }
}

TEST(IniFileTypedReads, ReadString16KeepsSupplementaryCharactersWhole) {
    CRecordingIniFile ini;
    // U+1F600 is one code point; in UTF-16 it is the pair D83D DE00.
    ini.storedText = std::wstring(L"a") + L"\U0001F600" + L"\u00e9";
    std::u16string value;
    ASSERT_TRUE(ini.ReadString16(L"S", L"K", value));
    EXPECT_EQ(value, u"a\U0001F600\u00e9");
    EXPECT_EQ(value.size(), 4u);
}

TEST(IniFileTypedWrites, EveryTypedWriteGoesThroughWriteValueAndWriteEntry) {
    CRecordingIniFile ini;
    IIniFile& base = ini;
    EXPECT_TRUE(base.WriteYesNo(L"S", L"K", 1));
    EXPECT_TRUE(base.WriteYesNo(L"S", L"K", 2));
    EXPECT_TRUE(base.WriteYesNo(L"S", L"K", -1));
    EXPECT_TRUE(base.WriteYesNo(L"S", L"K", 0));
    EXPECT_TRUE(base.WriteBool(L"S", L"K", true));
    EXPECT_TRUE(base.WriteBool(L"S", L"K", false));
    EXPECT_TRUE(base.WriteInt(L"S", L"K", -2147483647 - 1));
    EXPECT_TRUE(base.WriteInt(L"S", L"K", 1200));
    EXPECT_TRUE(base.WriteString(L"S", L"K", L"text"));
    EXPECT_TRUE(base.WriteString16(L"S", L"K", u"x\U0001F600"));
    EXPECT_TRUE(ini.WriteDouble(L"S", L"K", 0.5));
    EXPECT_TRUE(ini.WriteDouble(L"S", L"K", 2.5));
    EXPECT_TRUE(ini.WriteDouble(L"S", L"K", -1234.0625));

    const std::vector<std::wstring> expected = {
        L"Yes",      L"No",          L"No",           L"No",   L"true",
        L"false",    L"-2147483648", L"1200",         L"text", std::wstring(L"x") + L"\U0001F600",
        L"0.500000", L"2.500000",    L"-1234.062500",
    };
    EXPECT_EQ(ini.written, expected);
}

TEST(IniFileTypedWrites, ADoubleTooLongForItsBufferIsNotWritten) {
    CRecordingIniFile ini;
    EXPECT_FALSE(ini.WriteDouble(L"S", L"K", 1e300));
    EXPECT_FALSE(ini.WriteDouble(L"S", L"K", -1e259));
    EXPECT_TRUE(ini.written.empty());
}

TEST(IniFilePath, EmptyPathIsRefusedAndThePreviousOneKept) {
    CIniFile ini;
    EXPECT_EQ(ini.GetFilePath(), L"");
    EXPECT_FALSE(ini.SetFilePath(L""));
    EXPECT_EQ(ini.GetFilePath(), L"");
    EXPECT_TRUE(ini.SetFilePath(L"first.ini"));
    EXPECT_FALSE(ini.SetFilePath(L""));
    EXPECT_EQ(ini.GetFilePath(), L"first.ini");
    EXPECT_TRUE(ini.SetFilePath(L"relative/or\\anything"));
    EXPECT_EQ(ini.GetFilePath(), L"relative/or\\anything");
}

}  // namespace
