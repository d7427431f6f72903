// The rules of the Windows platform: the naming rule of the existence test, and the step that
// puts a working copy in a settings file's place, through a stand-in of its system calls.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform_win32.h"

namespace {

using Zentrel::StepOutcome;
using Zentrel::WindowsRules::ExtendedLengthCandidate;

TEST(ZentrelExtendedLengthCandidateTest, NetworkPathsKeepTheirForm) {
    const std::wstring prefix = L"\\\\?\\";
    EXPECT_EQ(ExtendedLengthCandidate(L"\\\\server\\share\\a.ini"), L"\\\\server\\share\\a.ini");
    EXPECT_EQ(ExtendedLengthCandidate(L"\\\\"), prefix + L"\\\\");
    EXPECT_EQ(ExtendedLengthCandidate(L"C:\\a.ini"), prefix + L"C:\\a.ini");
    EXPECT_EQ(ExtendedLengthCandidate(L"\\Tarvex"), prefix + L"\\Tarvex");
}

// Records every call and answers with the errors it was given.
class CRecordedCalls : public Zentrel::WindowsRules::IStepCalls {
  public:
    std::uint32_t replaceError = 0;
    std::uint32_t moveError = 0;
    std::uint32_t rewriteError = 0;
    std::vector<std::wstring> calls;

    std::uint32_t Replace(const std::wstring& file, const std::wstring& replacement,
                          std::uint32_t flags) override {
        calls.push_back(L"replace " + file + L" by " + replacement + L" " + std::to_wstring(flags));
        return replaceError;
    }
    std::uint32_t Move(const std::wstring& from, const std::wstring& to,
                       std::uint32_t flags) override {
        calls.push_back(L"move " + from + L" to " + to + L" " + std::to_wstring(flags));
        return moveError;
    }
    std::uint32_t Rewrite(const std::wstring& file, const std::string& bytes) override {
        calls.push_back(L"rewrite " + file + L" " + std::to_wstring(bytes.size()));
        return rewriteError;
    }
};

// ReplaceFileW without backup or write-through; its documented recovery moves the working copy
// to the file's name and never removes it; where it cannot serve, one rewrite in place.
TEST(ZentrelWin32Step, ReplacesMovesAfterTheDocumentedErrorsAndElseRewritesInPlace) {
    const std::wstring file = L"C:\\d\\Velmora.ini";
    const std::wstring copy = L"C:\\d\\.Velmora.ini.zentrel.0000002a.00000001.tmp";
    const std::wstring replace = L"replace " + file + L" by " + copy + L" 0";
    const std::wstring move = L"move " + copy + L" to " + file + L" 8";
    const std::wstring rewrite = L"rewrite " + file + L" 3";
    struct Case {
        bool besideFile;
        std::uint32_t replaceError;
        std::uint32_t moveError;
        std::uint32_t rewriteError;
        StepOutcome outcome;
        std::vector<std::wstring> calls;
    };
    const Case cases[] = {
        {true, 0, 0, 0, StepOutcome::Done, {replace}},
        {true, 1176, 0, 0, StepOutcome::Done, {replace, move}},
        {true, 1177, 0, 0, StepOutcome::Done, {replace, move}},
        {true, 1177, 5, 0, StepOutcome::Stranded, {replace, move}},
        {true, 1175, 0, 0, StepOutcome::Done, {replace, rewrite}},
        {true, 5, 0, 5, StepOutcome::Failed, {replace, rewrite}},
        {false, 0, 0, 0, StepOutcome::Done, {rewrite}},
        {false, 0, 0, 32, StepOutcome::Failed, {rewrite}},
    };
    for (const Case& c : cases) {
        CRecordedCalls calls;
        calls.replaceError = c.replaceError;
        calls.moveError = c.moveError;
        calls.rewriteError = c.rewriteError;
        EXPECT_EQ(
            Zentrel::WindowsRules::PutWorkingCopyInPlace(calls, file, copy, c.besideFile, "new"),
            c.outcome)
            << c.replaceError << " " << c.moveError;
        EXPECT_EQ(calls.calls, c.calls) << c.replaceError << " " << c.moveError;
    }
}

}  // namespace
