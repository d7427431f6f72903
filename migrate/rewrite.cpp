// The rewrite rules applied to one settings file.
#include <cstdint>
#include <span>
#include <string>

#include "ini_file.h"
#include "migration.h"
#include "platform.h"
#include "support_log.h"

namespace Zentrel {

namespace {

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

// The writes to one settings file through the platform's INI object; it notes whether any of
// them failed, which makes the file's migration fail as a whole.
class CSettingsWriter {
  public:
    explicit CSettingsWriter(NGUtils::IIniFile& ini) : m_ini(ini) {}

    // A null key removes the whole section: the profile write with the section alone, on the
    // file the object is pointed at.
    void DeleteSection(const wchar_t* section) {
        if (Require(m_ini.DeleteKey(section, nullptr))) {
            SupportLog::g_supportLog.NoteSectionDeleted();
        }
    }

    void WriteInt(const wchar_t* section, const wchar_t* key, std::int32_t value) {
        if (Require(m_ini.WriteInt(section, key, value))) {
            SupportLog::g_supportLog.NoteKeyWritten();
        }
    }

    void WriteValue(const wchar_t* section, const wchar_t* key, const wchar_t* value) {
        if (Require(m_ini.WriteValue(section, key, value))) {
            SupportLog::g_supportLog.NoteKeyWritten();
        }
    }

    void RewriteSection(const wchar_t* section, std::span<const NumberKey> keys) {
        DeleteSection(section);
        for (const NumberKey& entry : keys) {
            WriteInt(section, entry.key, entry.value);
        }
    }

    bool ReadInt(const wchar_t* section, const wchar_t* key, std::int32_t& value) {
        return m_ini.ReadInt(section, key, value);
    }

    bool Failed() const { return m_failed; }

  private:
    bool Require(bool done) {
        m_failed = m_failed || !done;
        return done;
    }

    NGUtils::IIniFile& m_ini;
    bool m_failed = false;
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
        if (!writer.ReadInt(section.c_str(), L"ACD_Sensitivity", acd)) {
            return;
        }
        if (scanProfiles) {
            std::int32_t zonalLanguage = 0;
            if (!writer.ReadInt(section.c_str(), L"ZonalOCRLanguage", zonalLanguage)) {
                writer.WriteInt(section.c_str(), L"ZonalOCRLanguage", language);
            }
        }
        if (acd > kMaxAcdSensitivity) {
            writer.WriteInt(section.c_str(), L"ACD_Sensitivity", kDefaultAcdSensitivity);
        }
    }
}

// What every routine does around its rules: points the INI object at the file (an empty path
// would leave it on whatever file it held before, or on none, so nothing is done then), and
// counts a routine that could not finish, out of memory, as failed, since the file is then not
// whole.
template <typename Rules>
bool RunRoutine(const std::wstring& path, IMigrationPlatform& platform, Rules rules) noexcept {
    try {
        NGUtils::IIniFile& ini = platform.IniFile();
        if (path.empty() || !ini.SetFilePath(path)) {
            return false;
        }
        CSettingsWriter writer(ini);
        rules(writer);
        return !writer.Failed();
    } catch (...) {
        return false;
    }
}

}  // namespace

bool UpdateDeviceAndProfiles(std::wstring path, IMigrationPlatform& platform) noexcept {
    return RunRoutine(path, platform, [&platform](CSettingsWriter& writer) {
        RewriteDeviceSection(writer);
        const std::uint16_t language = ResolveUiLanguage(platform);
        RepairProfiles(writer, L"SCAN_PROFILE_", true, language);
        RepairProfiles(writer, L"TWAIN_PROFILE_", false, language);
    });
}

bool UpdateFeatureSections(std::wstring path, IMigrationPlatform& platform) noexcept {
    return RunRoutine(path, platform, [](CSettingsWriter& writer) {
        writer.RewriteSection(L"Features_Available", kFeaturesAvailable);
        writer.RewriteSection(L"Imaging_Library", kImagingLibrary);
        writer.RewriteSection(L"MultiThread_Features", kMultiThreadFeatures);
    });
}

bool UpdateUsbFeatureSections(std::wstring path, IMigrationPlatform& platform) noexcept {
    return RunRoutine(path, platform, [](CSettingsWriter& writer) {
        writer.RewriteSection(L"Imaging_Library", kImagingLibrary);
        writer.RewriteSection(L"MultiThread_Features", kMultiThreadFeatures);
    });
}

}  // namespace Zentrel
