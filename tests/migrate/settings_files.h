// Test helpers: a private temporary folder, whole-file access, and a plain reading of a settings
// file's layout that does not go through the INI layer under test.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ZentrelTest {

class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }

  private:
    std::filesystem::path m_path;
};

// The path as the migration's routines take it.
std::wstring Wide(const std::filesystem::path& path);

std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);

// The key names of the first section called `section` (ASCII case ignored), in file order.
std::vector<std::string> SectionKeys(const std::string& text, const std::string& section);

// A value read back through the real INI layer; nothing when the key is missing or empty.
std::optional<std::string> ReadValue(const std::filesystem::path& file, const std::string& section,
                                     const std::string& key);

}  // namespace ZentrelTest
