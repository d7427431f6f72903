#include "memory_files_posix.h"

#include <cstdint>
#include <map>
#include <utility>

namespace NGUtils {

namespace {

// U+D800 alone is never part of a file name's wide form (text_codec.h).
constexpr std::wstring_view kMemoryPrefix = L"\xD800memory file ";

std::map<std::wstring, std::string, std::less<>>& MemoryFiles() noexcept {
    static std::map<std::wstring, std::string, std::less<>> files;
    return files;
}

}  // namespace

std::wstring CreateMemoryFile(std::string bytes) {
    static std::uint64_t made = 0;
    std::wstring name(kMemoryPrefix);
    name += std::to_wstring(++made);
    MemoryFiles().insert_or_assign(name, std::move(bytes));
    return name;
}

std::string* FindMemoryFile(std::wstring_view name) noexcept {
    auto& files = MemoryFiles();
    const auto found = files.find(name);
    return found == files.end() ? nullptr : &found->second;
}

void RemoveMemoryFile(std::wstring_view name) noexcept {
    auto& files = MemoryFiles();
    if (const auto found = files.find(name); found != files.end()) {
        files.erase(found);
    }
}

}  // namespace NGUtils
