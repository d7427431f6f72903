// The file operations behind the POSIX platform's whole-or-nothing step, given the durable-file
// layer's file-system seam, so that a test can make any single read or write of them fail.
#pragma once

#include <string>

#include "platform.h"

namespace PosixFiles {
class IFileSystem;
}  // namespace PosixFiles

namespace Zentrel::Posix {

bool ReadSettingsFile(PosixFiles::IFileSystem& fs, const std::wstring& file,
                      SettingsSnapshot& snapshot);

StepOutcome PutInPlace(PosixFiles::IFileSystem& fs, const std::wstring& workingCopy,
                       const std::wstring& file, const SettingsSnapshot& snapshot);

}  // namespace Zentrel::Posix
