// Test helpers: a private temporary folder, whole-file byte access and wide paths, on both
// platforms.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <system_error>

#include "text_codec.h"
#include "wide_text.h"

namespace TestingSupport {

// A wide path for the INI library and the migration, as the platform spells it; natively every
// byte of the name survives the way there and back.
inline std::wstring WidePath(const std::filesystem::path& path) {
    if constexpr (sizeof(wchar_t) == 2) {
        return path.wstring();
    } else {
        return TextCodec::WideFromFileName(path.string());
    }
}

inline std::filesystem::path PathFromWide(const std::wstring& wide) {
    if constexpr (sizeof(wchar_t) == 2) {
        return {wide};
    } else {
        std::string bytes;
        TextCodec::FileNameFromWide(wide, bytes);
        return {bytes};
    }
}

inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Makes the folders on the way first.
inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::error_code ignored;
    std::filesystem::create_directories(path.parent_path(), ignored);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The names directly inside `folder`.
inline std::set<std::string> Names(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// A folder of its own under `base`, removed with everything in it at the end; its path is empty
// when no folder could be made.
class CTempFolder {
  public:
    explicit CTempFolder(
        const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
        std::random_device seed;
        std::mt19937_64 random(seed());
        for (int attempt = 0; attempt < 100; ++attempt) {
            auto candidate = base / ("test-" + std::to_string(random() % 1000000000ULL));
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error)) {
                m_path = candidate;
                return;
            }
        }
    }
    ~CTempFolder() {
        if (!m_path.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_path, ignored);
        }
    }
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::filesystem::path& name) const {
        return m_path / name;
    }

  private:
    std::filesystem::path m_path;
};

}  // namespace TestingSupport
