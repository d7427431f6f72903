// A file system for the POSIX INI engine that passes every call on to another one, the real one
// unless told otherwise. Tests derive from it and override only the calls they change, or Pass
// to see every call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "file_system.h"

namespace TestingSupport {

class CForwardingFileSystem : public PosixFiles::IFileSystem {
  public:
    using FileStatus = PosixFiles::FileStatus;
    using OpenKind = PosixFiles::OpenKind;
    using RenameMode = PosixFiles::RenameMode;

    explicit CForwardingFileSystem(
        PosixFiles::IFileSystem& target = PosixFiles::RealFileSystem())
        : m_target(&target) {}

    int OpenAt(int folder, const std::string& name, OpenKind kind, int& fd) override {
        return Pass("OpenAt", [&] { return Target().OpenAt(folder, name, kind, fd); });
    }
    int OpenFolderWithoutLinks(const std::string& path, int& fd) override {
        return Pass("OpenFolderWithoutLinks",
                    [&] { return Target().OpenFolderWithoutLinks(path, fd); });
    }
    int CreateAt(int folder, const std::string& name, unsigned mode, int& fd) override {
        return Pass("CreateAt", [&] { return Target().CreateAt(folder, name, mode, fd); });
    }
    int Read(int fd, char* buffer, std::size_t size, std::size_t& count) override {
        return Pass("Read", [&] { return Target().Read(fd, buffer, size, count); });
    }
    int WriteAt(int fd, const char* data, std::size_t size, std::uint64_t offset,
                std::size_t& count) override {
        return Pass("WriteAt", [&] { return Target().WriteAt(fd, data, size, offset, count); });
    }
    int Stat(int fd, FileStatus& status) override {
        return Pass("Stat", [&] { return Target().Stat(fd, status); });
    }
    int StatAt(int folder, const std::string& name, FileStatus& status) override {
        return Pass("StatAt", [&] { return Target().StatAt(folder, name, status); });
    }
    int ReadLink(int fd, std::string& target) override {
        return Pass("ReadLink", [&] { return Target().ReadLink(fd, target); });
    }
    int SetMode(int fd, unsigned mode) override {
        return Pass("SetMode", [&] { return Target().SetMode(fd, mode); });
    }
    int SetOwner(int fd, unsigned owner, unsigned group) override {
        return Pass("SetOwner", [&] { return Target().SetOwner(fd, owner, group); });
    }
    int ListAttributes(int fd, std::string& names) override {
        return Pass("ListAttributes", [&] { return Target().ListAttributes(fd, names); });
    }
    int GetAttribute(int fd, const std::string& name, std::string& value) override {
        return Pass("GetAttribute", [&] { return Target().GetAttribute(fd, name, value); });
    }
    int SetAttribute(int fd, const std::string& name, const std::string& value) override {
        return Pass("SetAttribute", [&] { return Target().SetAttribute(fd, name, value); });
    }
    int RemoveAttribute(int fd, const std::string& name) override {
        return Pass("RemoveAttribute", [&] { return Target().RemoveAttribute(fd, name); });
    }
    int Reserve(int fd, std::uint64_t length) override {
        return Pass("Reserve", [&] { return Target().Reserve(fd, length); });
    }
    int Truncate(int fd, std::uint64_t length) override {
        return Pass("Truncate", [&] { return Target().Truncate(fd, length); });
    }
    int Sync(int fd) override {
        return Pass("Sync", [&] { return Target().Sync(fd); });
    }
    int Close(int fd) override {
        return Pass("Close", [&] { return Target().Close(fd); });
    }
    int RenameAt(int folder, const std::string& from, const std::string& to,
                 RenameMode mode) override {
        return Pass("RenameAt", [&] { return Target().RenameAt(folder, from, to, mode); });
    }
    int SyncFolder(int folder) override {
        return Pass("SyncFolder", [&] { return Target().SyncFolder(folder); });
    }
    int UnlinkAt(int folder, const std::string& name) override {
        return Pass("UnlinkAt", [&] { return Target().UnlinkAt(folder, name); });
    }
    int ListFolder(int folder, std::vector<std::string>& names, bool& appendOnly) override {
        return Pass("ListFolder", [&] { return Target().ListFolder(folder, names, appendOnly); });
    }
    int LockFile(int fd, bool wait) override {
        return Pass("LockFile", [&] { return Target().LockFile(fd, wait); });
    }

  protected:
    // Every call comes through here, named as above; `call` makes it on the target.
    virtual int Pass(const char* /*operation*/, const std::function<int()>& call) { return call(); }
    PosixFiles::IFileSystem& Target() { return *m_target; }

  private:
    PosixFiles::IFileSystem* m_target;
};

}  // namespace TestingSupport
