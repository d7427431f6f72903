#include "settings_files.h"

#include "files.h"
#include "ini_file.h"
#include "text_codec.h"

namespace ZentrelTest {

namespace {

std::string Trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

}  // namespace

std::vector<std::string> SectionKeys(const std::string& text, const std::string& section) {
    std::vector<std::string> keys;
    bool inSection = false;
    bool seen = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        line = Trim(line);
        if (!line.empty() && line.front() == '[') {
            const std::size_t close = line.rfind(']');
            const std::string name =
                Trim(line.substr(1, close == std::string::npos ? 0 : close - 1));
            if (inSection) {
                break;
            }
            inSection = !seen && Lower(name) == Lower(section);
            seen = seen || inSection;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (inSection && equals != std::string::npos && line.front() != ';' &&
            line.front() != '#') {
            keys.push_back(Trim(line.substr(0, equals)));
        }
    }
    return keys;
}

std::optional<std::string> ReadValue(const std::filesystem::path& file, const std::string& section,
                                     const std::string& key) {
    NGUtils::CIniFile reader;
    reader.SetFilePath(TestingSupport::WidePath(file));
    std::wstring value;
    if (!reader.ReadString(TextCodec::WideFromUtf8(section).c_str(),
                           TextCodec::WideFromUtf8(key).c_str(), value)) {
        return std::nullopt;
    }
    return TextCodec::Utf8FromWide(value);
}

}  // namespace ZentrelTest
