// The profile write, wrapped: the chosen call for the settings file returns failure without
// writing, as the Windows function does when the file cannot be written.
#include <string>

#include "write_faults.h"

namespace {

std::wstring g_fileEnd;
int g_failing = -1;
int g_counted = 0;

bool NamesTheFile(const wchar_t* file) {
    const std::wstring name = file != nullptr ? file : L"";
    return !g_fileEnd.empty() && name.ends_with(g_fileEnd);
}

}  // namespace

// The linker's names for NGUtils::ProfileWriteW and the original it wraps.
extern "C" int __real__ZN7NGUtils13ProfileWriteWEPKwS1_S1_S1_(const wchar_t* section,
                                                              const wchar_t* key,
                                                              const wchar_t* value,
                                                              const wchar_t* file);

extern "C" int __wrap__ZN7NGUtils13ProfileWriteWEPKwS1_S1_S1_(const wchar_t* section,
                                                              const wchar_t* key,
                                                              const wchar_t* value,
                                                              const wchar_t* file) {
    if (NamesTheFile(file) && g_counted++ == g_failing) {
        return 0;
    }
    return __real__ZN7NGUtils13ProfileWriteWEPKwS1_S1_S1_(section, key, value, file);
}

namespace ZentrelTest {

void FailWriteTo(const std::string& folder, int number) {
    // The folder names of the tests are ASCII.
    g_fileEnd = L"\\" + std::wstring(folder.begin(), folder.end()) + L"\\Velmora.ini";
    g_failing = number;
    g_counted = 0;
}

int WritesCounted() {
    return g_counted;
}

}  // namespace ZentrelTest
