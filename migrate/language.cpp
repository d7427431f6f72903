// The interface language, narrowed to the languages the scanning application knows.
#include <algorithm>
#include <array>
#include <cstdint>

#include "migration.h"
#include "platform.h"

namespace Zentrel {

namespace {

constexpr std::uint16_t kUsEnglish = 0x0409;
constexpr std::uint16_t kSpanishModernSort = 0x0C0A;
constexpr std::uint16_t kChineseTraditional = 0x0404;
constexpr std::uint16_t kChineseSimplified = 0x0804;
constexpr std::uint16_t kChineseTraditionalNeutral = 0x7C04;
constexpr std::uint16_t kPrimarySpanish = 0x0A;
constexpr std::uint16_t kPrimaryChinese = 0x04;
constexpr std::uint16_t kPrimaryMask = 0x3FF;
constexpr std::uint16_t kDefaultSublanguage = 0x400;

const std::array<std::uint16_t, 37>& SupportedLanguages() {
    static const std::array<std::uint16_t, 37> kSupportedLanguages = {
        0x041C, 0x0402, 0x0403, 0x0404, 0x0804, 0x041A, 0x0405, 0x0406, 0x0413, 0x0809,
        0x0409, 0x0425, 0x040B, 0x040C, 0x0407, 0x0408, 0x040E, 0x0421, 0x0410, 0x0411,
        0x0412, 0x0427, 0x0414, 0x0415, 0x0416, 0x0816, 0x0418, 0x0419, 0x041B, 0x0424,
        0x0C0A, 0x041D, 0x041F, 0x0422, 0x0401, 0x040D, 0x042A,
    };
    return kSupportedLanguages;
}

// The application ships one variant per language: the default one, except for Spanish (modern
// sort) and Chinese, whose script follows the region.
std::uint16_t ApplicationVariant(std::uint16_t id) {
    const auto primary = static_cast<std::uint16_t>(id & kPrimaryMask);
    const auto sublanguage = static_cast<std::uint16_t>(id >> 10);
    if (primary == kPrimarySpanish) {
        return kSpanishModernSort;
    }
    if (primary != kPrimaryChinese) {
        return static_cast<std::uint16_t>(primary | kDefaultSublanguage);
    }
    // Taiwan, Hong Kong and Macao write the traditional script.
    const bool traditional = id == kChineseTraditionalNeutral || sublanguage == 1 ||
                             sublanguage == 3 || sublanguage == 5;
    return traditional ? kChineseTraditional : kChineseSimplified;
}

}  // namespace

bool IsSupportedLanguage(std::uint16_t id) noexcept {
    const auto& table = SupportedLanguages();
    return std::find(table.begin(), table.end(), id) != table.end();
}

std::uint16_t ResolveUiLanguage() noexcept {
    try {
        return ResolveUiLanguage(Platform::UserUiLanguage);
    } catch (...) {
        return kUsEnglish;
    }
}

std::uint16_t ResolveUiLanguage(const UiLanguageSource& uiLanguage) noexcept {
    std::uint16_t id = 0;
    try {
        id = uiLanguage();
    } catch (...) {
        // Unknown, like a language of 0.
    }
    if (id != 0) {
        id = ApplicationVariant(id);
    }
    return IsSupportedLanguage(id) ? id : kUsEnglish;
}

}  // namespace Zentrel
