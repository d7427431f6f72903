// The rules of the Windows platform given on their own, so that they can be checked without
// the system: the naming rule behind the existence test, and the one step that puts a working
// copy in a settings file's place, over a seam of the system calls it makes.
#pragma once

#include <cstdint>
#include <string>

#include "platform.h"

namespace Zentrel::WindowsRules {

// The name that the existence test normalises: `path` behind the extended-length prefix "\\?\",
// so that long names are not cut, except for a network path.
std::wstring ExtendedLengthCandidate(const std::wstring& path);

// The system calls of the step; each gives 0 or the system's error code.
class IStepCalls {
  public:
    virtual ~IStepCalls() = default;
    // ReplaceFileW(file, replacement, no backup, flags, reserved, reserved).
    virtual std::uint32_t Replace(const std::wstring& file, const std::wstring& replacement,
                                      std::uint32_t flags) = 0;
    // MoveFileExW(from, to, flags).
    virtual std::uint32_t Move(const std::wstring& from, const std::wstring& to,
                                   std::uint32_t flags) = 0;
    // Writes `bytes` over the existing file where it is, cuts it there and flushes it.
    virtual std::uint32_t Rewrite(const std::wstring& file, const std::string& bytes) = 0;
};

// ReplaceFileW keeps the file's attributes, DACL, creation time and streams; without
// REPLACEFILE_IGNORE_MERGE_ERRORS a file whose metadata it cannot carry over is rewritten in
// place instead. REPLACEFILE_WRITE_THROUGH is not supported: the working copy is flushed before.
inline constexpr std::uint32_t kReplaceFlags = 0;
inline constexpr std::uint32_t kMoveFlags = 0x8;  // MOVEFILE_WRITE_THROUGH
inline constexpr std::uint32_t kErrorUnableToMoveReplacement = 1176;
inline constexpr std::uint32_t kErrorUnableToMoveReplacement2 = 1177;

// Gives `file` the bytes of the flushed working copy `workingCopy` (which holds `bytes`) in one
// step. A working copy beside the file replaces it by ReplaceFileW; when that fails with one of
// the two errors after which the file may be gone and the working copy holds the only migrated
// bytes, the working copy is moved to the file's name, as documented, and Stranded says it must
// stay where it is if even that fails. Where ReplaceFileW cannot be used at all (a working copy
// in another folder, or any other failure, after which both files keep their names), the file
// is rewritten in place, flushed.
StepOutcome PutWorkingCopyInPlace(IStepCalls& calls, const std::wstring& file,
                                  const std::wstring& workingCopy, bool besideFile,
                                  const std::string& bytes);

}  // namespace Zentrel::WindowsRules
