// Placeholder until the INI engine lands.
#include "profile.h"

namespace NGUtils {
std::uint32_t ProfileReadW(const wchar_t*, const wchar_t*, const wchar_t*, wchar_t* buffer,
                           std::uint32_t size, const wchar_t*) {
    if (size > 0) buffer[0] = 0;
    return 0;
}
std::uint32_t ProfileReadA(const char*, const char*, const char*, char* buffer,
                           std::uint32_t size, const char*) {
    if (size > 0) buffer[0] = 0;
    return 0;
}
int ProfileWriteW(const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*) { return 0; }
int ProfileWriteA(const char*, const char*, const char*, const char*) { return 0; }
std::string ProfileNarrowPath(const std::wstring&) { return {}; }
}  // namespace NGUtils
