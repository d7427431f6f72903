// Helpers of the engine tests: folder listings, and a file system that fails or "crashes" at a
// chosen step.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
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
// more, as if the process had died there. `meanwhile` runs just before step `meanwhileAt`, as
// another process would. With `failRenameOnto` set, the rename numbered `failRenameNumber` (from
// 0) of those onto a path ending so fails: the last step of one write.
class FaultyFileSystem : public NGUtils::IniEngine::IFileSystem {
  public:
    using OpenKind = NGUtils::IniEngine::OpenKind;

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
    int meanwhileAt = -1;
    std::function<void()> meanwhile;
    int steps = 0;
    std::vector<std::string> log;

    int OpenAt(int folder, const std::string& name, OpenKind kind, int& fd) override {
        return Step("OpenAt", [&] {
            return denyWrite && kind == OpenKind::ReadWrite ? EACCES
                                                            : Real().OpenAt(folder, name, kind, fd);
        });
    }
    int OpenFolderWithoutLinks(const std::string& path, int& fd) override {
        return Step("OpenFolderWithoutLinks",
                    [&] { return Real().OpenFolderWithoutLinks(path, fd); });
    }
    int CreateAt(int folder, const std::string& name, unsigned mode, int& fd) override {
        return Step("CreateAt", [&] {
            return refuseTempFiles ? EACCES : Real().CreateAt(folder, name, mode, fd);
        });
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
    int StatAt(int folder, const std::string& name,
               NGUtils::IniEngine::FileStatus& status) override {
        return Step("StatAt", [&] { return Real().StatAt(folder, name, status); });
    }
    int ReadLink(int fd, std::string& target) override {
        return Step("ReadLink", [&] { return Real().ReadLink(fd, target); });
    }
    int SetMode(int fd, unsigned mode) override {
        return Step("SetMode", [&] { return Real().SetMode(fd, mode); });
    }
    int SetOwner(int fd, unsigned owner, unsigned group) override {
        return Step("SetOwner", [&] { return Real().SetOwner(fd, owner, group); });
    }
    int ListAttributes(int fd, std::string& names) override {
        return Step("ListAttributes", [&] { return Real().ListAttributes(fd, names); });
    }
    int GetAttribute(int fd, const std::string& name, std::string& value) override {
        return Step("GetAttribute", [&] { return Real().GetAttribute(fd, name, value); });
    }
    int SetAttribute(int fd, const std::string& name, const std::string& value) override {
        return Step("SetAttribute", [&] { return Real().SetAttribute(fd, name, value); });
    }
    int RemoveAttribute(int fd, const std::string& name) override {
        return Step("RemoveAttribute", [&] { return Real().RemoveAttribute(fd, name); });
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
    int RenameAt(int folder, const std::string& from, const std::string& to,
                 NGUtils::IniEngine::RenameMode mode) override {
        if (!failRenameOnto.empty() && PathOf(folder, to).ends_with(failRenameOnto) &&
            renamesOnto++ == failRenameNumber) {
            return Step("RenameAt", [] { return EIO; });
        }
        return Step("RenameAt", [&] { return Real().RenameAt(folder, from, to, mode); });
    }
    int SyncFolder(int folder) override {
        return Step("SyncFolder", [&] { return Real().SyncFolder(folder); });
    }
    int UnlinkAt(int folder, const std::string& name) override {
        return Step("UnlinkAt", [&] { return Real().UnlinkAt(folder, name); });
    }
    int ListFolder(int folder, std::vector<std::string>& names, bool& appendOnly) override {
        return Step("ListFolder", [&] { return Real().ListFolder(folder, names, appendOnly); });
    }
    int LockFile(int fd, bool wait) override {
        return Step("LockFile", [&] { return Real().LockFile(fd, wait); });
    }

  private:
    NGUtils::IniEngine::IFileSystem& Real() { return *real_; }

    static std::string PathOf(int folder, const std::string& name) {
        std::error_code error;
        const std::filesystem::path at =
            folder == NGUtils::IniEngine::kCurrentFolder
                ? std::filesystem::current_path(error)
                : std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(folder), error);
        return (at / name).string();
    }

    NGUtils::IniEngine::IFileSystem* real_;

    template <typename Operation>
    int Step(const char* name, Operation operation) {
        const int index = steps++;
        if (crashAfter >= 0 && index > crashAfter) {
            return EIO;
        }
        log.emplace_back(name);
        if (index == meanwhileAt && meanwhile) {
            meanwhile();
        }
        return index == failAt ? failError : operation();
    }
};

}  // namespace engine_support
