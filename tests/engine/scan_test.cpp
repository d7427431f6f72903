// How the engine finds its way through a file: a section is found by jumping from one "[" to
// the next, lines end at the next CR or LF, and names made of ASCII are compared without being
// decoded. Each row is checked in UTF-8 and, where the file is ASCII, in UTF-16.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine_support.h"
#include "files.h"
#include "ini_document.h"
#include "ini_store_posix.h"
#include "text_codec.h"
#include "utf16_file.h"

namespace {

using namespace std::string_literals;
using NGUtils::IniEngine::ApplyEdit;
using NGUtils::IniEngine::Edit;
using NGUtils::IniEngine::EditOutcome;
using PosixFiles::FileStatus;
using NGUtils::IniEngine::FindValue;
using TestingSupport::Utf16File;
using TextCodec::DecodeUtf8;
using TextCodec::EncodeUtf8;

std::optional<std::u16string> AsUtf16(std::string_view ascii) {
    std::u16string text;
    for (char c : ascii) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return std::nullopt;
        }
        text += static_cast<char16_t>(c);
    }
    return text;
}

// The file as it is, and as UTF-16 when it is ASCII.
std::vector<std::string> Forms(const std::string& file) {
    std::vector<std::string> forms = {file};
    if (const auto text = AsUtf16(file)) {
        forms.push_back(Utf16File(*text, false));
    }
    return forms;
}

struct ScanRow {
    std::string file;
    const char* section;
    const char* key;
    const char* expected;  // null: absent
};

std::vector<ScanRow> ScanRows() {
    return {
        // A "[" counts only as the first character of a line, blanks aside.
        {"x=[A]\n[A]\nk=1\n", "A", "k", "1"},
        {"x=1 [B]\nk=2\n[B]\nk=3\n", "B", "k", "3"},
        {"[A]\nv=a[B]\nk=0\n[B]\nk=1\n", "B", "k", "1"},
        {"[A]\nv=a [ B]\n", "B", "v", nullptr},
        {" \t [B]\nk=1\n", "B", "k", "1"},
        {"\xEF\xBB\xBF[B]\nk=1\n", "B", "k", nullptr},
        {"x\0[B]\nk=1\n"s, "B", "k", nullptr},
        {"[A]\nx\0[B]\nk=1\n"s, "A", "k", "1"},
        {"[B\0]\nk=1\n"s, "B", "k", "1"},
        {"[[B]\nk=1\n", "[B", "k", "1"},
        // Lines end at CR, LF or CRLF, in any mix.
        {"[A]\rk=0\r[B]\rk=1\r", "B", "k", "1"},
        {"[A]\r\n[B]\nk=1\r[C]\nk=2", "C", "k", "2"},
        {"[A]\r\rk=1\n\n[B]\r\nk=2\r\n", "A", "k", "1"},
        {"[A]\nk=1\r[B]\rk=2", "A", "k", "1"},
        {"[A]\nk=1\r[B]\rk=2", "B", "k", "2"},
        // Headers that start like the wanted one, or name it in other cases and spacing.
        {"[Targ]\nk=1\n[Targetx]\nk=2\n[ tARGET ]\nk=3\n", "Target", "k", "3"},
        {"[Tar", "Target", "k", nullptr},
        {"[Targe", "Target", "k", nullptr},
        {"[Tar]get]\nk=1\n", "Tar", "k", "1"},
        {"[Tar]get]\nk=1\n", "Tar]get", "k", nullptr},
        {"[Target ] ]\nk=1\n", "Target", "k", "1"},
        {"[\xC3\x84rger]\nk=1\n", "\xC3\x84rger", "k", "1"},
        {"[Ab\xC3\x84]\nk=1\n", "aB\xC3\x84", "k", "1"},
        {"[\xFFT]\nk=1\n", "\xEF\xBF\xBDT", "k", "1"},
        // Keys: ASCII names compare directly, others after decoding.
        {"[S]\nK\xC3\x84=1\nk=2\n", "S", "k", "2"},
        {"[S]\nK\xC3\x84=1\nk=2\n", "S", "k\xC3\x84", "1"},
        {"[S]\nkk=1\nK=2\n", "S", "k", "2"},
        {"[S]\n\xFF=1\n", "S", "\xEF\xBF\xBD", "1"},
    };
}

TEST(EngineScan, FindsSectionsAndKeysWhereAReaderSeesThem) {
    for (const ScanRow& row : ScanRows()) {
        for (const std::string& file : Forms(row.file)) {
            SCOPED_TRACE(testing::Message() << "file \"" << file << "\" [" << row.section << "] "
                                            << row.key << ", " << file.size() << " bytes");
            const auto found = FindValue(file, DecodeUtf8(row.section), DecodeUtf8(row.key));
            if (row.expected == nullptr) {
                EXPECT_EQ(found, std::nullopt);
            } else {
                ASSERT_TRUE(found.has_value());
                EXPECT_EQ(EncodeUtf8(*found), row.expected);
            }
        }
    }
}

