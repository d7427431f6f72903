// The naming rule of the existence test on Windows.
#include <gtest/gtest.h>

#include <string>

#include "platform_win32.h"

namespace {

using Zentrel::Win32::ExtendedLengthCandidate;

TEST(ZentrelExtendedLengthCandidateTest, NetworkPathsKeepTheirForm) {
    const std::wstring prefix = L"\\\\?\\";
    EXPECT_EQ(ExtendedLengthCandidate(L"\\\\server\\share\\a.ini"), L"\\\\server\\share\\a.ini");
    EXPECT_EQ(ExtendedLengthCandidate(L"\\\\"), prefix + L"\\\\");
    EXPECT_EQ(ExtendedLengthCandidate(L"C:\\a.ini"), prefix + L"C:\\a.ini");
    EXPECT_EQ(ExtendedLengthCandidate(L"\\Tarvex"), prefix + L"\\Tarvex");
}

}  // namespace
