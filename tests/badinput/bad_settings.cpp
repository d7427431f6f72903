#include "bad_settings.h"

#include "utf16_file.h"

namespace BadInput {

using TestingSupport::Utf16File;

std::string Noise(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    unsigned state = seed;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 16);
    }
    return bytes;
}

std::string LargeValue() {
    std::string value;
    value.reserve(kLargeValueSize);
    for (std::size_t i = 0; i < kLargeValueSize; ++i) {
        value.push_back(static_cast<char>('a' + i % 26));
    }
    return value;
}

testing::AssertionResult KeepsTheOriginalBytes(const std::string& after,
                                               const BadSettingsFile& file) {
    const std::size_t kept = file.bytes.size() - file.migratedEnd.size();
    if (after.size() < file.bytes.size()) {
        return testing::AssertionFailure()
               << after.size() << " bytes left of " << file.bytes.size();
    }
    if (after.substr(0, kept) != file.bytes.substr(0, kept)) {
        return testing::AssertionFailure() << "the first " << kept << " bytes changed";
    }
    if (!after.ends_with(file.migratedEnd)) {
        return testing::AssertionFailure() << "the file no longer ends as it did";
    }
    return testing::AssertionSuccess();
}

namespace {

// Shared by several files. Split literals keep the hex escapes from running into the next letter.
constexpr std::u16string_view kUtf16Profile =
    u"[General]\r\nVersion=4\r\n[SCAN_PROFILE_0]\r\nACD_Sensitivity=15\r\n"
    u"ZonalOCRLanguage=1033\r\n";
constexpr std::u16string_view kUtf16Repaired =
    u"[General]\r\nVersion=4\r\n[SCAN_PROFILE_0]\r\nACD_Sensitivity=7\r\n"
    u"ZonalOCRLanguage=1033\r\n";
constexpr std::u16string_view kLoneSurrogates =
    u"[Names]\r\nLabel=a\xD800"
    u"b\r\nTail=\xDC00\r\n";
constexpr std::string_view kInvalidUtf8 =
    "[Names]\r\nLabel=caf\xC3\x28 \xFF\xC0\xAF\xED\xA0\x80 end\r\n; \x80\x81 comment\r\n";

std::string LongLine() {
    return "History=" + std::string(kLongLineSize, 'x');
}

std::string NoiseFile() {
    return Noise(std::size_t{64} * 1024, 20240611u);
}

struct BadSettingsMaker {
    std::string name;
    BadSettingsFile (*make)();
};

const std::vector<BadSettingsMaker>& Makers() {
    static const std::vector<BadSettingsMaker> makers = {
        {"empty file",
         [] {
             return BadSettingsFile{{}, "", "", "", ""};
         }},
        {"NUL bytes",
         [] {
             return BadSettingsFile{{}, std::string(4096, '\0'), std::string(4096, '\0'), "", ""};
         }},
        {"binary noise",
         [] {
             return BadSettingsFile{{}, NoiseFile(), NoiseFile(), "", ""};
         }},
        {"line of 10 MB",
         [] {
             return BadSettingsFile{{},
                                    "[General]\r\n" + LongLine() +
                                        "\r\n[SCAN_PROFILE_0]\r\nACD_Sensitivity=15\r\n"
                                        "ZonalOCRLanguage=1033\r\n",
                                    "[General]\r\n" + LongLine() +
                                        "\r\n[SCAN_PROFILE_0]\r\nACD_Sensitivity=7\r\n"
                                        "ZonalOCRLanguage=1033\r\n",
                                    "",
                                    ""};
         }},
        {"value of 1 MB",
         [] {
             return BadSettingsFile{{},
                                    "[Big]\r\nValue=" + LargeValue() +
                                        "\r\n[TWAIN_PROFILE_0]\r\nACD_Sensitivity=11\r\n",
                                    "[Big]\r\nValue=" + LargeValue() +
                                        "\r\n[TWAIN_PROFILE_0]\r\nACD_Sensitivity=7\r\n",
                                    "",
                                    ""};
         }},
        // Lines that look like the sections the migration replaces, but are no headers (only a
        // line opening with "[" is one): their keys belong to the section before, and nothing of
        // them may go.
        {"header without opening bracket",
         [] {
             return BadSettingsFile{
                 {},
                 "Other]\r\nLegacyPort=9100\r\nFeatures_Available]\r\nBackSideScan=0\r\n"
                 "SCAN_PROFILE_0]\r\nACD_Sensitivity=15\r\n",
                 "Other]\r\nLegacyPort=9100\r\nFeatures_Available]\r\nBackSideScan=0\r\n"
                 "SCAN_PROFILE_0]\r\nACD_Sensitivity=15\r\n",
                 "",
                 ""};
         }},
        {"odd-length UTF-16",
         [] {
             return BadSettingsFile{{},
                                    Utf16File(kUtf16Profile, false) + "!",
                                    Utf16File(kUtf16Repaired, false),
                                    "!",
                                    ""};
         }},
        {"lone surrogates",
         [] {
             return BadSettingsFile{
                 {},
                 Utf16File(std::u16string(kLoneSurrogates).append(kUtf16Profile), false),
                 Utf16File(std::u16string(kLoneSurrogates).append(kUtf16Repaired), false),
                 "",
                 ""};
         }},
        {"invalid UTF-8",
         [] {
             return BadSettingsFile{
                 {},
                 std::string(kInvalidUtf8) +
                     "[SCAN_PROFILE_0]\r\nACD_Sensitivity=15\r\nZonalOCRLanguage=1033\r\n",
                 std::string(kInvalidUtf8) +
                     "[SCAN_PROFILE_0]\r\nACD_Sensitivity=7\r\nZonalOCRLanguage=1033\r\n",
                 "",
                 ""};
         }},
        {"CR-only line endings",
         [] {
             return BadSettingsFile{{},
                                    "[General]\rVersion=1\r[SCAN_PROFILE_0]\rACD_Sensitivity="
                                    "15\rZonalOCRLanguage=1033\r"
                                    "[TWAIN_PROFILE_0]\rACD_Sensitivity=12\r",
                                    "[General]\rVersion=1\r[SCAN_PROFILE_0]\rACD_Sensitivity="
                                    "7\rZonalOCRLanguage=1033\r"
                                    "[TWAIN_PROFILE_0]\rACD_Sensitivity=7\r",
                                    "",
                                    "\n"};
         }},
        {"mixed line endings",
         [] {
             return BadSettingsFile{{},
                                    "[General]\r\nVersion=1\n[SCAN_PROFILE_0]\rACD_Sensitivity="
                                    "15\r\nZonalOCRLanguage=1033\n"
                                    "\r\n[TWAIN_PROFILE_0]\nACD_Sensitivity=12\r",
                                    "[General]\r\nVersion=1\n[SCAN_PROFILE_0]\rACD_Sensitivity="
                                    "7\r\nZonalOCRLanguage=1033\n"
                                    "\r\n[TWAIN_PROFILE_0]\nACD_Sensitivity=7\r",
                                    "",
                                    ""};
         }},
        {"no final line break",
         [] {
             return BadSettingsFile{
                 {},
                 "[General]\r\nVersion=1\r\n[SCAN_PROFILE_0]\r\nACD_Sensitivity=15",
                 "[General]\r\nVersion=1\r\n[SCAN_PROFILE_0]\r\nACD_Sensitivity=7\r\n"
                 "ZonalOCRLanguage=1033\r\n",
                 "",
                 ""};
         }},
        {"UTF-8 BOM and nothing else",
         [] {
             return BadSettingsFile{{}, "\xEF\xBB\xBF", "\xEF\xBB\xBF", "", ""};
         }},
        {"UTF-16LE BOM and nothing else",
         [] {
             return BadSettingsFile{{}, "\xFF\xFE", "\xFF\xFE", "", ""};
         }},
        {"UTF-16BE BOM and nothing else",
         [] {
             return BadSettingsFile{{}, "\xFE\xFF", "\xFE\xFF", "", ""};
         }},
    };
    return makers;
}

}  // namespace

std::vector<std::string> BadSettingsFileNames() {
    std::vector<std::string> names;
    for (const BadSettingsMaker& maker : Makers()) {
        names.push_back(maker.name);
    }
    return names;
}

BadSettingsFile BadSettingsFileNamed(const std::string& name) {
    for (const BadSettingsMaker& maker : Makers()) {
        if (maker.name == name) {
            BadSettingsFile file = maker.make();
            file.name = name;
            return file;
        }
    }
    return {};
}

}  // namespace BadInput