TEST(EngineScan, EditsLandInTheSectionAReaderSees) {
    struct Row {
        std::string before;
        Edit edit;
        std::string after;
    };
    const Row rows[] = {
        {"x=[A]\n[A]\nk=1\n", {U"A", U"k", U"2"}, "x=[A]\n[A]\nk=2\n"},
        {"[Targ]\nk=1\n[Target]\nk=1\n", {U"Target", std::nullopt, std::nullopt}, "[Targ]\nk=1\n"},
        {"[A]\rk=1\r[B]\rk=1\r", {U"B", U"n", U"2"}, "[A]\rk=1\r[B]\rk=1\rn=2\r"},
        {"[A]\nk=1\r[B]\rk=2", {U"A", U"k", std::nullopt}, "[A]\n[B]\rk=2"},
        {"v=[B]\n", {U"B", U"k", U"1"}, "v=[B]\n[B]\nk=1\n"},
        {"[A]\r\nv=x [B]\r\n", {U"B", U"k", U"1"}, "[A]\r\nv=x [B]\r\n[B]\r\nk=1\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.before);
        std::string after;
        ASSERT_EQ(ApplyEdit(row.before, row.edit, after), EditOutcome::Changed);
        EXPECT_EQ(after, row.after);
    }
}

TEST(EngineScan, ALargeFileIsSearchedToItsEnd) {
    std::string file;
    for (int n = 0; n < 20000; ++n) {
        file += "[S" + std::to_string(n) + "]\r\nv=[S" + std::to_string(n + 1) +
                "]\r\nk=" + std::to_string(n) + "\r\n";
    }
    for (int n : {0, 7, 9999, 19999}) {
        const NGUtils::IniEngine::Text section = U"s" + DecodeUtf8(std::to_string(n));
        EXPECT_EQ(FindValue(file, section, U"K"), std::optional(DecodeUtf8(std::to_string(n))));
    }
    EXPECT_EQ(FindValue(file, U"S20000", U"k"), std::nullopt);
    std::string after;
    ASSERT_EQ(ApplyEdit(file, {U"S19999", U"k", U"x"}, after), EditOutcome::Changed);
    const std::string lastLine = "k=19999\r\n";
    // Compared as a whole: a diff of two such files would not fit in any report.
    EXPECT_TRUE(after == file.substr(0, file.size() - lastLine.size()) + "k=x\r\n");
}

// Reports a file smaller than it is, as when another program makes it grow between the look
// at its size and the reading.
class CStaleSizeFileSystem final : public EngineSupport::CFaultyFileSystem {
  public:
    std::uint64_t reportedSize = 0;

    CStaleSizeFileSystem() { writeLimit = SIZE_MAX; }
    int Stat(int fd, FileStatus& status) override {
        const int error = CFaultyFileSystem::Stat(fd, status);
        if (status.regular) {
            status.size = reportedSize;
        }
        return error;
    }
    int StatAt(int folder, const std::string& name, FileStatus& status) override {
        const int error = CFaultyFileSystem::StatAt(folder, name, status);
        if (status.regular) {
            status.size = reportedSize;
        }
        return error;
    }
};

TEST(EngineScan, AFileThatGrewSinceItsSizeWasSeenIsReadWhole) {
    TestingSupport::CTempFolder folder;
    const auto file = folder / "grown.ini";
    std::string content = "[A]\nk=1\n";
    content += std::string(200000, ';') + "\n[B]\nlast=2\n";
    TestingSupport::WriteBytes(file, content);
    const std::uint64_t reportedSizes[] = {0, 5, 70000, content.size(), 1u << 20};
    for (std::uint64_t reported : reportedSizes) {
        SCOPED_TRACE(testing::Message() << "reported size " << reported);
        CStaleSizeFileSystem system;
        system.reportedSize = reported;
        std::string bytes;
        EXPECT_EQ(PosixFiles::ReadWhole(system, file.string(), bytes), PosixFiles::Result::Done);
        // Compared as a whole: the files are too long for a useful diff.
        EXPECT_TRUE(bytes == content) << bytes.size() << " bytes read of " << content.size();
        const std::u32string key = U"new" + DecodeUtf8(std::to_string(reported));
        ASSERT_TRUE(NGUtils::IniEngine::WriteProfileEdit(system, file.string(), {U"B", key, U"3"}));
        content += EncodeUtf8(key) + "=3\n";
        EXPECT_TRUE(TestingSupport::ReadBytes(file) == content);
    }
}

}  // namespace
