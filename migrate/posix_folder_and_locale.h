// What the environment of a Linux desktop says about the user: the data folder, the messages
// locale, and the Windows language identifier of a locale. The environment is a parameter, so
// that the rules can be checked without changing the process's own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace Zentrel::Posix {

// Like getenv: the value of a variable, or null when it is not set.
using EnvironmentLookup = std::function<const char*(const char*)>;

// The data folder of the programs' one rule (posix/data_folder.h) as a wide path: bytes that are
// no UTF-8 are kept as the escapes of WideFromFileName.
std::wstring LocalAppDataFolder(const EnvironmentLookup& environment);

// The locale that gettext would take messages from: the first entry of $LANGUAGE unless the
// messages locale is C or POSIX, else the first non-empty of LC_ALL, LC_MESSAGES and LANG.
// Empty when none is set.
std::string MessagesLocaleName(const EnvironmentLookup& environment);

// The Windows language identifier of a locale name ll[_CC][.codeset][@modifier], as Windows
// gives it for the same language, region and script. A known language in a region Windows has
// no identifier for gives the language's neutral identifier; C, POSIX and unknown names give 0.
std::uint16_t LanguageIdFromLocaleName(std::string_view locale);

}  // namespace Zentrel::Posix
