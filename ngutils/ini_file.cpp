#include "ini_file.h"

#include <cstdint>
#include <cwchar>
#include <limits>
#include <memory>
#include <string_view>

#include "profile.h"
#include "text_codec.h"
#include "write_rule.h"

namespace NGUtils {

CIniFile g_iniFile;

namespace {

constexpr std::uint32_t kFirstReadSize = 512;
constexpr std::size_t kIntBufferSize = 32;
// 259 characters and the NUL: "%f" writes every digit before the point, so a value of 1e252 or
// more (-1e251 or less) does not fit, and WriteDouble writes nothing.
constexpr std::size_t kDoubleBufferSize = 260;

bool EqualsAsciiNoCase(const std::wstring& text, const wchar_t* word) {
    auto lower = [](wchar_t c) { return (c >= L'A' && c <= L'Z') ? wchar_t(c - L'A' + L'a') : c; };
    std::size_t i = 0;
    for (; word[i] != 0; ++i) {
        if (i >= text.size() || lower(text[i]) != lower(word[i])) {
            return false;
        }
    }
    return i == text.size();
}

bool IsSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

// Base-10 conversion with saturation at the 32-bit limits; only the ASCII digits count.
std::int32_t ParseInt32(const std::wstring& text) {
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - L'0');
        if (magnitude > kLimit) {
            magnitude = kLimit;
        }
    }
    if (negative) {
        return static_cast<std::int32_t>(-magnitude);
    }
    return magnitude >= kLimit ? std::numeric_limits<std::int32_t>::max()
                               : static_cast<std::int32_t>(magnitude);
}

// Reads with a buffer of 512 characters, doubling it while the result fills it up to the last
// place (size - 1 may be a value cut to fit): a value of n characters costs about log2(n / 512)
// reads of the file, not n / 512 of them. The text is assigned whatever the result.
template <typename Char, typename Read>
bool ReadGrowing(std::basic_string<Char>& value, Read read) {
    std::uint32_t size = kFirstReadSize;
    std::unique_ptr<Char[]> buffer;
    std::uint32_t copied = 0;
    for (;;) {
        // The profile functions end what they copy with a terminator; the rest need not be
        // cleared first, which for a long value would cost as much as the read.
        buffer = std::make_unique_for_overwrite<Char[]>(size);
        buffer[0] = Char(0);
        copied = read(buffer.get(), size);
        // No value comes near 2 GB characters; the cap only keeps the size from wrapping.
        if (copied < size - 1 || size > std::numeric_limits<std::uint32_t>::max() / 2) {
            break;
        }
        size *= 2;
    }
    value.assign(buffer.get());
    return copied != 0;
}

}  // namespace

bool CIniFile::SetFilePath(const std::wstring& path) {
    if (path.empty()) {
        return false;
    }
    if (&path != &m_filePath) {
        m_filePath = path;
    }
    return true;
}

std::wstring CIniFile::GetFilePath() const {
    return m_filePath;
}

bool CIniFile::ReadString(const wchar_t* section, const wchar_t* key, std::wstring& value) {
    return ReadGrowing(value, [&](wchar_t* buffer, std::uint32_t size) {
        return ProfileReadW(section, key, L"", buffer, size, m_filePath.c_str());
    });
}

bool CIniFile::ReadStringA(const char* section, const char* key, std::string& value) {
    const std::string path = ProfileNarrowPath(m_filePath);
    if (path.empty() && !m_filePath.empty()) {
        // The name has no 8-bit form; any other name would be a different file.
        value.clear();
        return false;
    }
    return ReadGrowing(value, [&](char* buffer, std::uint32_t size) {
        return ProfileReadA(section, key, "", buffer, size, path.c_str());
    });
}

bool CIniFile::ReadString16(const wchar_t* section, const wchar_t* key, std::u16string& value) {
    std::wstring text;
    if (!ReadString(section, key, text)) {
        return false;
    }
    value = TextCodec::Utf16FromWide(text);
    return true;
}

