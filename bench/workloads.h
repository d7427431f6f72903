// The settings files the benchmark runs on. All are plain ASCII with CRLF line breaks, as the
// scanning application writes them, and are made the same way in every run.
#pragma once

#include <cstddef>
#include <string>

namespace Bench {

inline constexpr int kProfilesPerKind = 100;

// Where the single operations act: both sections stand at the very end of the file, behind
// every padding section, so that a reader has to pass all of the file to reach them.
inline constexpr wchar_t kDoomedSection[] = L"Doomed";
inline constexpr wchar_t kTargetSection[] = L"Target";
inline constexpr wchar_t kExistingKey[] = L"Existing";  // holds "1"
inline constexpr wchar_t kNumberKey[] = L"Number";      // holds "42", the file's last line
inline constexpr wchar_t kNewKey[] = L"Added";          // not in the file

// A file on which the network migration does all the work it can: every section it rewrites is
// there, so each deletion deletes something; 100 scan profiles, none with a ZonalOCRLanguage,
// and 100 TWAIN profiles, every ACD_Sensitivity above 10. Padding sections stand between the
// device sections and the profiles. The file has `size` bytes, or more when the profiles alone
// need more room.
std::string MigrationSettingsFile(std::size_t size);

// The file of MigrationSettingsFile(0) as a damaged settings file may have it: the
// ACD_Sensitivity of SCAN_PROFILE_0 holds `valueSize` digits (a number far above 10, so the
// migration reads it whole and repairs it to 7).
std::string LongValueSettingsFile(std::size_t valueSize);

// A file of exactly `size` bytes (at least a few hundred) that ends with the sections
// kDoomedSection and kTargetSection.
std::string SingleOperationFile(std::size_t size);

// Sections that a real settings file holds for features the migration never touches, filling
// `size` bytes exactly; nothing when `size` is too small for one section.
std::string PaddingSections(std::size_t size);

}  // namespace Bench
