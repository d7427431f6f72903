// The user's local application-data folder on a Linux desktop, the one rule both programs follow:
// Zentrel looks for the settings files below it, and the support log names it.
#pragma once

#include <functional>
#include <string>

namespace PosixFiles {

// Like getenv: the value of a variable, or null when it is not set.
using EnvironmentLookup = std::function<const char*(const char*)>;

// $XDG_DATA_HOME when it is an absolute path, else $HOME/.local/share when HOME is an absolute
// path, else the empty string; without a trailing "/". A relative folder would depend on where
// the program was started, so it counts as unset.
std::string LocalAppDataFolder(const EnvironmentLookup& environment);

}  // namespace PosixFiles
