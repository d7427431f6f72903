// The records the Windows platform hands to the shell: a dialog from either start would hold an
// unattended install, and Wine never shows these dialogs, so only the masks can be checked.
#include <gtest/gtest.h>

#include "platform_win32.h"

namespace SetupLauncher {
namespace {

TEST(SetupShellRecords, NeitherStartCanWaitForAClick) {
    const std::wstring file = LR"(C:\pkg\a.exe)";
    const std::wstring parameters = L"/passive";
    const SHELLEXECUTEINFOW start = ProgramStartRecord(file, parameters);
    const SHELLEXECUTEINFOW open = DocumentOpenRecord(file);
    for (const SHELLEXECUTEINFOW* record : {&start, &open}) {
        EXPECT_EQ(record->cbSize, sizeof(SHELLEXECUTEINFOW));
        EXPECT_EQ(record->lpFile, file.c_str());
        EXPECT_EQ(record->lpDirectory, nullptr);
    }
    EXPECT_EQ(start.fMask, static_cast<ULONG>(SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI |
                                              SEE_MASK_NOZONECHECKS));
    EXPECT_EQ(start.lpVerb, nullptr);
    EXPECT_EQ(start.lpParameters, parameters.c_str());
    EXPECT_EQ(start.nShow, SW_SHOW);
    // Opened, not waited for: no process handle is asked for.
    EXPECT_EQ(open.fMask,
              static_cast<ULONG>(SEE_MASK_FLAG_NO_UI | SEE_MASK_NOZONECHECKS | SEE_MASK_NOASYNC));
    EXPECT_STREQ(open.lpVerb, L"open");
    EXPECT_EQ(open.lpParameters, nullptr);
    EXPECT_EQ(open.hwnd, GetDesktopWindow());
    EXPECT_EQ(open.nShow, SW_SHOWNORMAL);
}

}  // namespace
}  // namespace SetupLauncher
