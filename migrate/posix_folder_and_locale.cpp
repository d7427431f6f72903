// The user's locale and data folder as the environment of a Linux desktop gives them, and the
// Windows language identifier of a locale.
#include <algorithm>
#include <array>
#include <utility>

#include "data_folder.h"
#include "posix_folder_and_locale.h"
#include "text_codec.h"

namespace Zentrel::Posix {

namespace {

bool IsSet(const char* value) {
    return value != nullptr && *value != '\0';
}

// "C" and "POSIX", with or without a codeset or modifier, name the untranslated locale.
bool IsUntranslatedLocale(std::string_view locale) {
    const std::string_view name = locale.substr(0, locale.find_first_of(".@"));
    return name == "C" || name == "POSIX";
}

struct LocaleId {
    std::string_view language;
    std::string_view region;    // empty: the language's neutral identifier
    std::string_view modifier;  // empty: the locale without a modifier
    std::uint16_t id;
};

// Windows' identifiers for the languages the scanning application supports, in every region
// Windows has one for. Serbian and Bosnian share Croatian's primary language 0x1A; a Serbian
// locale without a modifier is written in Cyrillic, as glibc's are, a Bosnian one in Latin.
const auto& LocaleTable() {
    static constexpr std::array kTable = std::to_array<LocaleId>({
        {"ar", "", "", 0x0001},           {"ar", "SA", "", 0x0401},
        {"ar", "IQ", "", 0x0801},         {"ar", "EG", "", 0x0C01},
        {"ar", "LY", "", 0x1001},         {"ar", "DZ", "", 0x1401},
        {"ar", "MA", "", 0x1801},         {"ar", "TN", "", 0x1C01},
        {"ar", "OM", "", 0x2001},         {"ar", "YE", "", 0x2401},
        {"ar", "SY", "", 0x2801},         {"ar", "JO", "", 0x2C01},
        {"ar", "LB", "", 0x3001},         {"ar", "KW", "", 0x3401},
        {"ar", "AE", "", 0x3801},         {"ar", "BH", "", 0x3C01},
        {"ar", "QA", "", 0x4001},         {"bg", "", "", 0x0002},
        {"bg", "BG", "", 0x0402},         {"bs", "", "", 0x781A},
        {"bs", "", "cyrillic", 0x641A},   {"bs", "", "latin", 0x681A},
        {"bs", "BA", "", 0x141A},         {"bs", "BA", "cyrillic", 0x201A},
        {"ca", "", "", 0x0003},           {"ca", "ES", "", 0x0403},
        {"ca", "ES", "valencia", 0x0803}, {"cs", "", "", 0x0005},
        {"cs", "CZ", "", 0x0405},         {"da", "", "", 0x0006},
        {"da", "DK", "", 0x0406},         {"de", "", "", 0x0007},
        {"de", "DE", "", 0x0407},         {"de", "CH", "", 0x0807},
        {"de", "AT", "", 0x0C07},         {"de", "LU", "", 0x1007},
        {"de", "LI", "", 0x1407},         {"el", "", "", 0x0008},
        {"el", "GR", "", 0x0408},         {"en", "", "", 0x0009},
        {"en", "US", "", 0x0409},         {"en", "GB", "", 0x0809},
        {"en", "AU", "", 0x0C09},         {"en", "CA", "", 0x1009},
        {"en", "NZ", "", 0x1409},         {"en", "IE", "", 0x1809},
        {"en", "ZA", "", 0x1C09},         {"en", "JM", "", 0x2009},
        {"en", "BZ", "", 0x2809},         {"en", "TT", "", 0x2C09},
        {"en", "ZW", "", 0x3009},         {"en", "PH", "", 0x3409},
        {"en", "HK", "", 0x3C09},         {"en", "IN", "", 0x4009},
        {"en", "MY", "", 0x4409},         {"en", "SG", "", 0x4809},
        {"es", "", "", 0x000A},           {"es", "ES", "", 0x0C0A},
        {"es", "MX", "", 0x080A},         {"es", "GT", "", 0x100A},
        {"es", "CR", "", 0x140A},         {"es", "PA", "", 0x180A},
        {"es", "DO", "", 0x1C0A},         {"es", "VE", "", 0x200A},
        {"es", "CO", "", 0x240A},         {"es", "PE", "", 0x280A},
        {"es", "AR", "", 0x2C0A},         {"es", "EC", "", 0x300A},
        {"es", "CL", "", 0x340A},         {"es", "UY", "", 0x380A},
        {"es", "PY", "", 0x3C0A},         {"es", "BO", "", 0x400A},
        {"es", "SV", "", 0x440A},         {"es", "HN", "", 0x480A},
        {"es", "NI", "", 0x4C0A},         {"es", "PR", "", 0x500A},
        {"es", "US", "", 0x540A},         {"es", "CU", "", 0x5C0A},
        {"et", "", "", 0x0025},           {"et", "EE", "", 0x0425},
        {"fi", "", "", 0x000B},           {"fi", "FI", "", 0x040B},
        {"fr", "", "", 0x000C},           {"fr", "FR", "", 0x040C},
        {"fr", "BE", "", 0x080C},         {"fr", "CA", "", 0x0C0C},
        {"fr", "CH", "", 0x100C},         {"fr", "LU", "", 0x140C},
        {"fr", "MC", "", 0x180C},         {"fr", "RE", "", 0x200C},
        {"fr", "CD", "", 0x240C},         {"fr", "SN", "", 0x280C},
        {"fr", "CM", "", 0x2C0C},         {"fr", "CI", "", 0x300C},
        {"fr", "ML", "", 0x340C},         {"fr", "MA", "", 0x380C},
        {"fr", "HT", "", 0x3C0C},         {"he", "", "", 0x000D},
        {"he", "IL", "", 0x040D},         {"hr", "", "", 0x001A},
        {"hr", "HR", "", 0x041A},         {"hr", "BA", "", 0x101A},
        {"hu", "", "", 0x000E},           {"hu", "HU", "", 0x040E},
        {"id", "", "", 0x0021},           {"id", "ID", "", 0x0421},
        {"it", "", "", 0x0010},           {"it", "IT", "", 0x0410},
        {"it", "CH", "", 0x0810},         {"ja", "", "", 0x0011},
        {"ja", "JP", "", 0x0411},         {"ko", "", "", 0x0012},
        {"ko", "KR", "", 0x0412},         {"lt", "", "", 0x0027},
        {"lt", "LT", "", 0x0427},         {"nb", "", "", 0x7C14},
        {"nb", "NO", "", 0x0414},         {"nl", "", "", 0x0013},
        {"nl", "NL", "", 0x0413},         {"nl", "BE", "", 0x0813},
        {"nn", "", "", 0x7814},           {"nn", "NO", "", 0x0814},
        {"no", "", "", 0x0014},           {"no", "NO", "", 0x0414},
        {"pl", "", "", 0x0015},           {"pl", "PL", "", 0x0415},
        {"pt", "", "", 0x0016},           {"pt", "BR", "", 0x0416},
        {"pt", "PT", "", 0x0816},         {"ro", "", "", 0x0018},
        {"ro", "RO", "", 0x0418},         {"ro", "MD", "", 0x0818},
        {"ru", "", "", 0x0019},           {"ru", "RU", "", 0x0419},
        {"ru", "MD", "", 0x0819},         {"sk", "", "", 0x001B},
        {"sk", "SK", "", 0x041B},         {"sl", "", "", 0x0024},
        {"sl", "SI", "", 0x0424},         {"sq", "", "", 0x001C},
        {"sq", "AL", "", 0x041C},         {"sr", "", "", 0x7C1A},
        {"sr", "", "cyrillic", 0x6C1A},   {"sr", "", "latin", 0x701A},
        {"sr", "RS", "", 0x281A},         {"sr", "RS", "latin", 0x241A},
        {"sr", "ME", "", 0x301A},         {"sr", "ME", "latin", 0x2C1A},
        {"sr", "BA", "", 0x1C1A},         {"sr", "BA", "latin", 0x181A},
        {"sr", "CS", "", 0x0C1A},         {"sr", "CS", "latin", 0x081A},
        {"sv", "", "", 0x001D},           {"sv", "SE", "", 0x041D},
        {"sv", "FI", "", 0x081D},         {"tr", "", "", 0x001F},
        {"tr", "TR", "", 0x041F},         {"uk", "", "", 0x0022},
        {"uk", "UA", "", 0x0422},         {"vi", "", "", 0x002A},
        {"vi", "VN", "", 0x042A},         {"zh", "", "", 0x0004},
        {"zh", "CN", "", 0x0804},         {"zh", "TW", "", 0x0404},
        {"zh", "HK", "", 0x0C04},         {"zh", "SG", "", 0x1004},
        {"zh", "MO", "", 0x1404},
    });
    return kTable;
}

const LocaleId* FindLocale(std::string_view language, std::string_view region,
                           std::string_view modifier) {
    const auto& table = LocaleTable();
    const auto found = std::find_if(table.begin(), table.end(), [&](const LocaleId& entry) {
        return entry.language == language && entry.region == region && entry.modifier == modifier;
    });
    return found == table.end() ? nullptr : &*found;
}

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string AsciiCase(std::string_view text, bool upper) {
    std::string result(text);
    for (char& c : result) {
        if (upper && c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        } else if (!upper && c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return result;
}

}  // namespace

std::wstring LocalAppDataFolder(const EnvironmentLookup& environment) {
    return TextCodec::WideFromFileName(PosixFiles::LocalAppDataFolder(environment));
}

std::string MessagesLocaleName(const EnvironmentLookup& environment) {
    std::string locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = environment(name);
        if (IsSet(value)) {
            locale = value;
            break;
        }
    }
    // gettext consults LANGUAGE only for a translated locale.
    if (locale.empty() || IsUntranslatedLocale(locale)) {
        return locale;
    }
    const char* priorities = environment("LANGUAGE");
    if (IsSet(priorities)) {
        std::string_view list = priorities;
        while (!list.empty()) {
            const std::size_t end = std::min(list.find(':'), list.size());
            if (end > 0) {
                return std::string(list.substr(0, end));
            }
            list.remove_prefix(1);
        }
    }
    return locale;
}

std::uint16_t LanguageIdFromLocaleName(std::string_view locale) {
    const std::size_t languageEnd = std::min(locale.find_first_of("_.@"), locale.size());
    const std::string_view language = locale.substr(0, languageEnd);
    std::string_view region;
    if (languageEnd < locale.size() && locale[languageEnd] == '_') {
        const std::string_view rest = locale.substr(languageEnd + 1);
        region = rest.substr(0, rest.find_first_of(".@"));
    }
    std::string_view modifier;
    if (const std::size_t at = locale.find('@'); at != std::string_view::npos) {
        modifier = locale.substr(at + 1);
    }
    if (language.size() < 2 || language.size() > 3 ||
        !std::all_of(language.begin(), language.end(), IsAsciiLetter)) {
        return 0;
    }
    const std::string lowerLanguage = AsciiCase(language, false);
    const std::string upperRegion = AsciiCase(region, true);
    const std::string lowerModifier = AsciiCase(modifier, false);
    // A modifier that names no script or dialect Windows knows (such as @euro) changes nothing,
    // and neither does a region Windows has no identifier for.
    using RegionAndModifier = std::pair<std::string_view, std::string_view>;
    const std::array<RegionAndModifier, 4> candidates = {
        RegionAndModifier{upperRegion, lowerModifier}, RegionAndModifier{upperRegion, ""},
        RegionAndModifier{"", lowerModifier}, RegionAndModifier{"", ""}};
    for (const auto& [wantedRegion, wantedModifier] : candidates) {
        if (const LocaleId* entry = FindLocale(lowerLanguage, wantedRegion, wantedModifier)) {
            return entry->id;
        }
    }
    return 0;
}

}  // namespace Zentrel::Posix
