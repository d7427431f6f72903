// The engine's file system, wrapped: every call passes through a file system that fails the
// chosen rename of a new version onto the settings file, after its bytes were written and
// flushed, so the write fails part-way through.
#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>

#include "forwarding_file_system.h"
#include "write_faults.h"

namespace {

// Fails the rename numbered `failRenameNumber` (from 0) of those onto a path ending in
// `failRenameOnto`: the last step of one write.
class RenameFaults final : public testing_support::ForwardingFileSystem {
  public:
    using ForwardingFileSystem::ForwardingFileSystem;

    std::string failRenameOnto;
    int failRenameNumber = -1;
    int renamesOnto = 0;  // renames onto failRenameOnto so far

    int RenameAt(int folder, const std::string& from, const std::string& to,
                 RenameMode mode) override {
        if (!failRenameOnto.empty() && PathOf(folder, to).ends_with(failRenameOnto) &&
            renamesOnto++ == failRenameNumber) {
            return EIO;
        }
        return ForwardingFileSystem::RenameAt(folder, from, to, mode);
    }

  private:
    static std::string PathOf(int folder, const std::string& name) {
        std::error_code error;
        const std::filesystem::path at =
            folder == NGUtils::IniEngine::kCurrentFolder
                ? std::filesystem::current_path(error)
                : std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(folder), error);
        return (at / name).string();
    }
};

}  // namespace

// The linker's names for NGUtils::IniEngine::RealFileSystem() and the original it wraps.
extern "C" NGUtils::IniEngine::IFileSystem& __real__ZN7NGUtils9IniEngine14RealFileSystemEv();

namespace {

RenameFaults& Faulty() {
    static RenameFaults system(__real__ZN7NGUtils9IniEngine14RealFileSystemEv());
    return system;
}

}  // namespace

extern "C" NGUtils::IniEngine::IFileSystem& __wrap__ZN7NGUtils9IniEngine14RealFileSystemEv() {
    return Faulty();
}

namespace ZentrelTest {

void FailWriteTo(const std::string& folder, int number) {
    RenameFaults& system = Faulty();
    system.failRenameOnto = "/" + folder + "/Velmora.ini";
    system.failRenameNumber = number;
    system.renamesOnto = 0;
}

int WritesCounted() {
    return Faulty().renamesOnto;
}

}  // namespace ZentrelTest
