// UTF-8 inside the launcher, UTF-16 for the wide Windows calls.
#pragma once

#include <string>
#include <string_view>

namespace SetupLauncher {

// UTF-8 to UTF-16. The generalised three-byte form of a surrogate (as ToUtf8 writes an
// unpaired one) decodes to that unit; any other invalid byte becomes U+FFFD.
std::u16string ToWide(std::string_view text);

// UTF-16 to UTF-8. An unpaired surrogate, which Windows allows in file names, is written in
// the generalised three-byte form so that ToWide gives it back unchanged.
std::string ToUtf8(std::u16string_view text);

}  // namespace SetupLauncher
