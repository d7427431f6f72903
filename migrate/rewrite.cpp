// The rewrite rules applied to one settings file.
#include <cstdint>
#include <span>
#include <string>

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

// The writes to one settings file, each made through the platform; a failed one makes the file's
// migration fail as a whole.
class CSettingsWriter {
  public:
    CSettingsWriter(IMigrationPlatform& platform, const std::wstring& file)
        : m_platform(platform), m_file(file) {}

    void DeleteSection(const wchar_t* section) {
        Require(m_platform.Write(m_file, [section] {
            const std::wstring file = g_iniFile.GetFilePath();
            return NGUtils::ProfileWriteW(section, nullptr, nullptr, file.c_str()) > 0;
        }));
    }

    void WriteInt(const wchar_t* section, const wchar_t* key, std::int32_t value) {
        Require(m_platform.Write(m_file, [=] { return g_iniFile.WriteInt(section, key, value); }));
    }

    void WriteValue(const wchar_t* section, const wchar_t* key, const wchar_t* value) {
        Require(
            m_platform.Write(m_file, [=] { return g_iniFile.WriteValue(section, key, value); }));
    }

    void RewriteSection(const wchar_t* section, std::span<const NumberKey> keys) {
        DeleteSection(section);
        for (const NumberKey& entry : keys) {
            WriteInt(section, entry.key, entry.value);
        }
    }

  private:
    static void Require(bool done) {
        if (!done) {
            NoteFailedWrite();
        }
    }

    IMigrationPlatform& m_platform;
    const std::wstring& m_file;
};

void RewriteDeviceSection(CSettingsWriter& writer) {
    writer.DeleteSection(L"Other");
    writer.WriteValue(L"Other", L"HasNewWiaDriver", L"true");
    writer.WriteValue(L"Other", L"IsMFPTwain", L"true");
    writer.WriteInt(L"Other", L"CustomResolution", 1200);
    writer.WriteInt(L"Other", L"AlternateScanResolution", 600);
}

// Profiles are numbered without gaps: the first one without an ACD sensitivity ends the pass.
void RepairProfiles(CSettingsWriter& writer, const wchar_t* prefix, bool scanProfiles,
                    std::uint16_t language) {
    for (int number = 0; number <= kLastProfileNumber; ++number) {
        const std::wstring section = prefix + std::to_wstring(number);
        std::int32_t acd = 0;
        if (!g_iniFile.ReadInt(section.c_str(), L"ACD_Sensitivity", acd)) {
            return;
        }
        if (scanProfiles) {
            std::int32_t zonalLanguage = 0;
            if (!g_iniFile.ReadInt(section.c_str(), L"ZonalOCRLanguage", zonalLanguage)) {
                writer.WriteInt(section.c_str(), L"ZonalOCRLanguage", language);
            }
        }
        if (acd > kMaxAcdSensitivity) {
            writer.WriteInt(section.c_str(), L"ACD_Sensitivity", kDefaultAcdSensitivity);
        }
    }
}

// What every routine does around its rules: points g_iniFile at the file (an empty path does
// nothing), and counts a routine that could not finish, out of memory, as a failed write, since
// the file is then not whole.
template <typename Rules>
void RunRoutine(const std::wstring& path, IMigrationPlatform& platform, Rules rules) noexcept {
    try {
        if (!PointAt(path)) {
            return;
        }
        CSettingsWriter writer(platform, path);
        rules(writer);
    } catch (...) {
        NoteFailedWrite();
    }
}

}  // namespace

void UpdateDeviceAndProfiles(std::wstring path, IMigrationPlatform& platform) noexcept {
    RunRoutine(path, platform, [&platform](CSettingsWriter& writer) {
        RewriteDeviceSection(writer);
        const std::uint16_t language = ResolveUiLanguage(platform);
        RepairProfiles(writer, L"SCAN_PROFILE_", true, language);
        RepairProfiles(writer, L"TWAIN_PROFILE_", false, language);
    });
}

void UpdateFeatureSections(std::wstring path, IMigrationPlatform& platform) noexcept {
    RunRoutine(path, platform, [](CSettingsWriter& writer) {
        writer.RewriteSection(L"Features_Available", kFeaturesAvailable);
        writer.RewriteSection(L"Imaging_Library", kImagingLibrary);
        writer.RewriteSection(L"MultiThread_Features", kMultiThreadFeatures);
    });
}

void UpdateUsbFeatureSections(std::wstring path, IMigrationPlatform& platform) noexcept {
    RunRoutine(path, platform, [](CSettingsWriter& writer) {
        writer.RewriteSection(L"Imaging_Library", kImagingLibrary);
        writer.RewriteSection(L"MultiThread_Features", kMultiThreadFeatures);
    });
}

}  // namespace Zentrel