bool CIniFile::ReadBool(const wchar_t* section, const wchar_t* key, bool& value) {
    std::wstring text;
    if (!ReadString(section, key, text)) {
        return false;
    }
    value = EqualsAsciiNoCase(text, L"true");
    return true;
}

bool CIniFile::ReadYesNo(const wchar_t* section, const wchar_t* key, std::int32_t& value) {
    std::wstring text;
    if (!ReadString(section, key, text)) {
        return false;
    }
    value = EqualsAsciiNoCase(text, L"Yes") ? 1 : 0;
    return true;
}

bool CIniFile::ReadInt(const wchar_t* section, const wchar_t* key, std::int32_t& value) {
    std::wstring text;
    if (!ReadString(section, key, text)) {
        return false;
    }
    value = ParseInt32(text);
    // A zero is only a real zero when the text says exactly that; "abc", "00" or "-0" are not.
    return value != 0 || text == L"0";
}

bool CIniFile::ReadDouble(const wchar_t* section, const wchar_t* key, double& value) {
    std::wstring text;
    if (!ReadString(section, key, text)) {
        return false;
    }
    value = std::wcstod(text.c_str(), nullptr);
    return value != 0.0 || text == L"0";
}

bool CIniFile::WriteEntry(const wchar_t* section, const wchar_t* key, const wchar_t* value) {
    if (!WriteRule::IsAcceptedWrite(section, key, value)) {
        return false;
    }
    return ProfileWriteW(section, key, value, m_filePath.c_str()) > 0;
}

bool CIniFile::WriteValue(const wchar_t* section, const wchar_t* key, const wchar_t* value) {
    return WriteEntry(section, key, value);
}

bool CIniFile::WriteString(const wchar_t* section, const wchar_t* key, const std::wstring& value) {
    return WriteValue(section, key, value.c_str());
}

bool CIniFile::WriteString16(const wchar_t* section, const wchar_t* key,
                             const std::u16string& value) {
    const std::wstring text = TextCodec::WideFromUtf16(value);
    return WriteValue(section, key, text.c_str());
}

bool CIniFile::WriteBool(const wchar_t* section, const wchar_t* key, bool value) {
    return WriteValue(section, key, value ? L"true" : L"false");
}

bool CIniFile::WriteYesNo(const wchar_t* section, const wchar_t* key, std::int32_t value) {
    return WriteValue(section, key, value == 1 ? L"Yes" : L"No");
}

bool CIniFile::WriteInt(const wchar_t* section, const wchar_t* key, std::int32_t value) {
    wchar_t buffer[kIntBufferSize] = {};
    const int length = std::swprintf(buffer, kIntBufferSize, L"%d", static_cast<int>(value));
    if (length < 1) {
        return false;
    }
    return WriteValue(section, key, buffer);
}

bool CIniFile::WriteDouble(const wchar_t* section, const wchar_t* key, double value) {
    wchar_t buffer[kDoubleBufferSize] = {};
    const int length = std::swprintf(buffer, kDoubleBufferSize, L"%f", value);
    if (length < 1 || length > static_cast<int>(kDoubleBufferSize - 1)) {
        return false;
    }
    return WriteValue(section, key, buffer);
}

bool CIniFile::WriteStringA(const char* section, const char* key, const std::string& value) {
    // The whole string is checked: a NUL inside it would cut the value short.
    const std::string_view keyText = key != nullptr ? std::string_view(key) : std::string_view();
    const std::string_view valueText(value);
    if (section == nullptr || !WriteRule::IsAcceptedWrite<char>(
                                  section, key != nullptr ? &keyText : nullptr, &valueText)) {
        return false;
    }
    const std::string path = ProfileNarrowPath(m_filePath);
    if (path.empty() && !m_filePath.empty()) {
        return false;
    }
    return ProfileWriteA(section, key, value.c_str(), path.c_str()) > 0;
}

bool CIniFile::DeleteKey(const wchar_t* section, const wchar_t* key) {
    if (!WriteRule::IsAcceptedWrite<wchar_t>(section, key, nullptr)) {
        return false;
    }
    return ProfileWriteW(section, key, nullptr, m_filePath.c_str()) > 0;
}

}  // namespace NGUtils
