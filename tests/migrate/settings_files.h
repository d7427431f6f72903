// Test helpers of the migration: a plain reading of a settings file's layout that does not go
// through the INI layer under test, and a value read back through it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ZentrelTest {

// The key names of the first section called `section` (ASCII case ignored), in file order.
std::vector<std::string> SectionKeys(const std::string& text, const std::string& section);

// A value read back through the real INI layer; nothing when the key is missing or empty.
std::optional<std::string> ReadValue(const std::filesystem::path& file, const std::string& section,
                                     const std::string& key);

}  // namespace ZentrelTest
