// The rewrite rules applied to one settings file.
#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "ini_file.h"
#include "migration.h"
#include "platform.h"
#include "profile.h"

namespace Zentrel {

namespace {

using NGUtils::g_iniFile;

constexpr int kLastProfileNumber = 99;
constexpr std::int32_t kMaxAcdSensitivity = 10;
constexpr std::int32_t kDefaultAcdSensitivity = 7;

struct NumberKey {
    const wchar_t* key;
    int value;
};

constexpr NumberKey kFeaturesAvailable[] = {
    {L"MultiStreamingAvailable", 1},
    {L"BackSideScan", 1},
    {L"BarcodeDetection", 1},
    {L"PreviewImagePopupDlg", 1},
    {L"SplitAndRotate", 1},
    {L"MultiTasking", 1},
    {L"WordExcelCSV", 1},
};

constexpr NumberKey kImagingLibrary[] = {
    {L"LibraryBeingUsed", 1},
};

constexpr NumberKey kMultiThreadFeatures[] = {
    {L"AutoOrient", 1}, {L"ContentDeskew", 1},  {L"DetectSize", 1},    {L"DetectContent", 0},
    {L"PageSize", 0},   {L"PageSides", 1},      {L"ColorMode", 0},     {L"Misfeed", 0},
    {L"Resolution", 0}, {L"AutoExposure", 0},   {L"AutoThreshold", 0}, {L"Exposure", 0},
    {L"Threshold", 0},  {L"EnhanceContent", 0}, {L"ColorDropout", 0},  {L"DetectBlankPage", 0},
    {L"AutoFeed", 0},   {L"RemoveHoles", 0},    {L"RotateImage", 0},
};

// An empty path would leave g_iniFile on whatever file it held before (or on none at all), so
// the routine would change a file it was not given: nothing is done then.
bool PointAt(const std::wstring& path) {
    return !path.empty() && g_iniFile.SetFilePath(path);
}

void DeleteSection(const wchar_t* section) {
    const std::wstring file = g_iniFile.GetFilePath();
    NGUtils::ProfileWriteW(section, nullptr, nullptr, file.c_str());
}

void RewriteSection(const wchar_t* section, std::span<const NumberKey> keys) {
    DeleteSection(section);
    for (const NumberKey& entry : keys) {
        g_iniFile.WriteInt(section, entry.key, entry.value);
    }
}

void RewriteDeviceSection() {
    DeleteSection(L"Other");
    g_iniFile.WriteValue(L"Other", L"HasNewWiaDriver", L"true");
    g_iniFile.WriteValue(L"Other", L"IsMFPTwain", L"true");
    g_iniFile.WriteInt(L"Other", L"CustomResolution", 1200);
    g_iniFile.WriteInt(L"Other", L"AlternateScanResolution", 600);
}

// Profiles are numbered without gaps: the first one without an ACD sensitivity ends the pass.
void RepairProfiles(const wchar_t* prefix, bool scanProfiles, std::uint16_t language) {
    for (int number = 0; number <= kLastProfileNumber; ++number) {
        const std::wstring section = prefix + std::to_wstring(number);
        std::int32_t acd = 0;
        if (!g_iniFile.ReadInt(section.c_str(), L"ACD_Sensitivity", acd)) {
            return;
        }
        if (scanProfiles) {
            std::int32_t zonalLanguage = 0;
            if (!g_iniFile.ReadInt(section.c_str(), L"ZonalOCRLanguage", zonalLanguage)) {
                g_iniFile.WriteInt(section.c_str(), L"ZonalOCRLanguage", language);
            }
        }
        if (acd > kMaxAcdSensitivity) {
            g_iniFile.WriteInt(section.c_str(), L"ACD_Sensitivity", kDefaultAcdSensitivity);
        }
    }
}

}  // namespace

void UpdateDeviceAndProfiles(std::wstring path) noexcept {
    try {
        UpdateDeviceAndProfiles(std::move(path), Platform::UserUiLanguage);
    } catch (...) {
        // The source could not be handed on: nothing has been done yet.
    }
}

void UpdateDeviceAndProfiles(std::wstring path, const UiLanguageSource& uiLanguage) noexcept {
    try {
        if (!PointAt(path)) {
            return;
        }
        RewriteDeviceSection();
        const std::uint16_t language = ResolveUiLanguage(uiLanguage);
        RepairProfiles(L"SCAN_PROFILE_", true, language);
        RepairProfiles(L"TWAIN_PROFILE_", false, language);
    } catch (...) {
        // Out of memory: the keys written so far stay, the rest of the file is as it was.
    }
}

void UpdateFeatureSections(std::wstring path) noexcept {
    try {
        if (!PointAt(path)) {
            return;
        }
        RewriteSection(L"Features_Available", kFeaturesAvailable);
        RewriteSection(L"Imaging_Library", kImagingLibrary);
        RewriteSection(L"MultiThread_Features", kMultiThreadFeatures);
    } catch (...) {
    }
}

void UpdateUsbFeatureSections(std::wstring path) noexcept {
    try {
        if (!PointAt(path)) {
            return;
        }
        RewriteSection(L"Imaging_Library", kImagingLibrary);
        RewriteSection(L"MultiThread_Features", kMultiThreadFeatures);
    } catch (...) {
    }
}

}  // namespace Zentrel
