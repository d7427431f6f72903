// The records the Windows platform hands to the shell, filled apart from the calls so that the
// Windows unit tests can check them: the fake platform replaces the calls whole.
#pragma once

#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <string>

namespace SetupLauncher {

// A program package: the file type's default action with the parameters, the process handle
// kept for the wait. The record points into both strings, which must outlive it.
SHELLEXECUTEINFOW ProgramStartRecord(const std::wstring& file, const std::wstring& parameters);

// An installer package: the "open" action, no process handle kept. The record points into the
// string, which must outlive it.
SHELLEXECUTEINFOW DocumentOpenRecord(const std::wstring& file);

}  // namespace SetupLauncher
