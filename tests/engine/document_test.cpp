// The engine's pure part: what a reader finds in a file's bytes, and the exact bytes after an edit.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine_support.h"
#include "ini_document.h"
#include "text_codec.h"
#include "utf16_file.h"

namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;
using NGUtils::IniEngine::ApplyEdit;
using NGUtils::IniEngine::Edit;
using NGUtils::IniEngine::EditOutcome;
using NGUtils::IniEngine::FindValue;
using NGUtils::IniEngine::Text;
using TestingSupport::Utf16File;
using TextCodec::DecodeUtf8;
using TextCodec::EncodeUtf8;

std::optional<std::string> Find(std::string_view file, const char* section, const char* key) {
    const auto value = FindValue(file, DecodeUtf8(section), DecodeUtf8(key));
    return value ? std::optional(EncodeUtf8(*value)) : std::nullopt;
}

Edit MakeEdit(const char* section, const char* key, const char* value) {
    Edit edit{DecodeUtf8(section), std::nullopt, std::nullopt};
    if (key != nullptr) {
        edit.key = DecodeUtf8(key);
    }
    if (value != nullptr) {
        edit.value = DecodeUtf8(value);
    }
    return edit;
}

struct ReadRow {
    std::string file;
    const char* section;
    const char* key;
    const char* expected;  // null: absent, the caller gets its default
};

// Most rows are what the Windows functions were seen to return under Wine.
std::vector<ReadRow> ReadRows() {
    return {
        {"[Sec]\nKey=v1\n", "SEC", "kEy", "v1"},
        {"[\xC3\x84"
         "bc]\n\xC3\x96key=v2\n",
         "\xC3\x84"
         "bc",
         "\xC3\x96key", "v2"},
        {"[\xC3\x84"
         "bc]\n\xC3\x96key=v2\n",
         "\xC3\xA4"
         "bc",
         "\xC3\x96key", nullptr},
        {"[ Sec ]\n  Key  =  value  \n", " Sec ", " Key ", "value"},
        {"\v[\v\tSec\v]\n\v\tKey\v=\vvalue \v\n", "Sec", "Key", "value"},
        {"[S]\n\v;K=1\n", "S", ";K", nullptr},
        {"[In ner]\nMy Key=2\n", "In ner", "My  Key", nullptr},
        {"[Q]\nd=\"v\"\ns='v'\n", "Q", "s", "v"},
        {"[Q]\nm1=\"v'\n", "Q", "m1", "\"v'"},
        {"[Q]\nr=v\"\n", "Q", "r", "v\""},
        {"[Q]\nin=\" v \"\n", "Q", "in", " v "},
        {"[Q]\nout=  \"v\"  \n", "Q", "out", "v"},
        {"[Q]\none=\"\n", "Q", "one", "\""},
        {"[Q]\ndbl=\"\"v\"\"\n", "Q", "dbl", "\"v\""},
        {"[Q]\nmid=a\"b\"c\n", "Q", "mid", "a\"b\"c"},
        {"[Q]\nK= a\tb  c \t\n", "Q", "K", "a\tb  c"},
        {"[Q]\neq2 = a = b \n", "Q", "eq2", "a = b"},
        {"[Q]\ninl=a ;b\n", "Q", "inl", "a ;b"},
        {"[Q]\nnoval=\n", "Q", "noval", ""},
        {"[Q]\nA=1\0junk\nB=2\n"s, "Q", "A", "1"},
        {"[Q]\nA=1\0junk\nB=2\n"s, "Q", "B", "2"},
        {"[C]\n;semi=1\n", "C", ";semi", nullptr},  // Wine finds it; a comment is a comment
        {"[C]\n#hash=2\n", "C", "#hash", "2"},
        {"[C]\nJustText\n", "C", "JustText", nullptr},
        {"[C]\nx=1\n=novalue\n  =blank\n", "C", "", "novalue"},
        {"[S]\nA=1\nD=first\nD=second\n[T]\n[s]\nA=2\nB=2\n", "S", "D", "first"},
        {"[S]\nA=1\nD=first\nD=second\n[T]\n[s]\nA=2\nB=2\n", "S", "B", nullptr},
        // The section "" is "[]"; lines above the first header belong to no section (Windows).
        {"A=0\n[]\nE=4\n", "", "A", nullptr},
        {"A=0\n[]\nE=4\n", "", "E", "4"},
        {"A=0\n[ ]\nE=4\n", "  ", "E", "4"},
        // A header's name ends at the first "]", or with its line.
        {"[A]\n[S   \nB=1\n", "S", "B", "1"},
        {"[A]\n[S\nB=1\n", "A", "B", nullptr},
        {"[x=1\nB=1\n", "x=1", "B", "1"},
        {"[T]junk\nC=1\n[U] ;c\nD=2\n", "U", "D", "2"},
        {"[V]]\nF=3\n", "V", "F", "3"},
        {"[V]]\nF=3\n", "V]", "F", nullptr},
        {"[ [W] ]\nG=4\n", "[W", "G", "4"},
        {"[S]\rA=1\rB=2", "S", "B", "2"},
        {"[S]\r\nA=1\nB=2\rC=3", "S", "C", "3"},
        // A UTF-8 mark is text on the first line; a UTF-16 BE file is 8-bit text.
        {"\xEF\xBB\xBF[S]\nK=1\n", "S", "K", nullptr},
        {"\xEF\xBB\xBF\n[S]\nK=caf\xC3\xA9\n", "S", "K", "caf\xC3\xA9"},
        {Utf16File(u"[S]\r\nK=1\r\n", true), "S", "K", nullptr},
        {"[S]\nK=caf\xE9\n", "S", "K", "caf\xEF\xBF\xBD"},
        {Utf16File(u"[S]\r\nK=caf\u00e9\r\n", false), "s", "k", "caf\xC3\xA9"},
        {Utf16File(u"[S]\r\nK=\U0001F600\r\n", false), "S", "K", "\xF0\x9F\x98\x80"},
        {"\xFF\xFE", "S", "K", nullptr},
        {"", "", "", nullptr},
    };
}

