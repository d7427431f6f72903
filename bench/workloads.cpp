#include "workloads.h"

#include <string_view>

namespace Bench {

namespace {

constexpr std::string_view kHead =
    "; Settings of the scanning application for this model.\r\n"
    "[General]\r\n"
    "Version=4.2.1\r\n"
    "LastScanFolder=C:\\Users\\Public\\Scans\r\n";

// Everything the network migration deletes and rebuilds, as an older driver left it.
constexpr std::string_view kRewrittenSections =
    "[Other]\r\n"
    "HasNewWiaDriver=false\r\n"
    "IsMFPTwain=false\r\n"
    "CustomResolution=600\r\n"
    "LegacyPort=9100\r\n"
    "[Features_Available]\r\n"
    "BackSideScan=0\r\n"
    "LegacyFax=1\r\n"
    "[Imaging_Library]\r\n"
    "LibraryBeingUsed=0\r\n"
    "[MultiThread_Features]\r\n"
    "AutoOrient=0\r\n";

constexpr std::string_view kSingleOperationTail =
    "[Doomed]\r\n"
    "A=1\r\n"
    "B=2\r\n"
    "[Target]\r\n"
    "Existing=1\r\n"
    "Number=42\r\n";

std::string PaddingSection(int number) {
    const std::string n = std::to_string(number);
    std::string text;
    auto line = [&text](std::string_view start, std::string_view value, std::string_view end) {
        text.append(start).append(value).append(end).append("\r\n");
    };
    line("[Extra_Settings_", n, "]");
    line("ColorMode=", std::to_string(number % 4), "");
    line("Resolution=300", "", "");
    line("Brightness=", std::to_string(number % 100), "");
    line(R"(OutputFolder=C:\Users\Public\Scans\Batch)", n, "");
    line("FileNamePrefix=Scan_", n, "_");
    line("Description=Settings of a feature that the driver update leaves alone", "", "");
    return text;
}

std::string FillSection(int number, std::size_t size) {
    const std::string header = "[Extra_Settings_" + std::to_string(number) + "]\r\nFill=";
    return header + std::string(size - header.size() - 2, 'x') + "\r\n";
}

std::string Profiles() {
    std::string text;
    for (int kind = 0; kind < 2; ++kind) {
        const std::string prefix = kind == 0 ? "[SCAN_PROFILE_" : "[TWAIN_PROFILE_";
        for (int number = 0; number < kProfilesPerKind; ++number) {
            text += prefix + std::to_string(number) + "]\r\n";
            text += "ACD_Sensitivity=" + std::to_string(11 + (number * 7 + kind) % 89) + "\r\n";
        }
    }
    return text;
}

std::size_t Remaining(std::size_t size, std::size_t used) {
    return size > used ? size - used : 0;
}

}  // namespace

std::string PaddingSections(std::size_t size) {
    // The last section takes up what is left, so it must never be left less than this.
    constexpr std::size_t kSmallestFill = 32;
    std::string text;
    int number = 0;
    for (;;) {
        std::string next = PaddingSection(number);
        if (text.size() + next.size() + kSmallestFill > size) {
            break;
        }
        text += next;
        ++number;
    }
    const std::size_t left = Remaining(size, text.size());
    if (left >= kSmallestFill) {
        text += FillSection(number, left);
    }
    return text;
}

std::string MigrationSettingsFile(std::size_t size) {
    const std::string profiles = Profiles();
    std::string text(kHead);
    text += kRewrittenSections;
    text += PaddingSections(Remaining(size, text.size() + profiles.size()));
    text += profiles;
    return text;
}

std::string LongValueSettingsFile(std::size_t valueSize) {
    std::string text = MigrationSettingsFile(0);
    const std::string_view key = "[SCAN_PROFILE_0]\r\nACD_Sensitivity=";
    const std::size_t value = text.find(key) + key.size();
    text.replace(value, text.find('\r', value) - value, valueSize, '9');
    return text;
}

std::string SingleOperationFile(std::size_t size) {
    std::string text(kHead);
    text += PaddingSections(Remaining(size, text.size() + kSingleOperationTail.size()));
    text += kSingleOperationTail;
    return text;
}

}  // namespace Bench
