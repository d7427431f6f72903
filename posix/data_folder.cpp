#include "data_folder.h"

namespace PosixFiles {

namespace {

std::string WithoutTrailingSlashes(std::string path) {
    while (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

bool IsAbsolute(const char* value) {
    return value != nullptr && value[0] == '/';
}

}  // namespace

std::string LocalAppDataFolder(const EnvironmentLookup& environment) {
    const char* dataHome = environment("XDG_DATA_HOME");
    if (IsAbsolute(dataHome)) {
        return WithoutTrailingSlashes(dataHome);
    }
    const char* home = environment("HOME");
    if (IsAbsolute(home)) {
        return WithoutTrailingSlashes(home) + "/.local/share";
    }
    return {};
}

}  // namespace PosixFiles