TEST(EngineRead, FindsWhatAWindowsReaderFinds) {
    for (const ReadRow& row : ReadRows()) {
        const auto found = Find(row.file, row.section, row.key);
        SCOPED_TRACE(testing::Message()
                     << "file \"" << row.file << "\" [" << row.section << "] " << row.key);
        if (row.expected == nullptr) {
            EXPECT_EQ(found, std::nullopt);
        } else {
            EXPECT_EQ(found, std::optional<std::string>(row.expected));
        }
    }
}

// A reader with room for n characters gets the first n of the value, whatever their width in the
// file, and nothing after them is decoded.
TEST(EngineRead, ALimitedReadReturnsTheStartOfTheWholeValue) {
    const std::string files[] = {
        "[S]\nK=\"a\xC3\xA9\xF0\x9F\x98\x80\xE4\xB8\xAD\xFF\xF0\x9F\x98\x80z\"\n",
        "[S]\nK=\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xF0\x9F\x98\x80\n",
        Utf16File(u"[S]\r\nK='\U0001F600x\U0001F600\u00e9'\r\n", false),
    };
    for (const std::string& file : files) {
        const std::optional<Text> whole = FindValue(file, U"S", U"K");
        ASSERT_TRUE(whole.has_value());
        for (std::size_t limit = 0; limit <= whole->size() + 1; ++limit) {
            EXPECT_EQ(FindValue(file, U"S", U"K", limit), std::optional(whole->substr(0, limit)))
                << file << " limit " << limit;
        }
    }
}

TEST(EngineRead, DefaultLosesTrailingSpacesAndOnePairOfQuotes) {
    EXPECT_EQ(NGUtils::IniEngine::DefaultText(U"abc  "), U"abc");
    EXPECT_EQ(NGUtils::IniEngine::DefaultText(U"\tdefault\t "), U"\tdefault\t");
    EXPECT_EQ(NGUtils::IniEngine::DefaultText(U"   "), U"");
    EXPECT_EQ(NGUtils::IniEngine::DefaultText(U"  abc"), U"  abc");
    EXPECT_EQ(NGUtils::IniEngine::DefaultText(U"\"q\""), U"q");
    EXPECT_EQ(NGUtils::IniEngine::DefaultText(U"'"), U"'");
}

