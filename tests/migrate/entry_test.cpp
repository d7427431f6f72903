// The command line: exactly one argument, compared byte for byte.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "migration.h"

namespace {

using Zentrel::Variant;

struct CommandLine {
    std::vector<const char*> arguments;  // after the program name
    Variant expected;
};

void PrintTo(const CommandLine& commandLine, std::ostream* out) {
    *out << "{";
    for (const char* argument : commandLine.arguments) {
        *out << " \"" << argument << '"';
    }
    *out << " }";
}

// A case name from the arguments themselves, blanks spelled out: "QX_NWTWAIN_blank".
std::string CaseName(const ::testing::TestParamInfo<CommandLine>& info) {
    if (info.param.arguments.empty()) {
        return "no_argument";
    }
    std::string name;
    for (const char* argument : info.param.arguments) {
        std::string word = *argument == '\0' ? "empty_argument" : "";
        for (const char* p = argument; *p != '\0'; ++p) {
            word += *p == ' ' ? (p == argument ? "blank_" : "_blank") : std::string(1, *p);
        }
        name += (name.empty() ? "" : "_then_") + word;
    }
    return name;
}

class ZentrelSelectVariantTest : public ::testing::TestWithParam<CommandLine> {};

TEST_P(ZentrelSelectVariantTest, Selects) {
    std::vector<const char*> argv = {"Zentrel"};
    argv.insert(argv.end(), GetParam().arguments.begin(), GetParam().arguments.end());
    const int argc = static_cast<int>(argv.size());
    argv.push_back(nullptr);
    EXPECT_EQ(Zentrel::SelectVariant(argc, argv.data()), GetParam().expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, ZentrelSelectVariantTest,
    ::testing::Values(
        CommandLine{{"QX_NWTWAIN"}, Variant::Network},
        CommandLine{{"QX_USBTWAIN"}, Variant::Usb},
        CommandLine{{}, Variant::None},
        CommandLine{{"QX_NWTWAIN", "QX_NWTWAIN"}, Variant::None},
        CommandLine{{"QX_USBTWAIN", "extra"}, Variant::None},
        CommandLine{{"qx_nwtwain"}, Variant::None},
        CommandLine{{"QX_NWTWAIN "}, Variant::None},
        CommandLine{{"QX_USBTWAIN "}, Variant::None},
        CommandLine{{" QX_USBTWAIN"}, Variant::None},
        CommandLine{{"QX_NWTWAINX"}, Variant::None},
        CommandLine{{"QX_NW"}, Variant::None},
        CommandLine{{""}, Variant::None}),
    CaseName);
// clang-format on

TEST(ZentrelSelectVariantTest, MissingArgumentVectorSelectsNothing) {
    EXPECT_EQ(Zentrel::SelectVariant(2, nullptr), Variant::None);
    const char* argv[] = {"Zentrel", nullptr};
    EXPECT_EQ(Zentrel::SelectVariant(2, argv), Variant::None);
}

}  // namespace
