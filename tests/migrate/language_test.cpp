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
    ::testing::Values(
        Resolution{0x0000, 0x0409},
        // Spanish: the modern sort, whatever the region or sort.
        Resolution{0x080A, 0x0C0A}, Resolution{0x040A, 0x0C0A}, Resolution{0x0C0A, 0x0C0A},
        Resolution{0x000A, 0x0C0A},
        // Every other language falls back to its default sublanguage.
        Resolution{0x0809, 0x0409}, Resolution{0x0C09, 0x0409}, Resolution{0x0816, 0x0416},
        Resolution{0x0807, 0x0407}, Resolution{0x0C0C, 0x040C}, Resolution{0x241A, 0x041A},
        Resolution{0x0814, 0x0414}, Resolution{0x0007, 0x0407},
        // Chinese: Taiwan, Hong Kong, Macao and the traditional neutral write
        // traditional characters; the rest simplified.
        Resolution{0x0404, 0x0404}, Resolution{0x0C04, 0x0404}, Resolution{0x1404, 0x0404},
        Resolution{0x7C04, 0x0404}, Resolution{0x0804, 0x0804}, Resolution{0x1004, 0x0804},
        Resolution{0x0004, 0x0804},
        // Languages the application does not know.
        Resolution{0x041E, 0x0409}, Resolution{0x0439, 0x0409}, Resolution{0xFFFF, 0x0409}),
    [](const auto& info) {
        std::ostringstream name;
        name << "Raw" << std::hex << std::uppercase << info.param.raw;
        return name.str();
    });

TEST(ZentrelIsSupportedLanguageTest, HoldsExactlyTheApplicationsLanguages) {
    const std::set<std::uint16_t> supported = {
        0x041C, 0x0402, 0x0403, 0x0404, 0x0804, 0x041A, 0x0405, 0x0406, 0x0413, 0x0809,
        0x0409, 0x0425, 0x040B, 0x040C, 0x0407, 0x0408, 0x040E, 0x0421, 0x0410, 0x0411,
        0x0412, 0x0427, 0x0414, 0x0415, 0x0416, 0x0816, 0x0418, 0x0419, 0x041B, 0x0424,
        0x0C0A, 0x041D, 0x041F, 0x0422, 0x0401, 0x040D, 0x042A,
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
    EXPECT_EQ(results.count(0x0809), 0u);
    EXPECT_EQ(results.count(0x0816), 0u);
}

TEST(ZentrelResolveUiLanguageTest, FailingPlatformCountsAsUnknown) {
    ZentrelTest::CStandInPlatform platform(L"", 0);
    platform.uiLanguage = []() -> std::uint16_t { throw std::bad_alloc(); };
    EXPECT_EQ(Zentrel::ResolveUiLanguage(platform), 0x0409);
}

}  // namespace