TEST(EngineRead, Utf16KeepsLoneSurrogatesAndIgnoresAnOddLastByte) {
    std::u16string text = u"[S]\r\nK=x";
    text += char16_t(0xD800);
    text += u"\r\n";
    const std::string file = Utf16File(text, false) + R"(A)";
    EXPECT_EQ(FindValue(file, U"S", U"K"), std::optional<Text>(Text{U'x', 0xD800}));
}

struct EditRow {
    std::string_view before;
    const char* section;
    const char* key;    // null: the section goes
    const char* value;  // null: the key goes
    std::string_view after;
};

const EditRow kEditRows[] = {
    // Replacing keeps the line up to its value and its own line break; other lines stay.
    {"; top\n\n[A]\n  key1 =  v1  \n;c\n\nkey2=v2\nJustText\n", "A", "key1", "NEW",
     "; top\n\n[A]\n  key1 =  NEW\n;c\n\nkey2=v2\nJustText\n"},
    {"[Sec]\r\nMyKey=1\r\n", " SEC ", "mykey", "2", "[Sec]\r\nMyKey=2\r\n"},
    {"[S]\nK = \"old\"   \r\nX=1\r\n", "S", "K", "new", "[S]\nK = new\r\nX=1\r\n"},
    {"[S]\nK = \n", "S", "K", "v", "[S]\nK = v\n"},
    {"[S]\nA=1\0junk\nB=2\n"sv, "S", "A", "3", "[S]\nA=3\nB=2\n"},
    {"[S]\n\xFF\xFE junk\nK=1\n\x80=\xC3\n", "S", "K", "2", "[S]\n\xFF\xFE junk\nK=2\n\x80=\xC3\n"},
    {"[A]\nd=1\nd=2\n", "A", "d", "9", "[A]\nd=9\nd=2\n"},
    {"[S]\n=old\n", "S", "", "new", "[S]\n=new\n"},
    // The value already there: nothing changes, whatever its spelling.
    {"[A]\n  key1 =  v1  \n\n;c\n", "A", "key1", "v1", "[A]\n  key1 =  v1  \n\n;c\n"},
    {"[A]\nk='x'\n", "A", "k", "x", "[A]\nk='x'\n"},
    // New keys go after the section's last key line, or right after its header.
    {"[A]\nk=1\n;trailing\n\n[B]\nx=1\n", "A", "new", "2",
     "[A]\nk=1\nnew=2\n;trailing\n\n[B]\nx=1\n"},
    {"[A]\n;c\n[B]\n", "A", "n", "1", "[A]\nn=1\n;c\n[B]\n"},
    {"[A]", "A", "n", "1", "[A]\nn=1\n"},
    {"[A]\r\nk=1", "A", "n", "1", "[A]\r\nk=1\r\nn=1\r\n"},
    {"[A]\nk=1\n[B]\nx=1\n[a]\nm=2\n", "a", "m", "9", "[A]\nk=1\nm=9\n[B]\nx=1\n[a]\nm=2\n"},
    // New sections go at the end, without a blank line before them.
    {"[A]\nk=1\n", "B", "x", "1", "[A]\nk=1\n[B]\nx=1\n"},
    {"[A]\r\nk=1", "B", "x", "1", "[A]\r\nk=1\r\n[B]\r\nx=1\r\n"},
    {"[A]\rk=1\r", "B", "x", "1", "[A]\rk=1\r[B]\rx=1\r"},
    {";only a comment", "B", "x", "1", ";only a comment\n[B]\nx=1\n"},
    {"", "  Sp  ", "  key  ", "1", "[Sp]\nkey=1\n"},
    {"[S]\nx=1\n", "T", "K", "  v  ", "[S]\nx=1\n[T]\nK=\"  v  \"\n"},
    {"", "S", "K", "\"q\"", "[S]\nK=\"\"q\"\"\n"},
    {"", "S", "K", "'", "[S]\nK='\n"},
    // Deleting a key takes its whole line; deleting a section its lines up to the next header.
    {"[A]\r\nk=1\r\nd=1\r\n;c\r\nd=2\r\n", "A", "d", nullptr, "[A]\r\nk=1\r\n;c\r\nd=2\r\n"},
    {"[A]\nk=1\nd=2", "A", "d", nullptr, "[A]\nk=1\n"},
    // Comment lines inside a deleted section stay; other lines go.
    {"[A]\r\nk=1\r\n\r\n; about B\r\n[B]\r\nx=1\r\n", "A", nullptr, nullptr,
     "; about B\r\n[B]\r\nx=1\r\n"},
    {";head\n[A]\nk=1\n \v;in A\n\nText\n#h=1\n[B]\nx=1\n[a]\nm=2\n;end", "A", nullptr, nullptr,
     ";head\n \v;in A\n[B]\nx=1\n[a]\nm=2\n;end"},
    {";head\n[B]\nx=1\n[a]\nm=2\n;end", "a", nullptr, nullptr, ";head\n[B]\nx=1\n;end"},
    {"[A]\nk=1\n[B]\nx=1\n", "A", nullptr, "ignored", "[B]\nx=1\n"},
    {"[A]\nk=1\n[B\nz=2\n[C]\n", "A", nullptr, nullptr, "[B\nz=2\n[C]\n"},
    {"[A]\nk=1\n[B]\nx=1", "b", nullptr, nullptr, "[A]\nk=1\n"},
    // Deleting what is absent changes nothing.
    {"[A]\nk=1\n", "A", "nosuch", nullptr, "[A]\nk=1\n"},
    {"[A]\nk=1\n", "Nope", "k", nullptr, "[A]\nk=1\n"},
    {"[A]\nk=1\n", "Nope", nullptr, nullptr, "[A]\nk=1\n"},
};

