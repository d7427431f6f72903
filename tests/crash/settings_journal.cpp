// The recording side of the crash tests. The test executable is linked with the profile write
// wrapped (see CMakeLists.txt), so every write the migration makes in this process, key writes
// and section deletions alike, passes through here. The wrapper keeps no state of its own: when
// a folder "<file>.journal" exists, each write's result is copied into it as the next numbered
// entry; without that folder it only passes the call on.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "profile.h"

namespace {

void RecordInJournal(const std::string& file) {
    const std::filesystem::path journal = file + ".journal";
    std::error_code error;
    if (!std::filesystem::is_directory(journal, error)) {
        return;
    }
    std::size_t count = 0;
    for (auto entry = std::filesystem::directory_iterator(journal, error);
         !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        ++count;
    }
    std::ifstream in(file, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::ofstream out(journal / std::to_string(count), std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
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
    const int result = __real__ZN7NGUtils13ProfileWriteWEPKwS1_S1_S1_(section, key, value, file);
    if (file != nullptr) {
        try {
            RecordInJournal(NGUtils::ProfileNarrowPath(file));
        } catch (...) {
            // A journal that cannot be written shows as missing states, which the test reports.
        }
    }
    return result;
}
