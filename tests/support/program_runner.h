// Starting Zentrel from a test, on either build: the few operations of the operating system the
// program tests need. Natively the program gets the data folder through XDG_DATA_HOME; under Wine
// it finds the prefix's own local application-data folder, which the tests fill instead.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace ProgramTests {

// The local application-data folder the program will look in: natively a folder inside
// `scratch`, on Windows the user's real one (shared by every program test of the prefix).
std::filesystem::path DataFolderForProgram(const std::filesystem::path& scratch);

// Where the built programs are: bin/, beside the test programs' own folder.
std::filesystem::path ProgramFolder();

// The built program's file name, "Zentrel" or "Zentrel.exe".
std::filesystem::path ProgramPath(const std::string& name);

// One started program. Natively its environment is the test's, with the data folder set and the
// locale variables replaced by LC_ALL=C; standard input is empty, and standard output and error
// both go to `output`.
class CRunningProgram {
  public:
    CRunningProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                    const std::filesystem::path& dataFolder, const std::filesystem::path& output);
    // Kills the program if it is still running, so that no test leaves one behind.
    ~CRunningProgram();
    CRunningProgram(const CRunningProgram&) = delete;
    CRunningProgram& operator=(const CRunningProgram&) = delete;

    bool Started() const;
    // True when the program ended within `limit`, with its exit status.
    bool WaitFor(std::chrono::milliseconds limit, int& exitStatus);
    // Ends the program at once (SIGKILL, TerminateProcess) and waits for it. True when it was
    // still running, false when it had already ended by itself.
    bool Kill();
    // The program's process id.
    unsigned long Id() const;

  private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace ProgramTests
