// The support log: off unless the environment variable TARVEX_HELPERS_LOG names a file. Then each
// program appends to it what it found, did and skipped, and why, one line per decision, for the
// people who support the driver; the packages Setup starts inherit the variable, so one file can
// tell a whole installation. No setting's value is ever written.
//
// The log is a piece of process state of its own: the routines write to it and never read from
// it, so nothing they do depends on it. A log that cannot be opened or written is given up
// without a word, and the run goes on as without it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace SupportLog {

inline constexpr const char* kVariable = "TARVEX_HELPERS_LOG";

class CLog {
  public:
    // Opens the log the environment names, if any, and writes the first line: the program, its
    // version, the time, the command line, the Windows version as the program sees it and the
    // user's data folder.
    void Start(std::string_view program, int argc, const char* const* argv) noexcept;

    // The last line, with the run's total time; the log is then written out and closed.
    void Finish() noexcept;

    bool IsOn() const noexcept;

    // Appends one line of UTF-8 text; nothing when the log is off.
    void Write(std::string_view text) noexcept;

    // Makes what was written survive a crash of the system: before each package starts.
    void Flush() noexcept;

    // Milliseconds on a clock that only goes forward, for the time a package ran.
    std::uint64_t Milliseconds() const noexcept;

    // The changes made to the settings file being migrated, counted for its line.
    void ResetChangeCounts() noexcept;
    void NoteSectionDeleted() noexcept;
    void NoteKeyWritten() noexcept;
    std::string ChangeCounts() const;

  private:
    void GiveUp() noexcept;

    std::intptr_t m_file = -1;
    std::string m_program;
    std::uint64_t m_started = 0;
    int m_sectionsDeleted = 0;
    int m_keysWritten = 0;
};

// The log of this process.
extern CLog g_supportLog;

// Starts the log when main begins and ends it when main returns.
class CRun {
  public:
    CRun(std::string_view program, int argc, const char* const* argv) noexcept {
        g_supportLog.Start(program, argc, argv);
    }
    ~CRun() { g_supportLog.Finish(); }
    CRun(const CRun&) = delete;
    CRun& operator=(const CRun&) = delete;
};

// A name in double quotes, so that one with blanks reads as one.
std::string Quoted(std::string_view text);
// A wide path as UTF-8, the same way.
std::string Quoted(std::wstring_view text);
// Wide text as UTF-8; lone surrogates (Windows names) and escaped bytes (POSIX names) keep a form
// of their own.
std::string Utf8(std::wstring_view text);

// What the log asks of the system: support_log_win32.cpp and support_log_posix.cpp.
namespace System {

inline constexpr std::intptr_t kNoLogFile = -1;

// The file the variable names, opened to append; kNoLogFile when the variable is unset or empty,
// or names a folder, a device, a pipe, another user's file, a file with several names, a
// read-only file, or anything that does not open; links are followed only by the owner rule of
// the programs' POSIX files (never another user's link to a file not theirs). A new file on Windows
// starts with a BOM.
std::intptr_t OpenRequestedLog() noexcept;
// One write of the whole line: a line is never cut into another program's line.
bool AppendLine(std::intptr_t file, std::string_view line) noexcept;
void FlushLog(std::intptr_t file) noexcept;
void CloseLog(std::intptr_t file) noexcept;

const char* LineEnd() noexcept;
// The time now in UTC, as the system's clock gives it.
struct UtcTime {
    unsigned year, month, day, hour, minute, second, millisecond;
};
UtcTime UtcNow() noexcept;
std::uint64_t Milliseconds() noexcept;
std::uint32_t ProcessId() noexcept;
std::string CommandLine(int argc, const char* const* argv);
std::string SystemVersion();
std::string DataFolder();

// What a path that is no settings file is: for the line that says why it was passed over.
bool PathExists(const std::wstring& path) noexcept;
bool IsReadOnlyFile(const std::wstring& path) noexcept;

}  // namespace System

}  // namespace SupportLog
