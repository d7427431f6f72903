// The engine's file system, wrapped: every call passes through a FaultyFileSystem that fails the
// chosen rename of a new version onto the settings file, after its bytes were written and
// flushed, so the write fails part-way through.
#include <cstddef>
#include <limits>

#include "engine_support.h"
#include "write_faults.h"

// The linker's names for NGUtils::IniEngine::RealFileSystem() and the original it wraps.
extern "C" NGUtils::IniEngine::IFileSystem& __real__ZN7NGUtils9IniEngine14RealFileSystemEv();

namespace {

engine_support::FaultyFileSystem& Faulty() {
    static engine_support::FaultyFileSystem system(
        __real__ZN7NGUtils9IniEngine14RealFileSystemEv());
    system.writeLimit = std::numeric_limits<std::size_t>::max();
    // Only the failure matters here; the step log would only grow.
    system.log.clear();
    return system;
}

}  // namespace

extern "C" NGUtils::IniEngine::IFileSystem& __wrap__ZN7NGUtils9IniEngine14RealFileSystemEv() {
    return Faulty();
}

namespace ZentrelTest {

void FailWriteTo(const std::string& folder, int number) {
    engine_support::FaultyFileSystem& system = Faulty();
    system.failRenameOnto = "/" + folder + "/Velmora.ini";
    system.failRenameNumber = number;
    system.renamesOnto = 0;
}

int WritesCounted() {
    return Faulty().renamesOnto;
}

}  // namespace ZentrelTest
