// The file operations behind the POSIX platform's whole-or-nothing step, given the engine's
// file-system seam, so that a test can make any single read or write of them fail.
#pragma once

#include <string>

#include "file_system_posix.h"
#include "platform.h"

namespace Zentrel::Posix {

bool ReadSettingsFile(NGUtils::IniEngine::IFileSystem& fs, const std::wstring& file,
                      SettingsSnapshot& snapshot);

StepOutcome PutInPlace(NGUtils::IniEngine::IFileSystem& fs, const std::wstring& workingCopy,
                       const std::wstring& file, const SettingsSnapshot& snapshot);

}  // namespace Zentrel::Posix
