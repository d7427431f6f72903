// Helpers of the engine tests: folder listings, and a file system that fails or "crashes" at a
// chosen step.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ini_store_posix.h"

namespace engine_support {

inline std::set<std::string> Names(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// Passes every call on to the real file system, except that step `failAt` (counting from 0)
// returns `failError` without doing anything, and after step `crashAfter` nothing happens any
// more, as if the process had died there. With `failRenameOnto` set, the rename numbered
// `failRenameNumber` (from 0) of those onto a name ending so fails: the last step of one write.
class FaultyFileSystem final : public NGUtils::IniEngine::IFileSystem {
  public:
    explicit FaultyFileSystem(
        NGUtils::IniEngine::IFileSystem& real = NGUtils::IniEngine::RealFileSystem())
        : real_(&real) {}

    int failAt = -1;
    int failError = EIO;
    int crashAfter = -1;
    bool refuseTempFiles = false;  // as a folder the user may not write
    bool denyWrite = false;        // as a file of another user
    std::size_t writeLimit = 16;   // short writes, so a write takes several steps
    std::string failRenameOnto;
    int failRenameNumber = -1;
    int renamesOnto = 0;  // renames onto failRenameOnto so far
    int steps = 0;
    std::vector<std::string> log;

    int OpenRead(const std::string& path, int& fd) override {
        return Step("OpenRead", [&] { return Real().OpenRead(path, fd); });
    }
    int CreateNew(const std::string& path, unsigned mode, int& fd) override {
        return Step("CreateNew",
                    [&] { return refuseTempFiles ? EACCES : Real().CreateNew(path, mode, fd); });
    }
    int OpenWrite(const std::string& path, int& fd) override {
        return Step("OpenWrite", [&] { return Real().OpenWrite(path, fd); });
    }
    int Read(int fd, char* buffer, std::size_t size, std::size_t& count) override {
        return Step("Read", [&] { return Real().Read(fd, buffer, size, count); });
    }
    int WriteAt(int fd, const char* data, std::size_t size, std::uint64_t offset,
                std::size_t& count) override {
        return Step("WriteAt", [&] {
            return Real().WriteAt(fd, data, std::min(size, writeLimit), offset, count);
        });
    }
    int Stat(int fd, NGUtils::IniEngine::FileStatus& status) override {
        return Step("Stat", [&] { return Real().Stat(fd, status); });
    }
    int ReadLink(const std::string& path, std::string& target) override {
        return Step("ReadLink", [&] { return Real().ReadLink(path, target); });
    }
    int CheckWritable(const std::string& path) override {
        return Step("CheckWritable",
                    [&] { return denyWrite ? EACCES : Real().CheckWritable(path); });
    }
    int SetMode(int fd, unsigned mode) override {
        return Step("SetMode", [&] { return Real().SetMode(fd, mode); });
    }
    int SetOwner(int fd, unsigned owner, unsigned group) override {
        return Step("SetOwner", [&] { return Real().SetOwner(fd, owner, group); });
    }
    int Reserve(int fd, std::uint64_t length) override {
        return Step("Reserve", [&] { return Real().Reserve(fd, length); });
    }
    int Truncate(int fd, std::uint64_t length) override {
        return Step("Truncate", [&] { return Real().Truncate(fd, length); });
    }
    int Sync(int fd) override {
        return Step("Sync", [&] { return Real().Sync(fd); });
    }
    int Close(int fd) override {
        // The descriptor goes in any case, or the test process would run out of them; closing
        // changes nothing on disk.
        const bool alive = crashAfter < 0 || steps <= crashAfter;
        const int result = Step("Close", [] { return 0; });
        Real().Close(fd);
        return alive ? result : EIO;
    }
    int Rename(const std::string& from, const std::string& to) override {
        if (!failRenameOnto.empty() && to.ends_with(failRenameOnto) &&
            renamesOnto++ == failRenameNumber) {
            return Step("Rename", [] { return EIO; });
        }
        return Step("Rename", [&] { return Real().Rename(from, to); });
    }
    int SyncFolder(const std::string& folder) override {
        return Step("SyncFolder", [&] { return Real().SyncFolder(folder); });
    }
    int Unlink(const std::string& path) override {
        return Step("Unlink", [&] { return Real().Unlink(path); });
    }

  private:
    NGUtils::IniEngine::IFileSystem& Real() { return *real_; }

    NGUtils::IniEngine::IFileSystem* real_;

    template <typename Operation>
    int Step(const char* name, Operation operation) {
        const int index = steps++;
        if (crashAfter >= 0 && index > crashAfter) {
            return EIO;
        }
        log.emplace_back(name);
        return index == failAt ? failError : operation();
    }
};

}  // namespace engine_support