TEST(EngineEdit, ChangesOnlyTheLinesTheEditConcerns) {
    for (const EditRow& row : kEditRows) {
        SCOPED_TRACE(testing::Message() << "before \"" << row.before << "\" [" << row.section
                                        << "] " << (row.key ? row.key : "(section)"));
        std::string after = "untouched";
        const EditOutcome outcome =
            ApplyEdit(row.before, MakeEdit(row.section, row.key, row.value), after);
        if (row.after == row.before) {
            EXPECT_EQ(outcome, EditOutcome::Unchanged);
        } else {
            EXPECT_EQ(outcome, EditOutcome::Changed);
            EXPECT_EQ(after, row.after);
        }
    }
}

TEST(EngineEdit, KeepsTheEncodingAndAnOddLastByte) {
    const std::string before = Utf16File(u"[S]\r\nK=1\r\n", false) + R"(A)";
    std::string after;
    ASSERT_EQ(ApplyEdit(before, {U"S", U"L", U"\u00e9\U0001F600"}, after), EditOutcome::Changed);
    EXPECT_EQ(after, Utf16File(u"[S]\r\nK=1\r\nL=\u00e9\U0001F600\r\n", false) + "\x41");
    ASSERT_EQ(ApplyEdit(after, {U"T", U"K", U"x"}, after), EditOutcome::Changed);
    EXPECT_EQ(after,
              Utf16File(u"[S]\r\nK=1\r\nL=\u00e9\U0001F600\r\n[T]\r\nK=x\r\n", false) + "\x41");
    // As on Windows, a file of a mark alone is one open line: a UTF-8 or UTF-16 BE mark is text,
    // and a UTF-16 LE file of its mark alone gets a line break as well.
    ASSERT_EQ(ApplyEdit("\xEF\xBB\xBF", {U"S", U"K", U"\u00e9"}, after), EditOutcome::Changed);
    EXPECT_EQ(after, "\xEF\xBB\xBF\n[S]\nK=\xC3\xA9\n");
    ASSERT_EQ(ApplyEdit("\xFE\xFF", {U"S", U"K", U"v"}, after), EditOutcome::Changed);
    EXPECT_EQ(after, "\xFE\xFF\n[S]\nK=v\n");
    ASSERT_EQ(ApplyEdit("\xFF\xFE", {U"S", U"K", U"v"}, after), EditOutcome::Changed);
    EXPECT_EQ(after, Utf16File(u"\n[S]\nK=v\n", false));
}

