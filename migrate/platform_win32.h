// The naming rule behind the existence test on Windows, given on its own so that it can be
// checked.
#pragma once

#include <string>

namespace Zentrel::Win32 {

// The name that the existence test normalises: `path` behind the extended-length prefix "\\?\",
// so that long names are not cut, except for a network path.
std::wstring ExtendedLengthCandidate(const std::wstring& path);

}  // namespace Zentrel::Win32
