// The recording side of the crash tests (see settings_journal.h).
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "profile.h"
#include "settings_journal.h"

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

namespace ZentrelCrashTest {

bool CJournalPlatform::Write(const std::wstring& file, const std::function<bool()>& write) {
    const bool done = write();
    try {
        RecordInJournal(NGUtils::ProfileNarrowPath(file));
    } catch (...) {
        // A journal that cannot be written shows as missing states, which the test reports.
    }
    return done;
}

}  // namespace ZentrelCrashTest
