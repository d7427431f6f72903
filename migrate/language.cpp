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
    // ShippedLanguage turns every language but Spanish and Chinese into its sublanguage 1, so
    // English (United Kingdom) and Portuguese (Portugal) are never a resolved language; they match
    // only an identifier tested directly.
    static const std::array<std::uint16_t, 37> kSupportedLanguages = {
        0x041C,  // Albanian
        0x0402,  // Bulgarian
        0x0403,  // Catalan
        0x0404,  // Chinese, Traditional (Taiwan)
        0x0804,  // Chinese, Simplified (PRC)
        0x041A,  // Croatian
        0x0405,  // Czech
        0x0406,  // Danish
        0x0413,  // Dutch (Netherlands)
        0x0809,  // English (United Kingdom)
        0x0409,  // English (United States)
        0x0425,  // Estonian
        0x040B,  // Finnish
        0x040C,  // French (France)
        0x0407,  // German (Germany)
        0x0408,  // Greek
        0x040E,  // Hungarian
        0x0421,  // Indonesian
        0x0410,  // Italian (Italy)
        0x0411,  // Japanese
        0x0412,  // Korean
        0x0427,  // Lithuanian
        0x0414,  // Norwegian (Bokmal)
        0x0415,  // Polish
        0x0416,  // Portuguese (Brazil)
        0x0816,  // Portuguese (Portugal)
        0x0418,  // Romanian
        0x0419,  // Russian
        0x041B,  // Slovak
        0x0424,  // Slovenian
        0x0C0A,  // Spanish (Spain, modern sort)
        0x041D,  // Swedish (Sweden)
        0x041F,  // Turkish
        0x0422,  // Ukrainian
        0x0401,  // Arabic (Saudi Arabia)
        0x040D,  // Hebrew
        0x042A,  // Vietnamese
    };
    return kSupportedLanguages;
}

// The application ships one translation per language, in its default sublanguage, except for
// Spanish (modern sort) and Chinese, whose script follows the region.
std::uint16_t ShippedLanguage(std::uint16_t id) {
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

std::uint16_t ResolveUiLanguage(IMigrationPlatform& platform) noexcept {
    std::uint16_t id = 0;
    try {
        id = platform.UserUiLanguage();
    } catch (...) {
        // The platform could not tell (out of memory): unknown, like a language of 0.
    }
    if (id != 0) {
        id = ShippedLanguage(id);
    }
    return IsSupportedLanguage(id) ? id : kUsEnglish;
}

}  // namespace Zentrel
