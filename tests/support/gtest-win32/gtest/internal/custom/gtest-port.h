// GoogleTest's own platform hook, found before the stock one when the tests are built for
// Windows. The win32 thread model of mingw-w64 (which keeps the programs loadable on Windows XP)
// has no std::mutex or std::condition_variable before GCC 13; GoogleTest uses them only for the
// Notification that starts its threads, so that one class is made of a Win32 event instead.
#pragma once

#if defined(_WIN32)
#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
  public:
    Notification() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { CloseHandle(event_); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { SetEvent(event_); }
    void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

  private:
    HANDLE event_;
};

}  // namespace testing::internal
#endif
