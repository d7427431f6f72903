// Names of the cases of parameterised suites, which GoogleTest allows only letters, digits and
// "_" in.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace TestingSupport {

// Letters and digits kept, everything else "_".
inline std::string TestName(std::string_view text) {
    std::string name;
    for (const char c : text) {
        const bool plain =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        name.push_back(plain ? c : '_');
    }
    return name;
}

// For INSTANTIATE_TEST_SUITE_P: each case named after its parameter's `name`.
struct ByParamName {
    template <typename Param>
    std::string operator()(const testing::TestParamInfo<Param>& info) const {
        return TestName(info.param.name);
    }
};

// For INSTANTIATE_TEST_SUITE_P over texts: each case named after its text.
struct ByParam {
    std::string operator()(const testing::TestParamInfo<std::string>& info) const {
        return TestName(info.param);
    }
};

}  // namespace TestingSupport
