// Resolution of the interface language to one the scanning application supports.
#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <ostream>
#include <set>
#include <sstream>

#include "migration.h"
#include "stand_in_platform.h"

namespace {

struct Resolution {
    std::uint16_t raw;
    std::uint16_t expected;
};

void PrintTo(const Resolution& resolution, std::ostream* out) {
    *out << std::hex << "0x" << resolution.raw << " -> " << std::dec << resolution.expected;
}

class ZentrelResolveUiLanguageTest : public ::testing::TestWithParam<Resolution> {};

TEST_P(ZentrelResolveUiLanguageTest, Resolves) {
    const Resolution resolution = GetParam();
    ZentrelTest::CStandInPlatform platform(L"", resolution.raw);
    EXPECT_EQ(Zentrel::ResolveUiLanguage(platform), resolution.expected)
        << std::hex << "raw 0x" << resolution.raw;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ZentrelResolveUiLanguageTest,
    ::testing::Values(Resolution{0x0000, 1033},
                      // Spanish: the modern sort, whatever the region or sort.
                      Resolution{0x080A, 3082}, Resolution{0x040A, 3082}, Resolution{0x0C0A, 3082},
                      Resolution{0x000A, 3082},
                      // Every other language falls back to its default sublanguage.
                      Resolution{0x0809, 1033}, Resolution{0x0C09, 1033}, Resolution{0x0816, 1046},
                      Resolution{0x0807, 1031}, Resolution{0x0C0C, 1036}, Resolution{0x241A, 1050},
                      Resolution{0x0814, 1044}, Resolution{0x0007, 1031},
                      // Chinese: Taiwan, Hong Kong, Macao and the traditional neutral write
                      // traditional characters; the rest simplified.
                      Resolution{0x0404, 1028}, Resolution{0x0C04, 1028}, Resolution{0x1404, 1028},
                      Resolution{0x7C04, 1028}, Resolution{0x0804, 2052}, Resolution{0x1004, 2052},
                      Resolution{0x0004, 2052},
                      // Languages the application does not know.
                      Resolution{0x041E, 1033}, Resolution{0x0439, 1033}, Resolution{0xFFFF, 1033}),
    [](const auto& info) {
        std::ostringstream name;
        name << "Raw" << std::hex << std::uppercase << info.param.raw;
        return name.str();
    });

TEST(ZentrelIsSupportedLanguageTest, HoldsExactlyTheApplicationsLanguages) {
    const std::set<std::uint16_t> supported = {
        1052, 1026, 1027, 1028, 2052, 1050, 1029, 1030, 1043, 2057, 1033, 1061, 1035,
        1036, 1031, 1032, 1038, 1057, 1040, 1041, 1042, 1063, 1044, 1045, 1046, 2070,
        1048, 1049, 1051, 1060, 3082, 1053, 1055, 1058, 1025, 1037, 1066,
    };
    ASSERT_EQ(supported.size(), 37u);
    for (std::uint32_t id = 0; id <= 0xFFFF; ++id) {
        const auto language = static_cast<std::uint16_t>(id);
        EXPECT_EQ(Zentrel::IsSupportedLanguage(language), supported.count(language) == 1)
            << "id " << id;
    }
}

// Whatever the platform reports, the result is a language the application has.
TEST(ZentrelResolveUiLanguageTest, EveryInputResolvesToASupportedLanguage) {
    std::set<std::uint16_t> results;
    for (std::uint32_t id = 0; id <= 0xFFFF; ++id) {
        const auto raw = static_cast<std::uint16_t>(id);
        ZentrelTest::CStandInPlatform platform(L"", raw);
        const std::uint16_t result = Zentrel::ResolveUiLanguage(platform);
        ASSERT_TRUE(Zentrel::IsSupportedLanguage(result)) << "raw " << id;
        results.insert(result);
    }
    // Forcing the default sublanguage makes the United Kingdom and Portugal entries unreachable.
    EXPECT_EQ(results.size(), 35u);
    EXPECT_EQ(results.count(2057), 0u);
    EXPECT_EQ(results.count(2070), 0u);
}

TEST(ZentrelResolveUiLanguageTest, FailingPlatformCountsAsUnknown) {
    ZentrelTest::CStandInPlatform platform(L"", 0);
    platform.uiLanguage = []() -> std::uint16_t { throw std::bad_alloc(); };
    EXPECT_EQ(Zentrel::ResolveUiLanguage(platform), 1033);
}

}  // namespace
