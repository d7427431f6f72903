// A file system for the engine tests that fails or "crashes" at a chosen step.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "forwarding_file_system.h"
#include "ini_store_posix.h"

namespace EngineSupport {

// Passes every call on to the real file system, except that step `failAt` (counting from 0)
// returns `failError` without doing anything, and after step `crashAfter` nothing happens any
// more, as if the process had died there. `meanwhile` runs just before step `meanwhileAt`, as
// another process would.
class CFaultyFileSystem : public TestingSupport::CForwardingFileSystem {
  public:
    explicit CFaultyFileSystem(
        PosixFiles::IFileSystem& real = PosixFiles::RealFileSystem())
        : CForwardingFileSystem(real) {}

    int failAt = -1;
    int failError = EIO;
    int crashAfter = -1;
    bool refuseTempFiles = false;  // as a folder the user may not write
    bool denyWrite = false;        // as a file of another user
    std::size_t writeLimit = 16;   // short writes, so a write takes several steps
    int meanwhileAt = -1;
    std::function<void()> meanwhile;
    int steps = 0;
    std::vector<std::string> log;

    int OpenAt(int folder, const std::string& name, OpenKind kind, int& fd) override {
        if (denyWrite && kind == OpenKind::ReadWrite) {
            return Pass("OpenAt", [] { return EACCES; });
        }
        return CForwardingFileSystem::OpenAt(folder, name, kind, fd);
    }
    int CreateAt(int folder, const std::string& name, unsigned mode, int& fd) override {
        if (refuseTempFiles) {
            return Pass("CreateAt", [] { return EACCES; });
        }
        return CForwardingFileSystem::CreateAt(folder, name, mode, fd);
    }
    int WriteAt(int fd, const char* data, std::size_t size, std::uint64_t offset,
                std::size_t& count) override {
        return CForwardingFileSystem::WriteAt(fd, data, std::min(size, writeLimit), offset, count);
    }
    int Close(int fd) override {
        // The descriptor goes in any case, or the test process would run out of them; closing
        // changes nothing on disk.
        const bool alive = crashAfter < 0 || steps <= crashAfter;
        const int result = Pass("Close", [] { return 0; });
        Target().Close(fd);
        return alive ? result : EIO;
    }

  protected:
    int Pass(const char* operation, const std::function<int()>& call) override {
        const int index = steps++;
        if (crashAfter >= 0 && index > crashAfter) {
            return EIO;
        }
        log.emplace_back(operation);
        if (index == meanwhileAt && meanwhile) {
            meanwhile();
        }
        return index == failAt ? failError : call();
    }
};

}  // namespace EngineSupport