TEST(EngineEdit, RefusesTextThatWouldChangeTheFilesStructure) {
    const Edit refused[] = {
        {U"a]b", U"K", U"v"},
        {U"a\nb", U"K", U"v"},
        {U"S", U"a=b", U"v"},
        {U"S", U" [x", U"v"},
        {U"S", U";c", U"v"},
        {U"S", U"a\rb", U"v"},
        // A reader trims a tab or vertical tab from the file's name but not from its own.
        {U"\tS", U"K", U"v"},
        {U"S", U"K\v ", U"v"},
        {U"\v", U"K", U"v"},
        {U"S", U"K", U"a\nb"},
        {U"S", U"K", Text(U"a\0b", 3)},
        {U"a]", std::nullopt, std::nullopt},
        // The section "" cannot be written, so nothing goes above the first header.
        {U"", U"K", U"v"},
        {U" \t", U"K", U"v"},
        {U"", std::nullopt, std::nullopt},
        {U"", U"k", std::nullopt},
    };
    for (const Edit& edit : refused) {
        std::string after = "untouched";
        EXPECT_EQ(ApplyEdit("[S]\nK=1\n", edit, after), EditOutcome::Refused);
        EXPECT_EQ(after, "untouched");
    }
}

// Whatever the file and the value, a reader finds the written value, and the edit is undone by
// deleting what it added.
TEST(EngineEdit, WrittenValuesReadBackAndAppendedSectionsDeleteCleanly) {
    const std::string_view files[] = {
        "", "[S]\r\nK=1\r\n", "x=1", "[S]\rK=\"1\"\r", "\xEF\xBB\xBF[T]\n", "\x01\x02\0\xFF"sv,
    };
    const Text values[] = {U"",   U" v", U"v\t", U"\"q\"", U"'a'",  U"a\"", U"\u00e9\u4e2d",
                           U"\"", U"=x", U";x",  U"[x]",   U"a ; b"};
    for (std::string_view file : files) {
        for (const Text& value : values) {
            std::string written;
            ASSERT_NE(ApplyEdit(file, {U"New", U"K", value}, written), EditOutcome::Refused);
            EXPECT_EQ(FindValue(written, U"new", U"k"), std::optional(value));
            std::string deleted;
            ASSERT_EQ(ApplyEdit(written, {U"New", std::nullopt, std::nullopt}, deleted),
                      EditOutcome::Changed);
            std::string again;
            ASSERT_EQ(ApplyEdit(deleted, {U"New", U"K", value}, again), EditOutcome::Changed);
            EXPECT_EQ(again, written);
            // Rewriting the same value touches nothing.
            EXPECT_EQ(ApplyEdit(written, {U" NEW ", U"k", value}, again), EditOutcome::Unchanged);
        }
    }
}

TEST(EngineEdit, StrangeFilesKeepEveryByteAroundAnEdit) {
    std::string noise(4096, '\0');
    unsigned state = 12345;
    for (char& byte : noise) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 16);
    }
    const std::string longLine = "[S]\nK=" + std::string(std::size_t{10} * 1024 * 1024, 'v') + "\n";
    const std::string files[] = {std::string(1000, '\0'), noise, longLine, "[S"};
    for (const std::string& file : files) {
        std::string after;
        ASSERT_EQ(ApplyEdit(file, {U"Added", U"K", U"v"}, after), EditOutcome::Changed);
        EXPECT_EQ(after.substr(0, file.size()), file);
        EXPECT_EQ(FindValue(after, U"Added", U"K"), std::optional<Text>(U"v"));
    }
    std::string after;
    ASSERT_EQ(ApplyEdit(longLine, {U"S", U"L", U"2"}, after), EditOutcome::Changed);
    EXPECT_EQ(after, longLine + "L=2\n");
    EXPECT_EQ(FindValue(after, U"S", U"K")->size(), 10u * 1024 * 1024);
}

}  // namespace
