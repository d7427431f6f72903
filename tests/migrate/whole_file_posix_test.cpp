// Whole or nothing on POSIX, where the migration's reads and its one write go through the engine's
// file-system seam: nothing found beside a settings file ever comes into it, a file that cannot
// be read or written stays as it was, and a file is never left half migrated.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "files.h"
#include "forwarding_file_system.h"
#include "migration.h"
#include "platform_posix.h"
#include "write_faults.h"

namespace {

namespace fs = std::filesystem;
using TestingSupport::Names;
using TestingSupport::ReadBytes;
using TestingSupport::WriteBytes;

const std::string kModel = "Tarvex Feedline K7740 sx2";
const std::string kBefore =
    "[General]\nVersion=4\n[Other]\nLegacyPort=9100\n[SCAN_PROFILE_0]\nACD_Sensitivity=20\n"
    "ZonalOCRLanguage=1031\n[TWAIN_PROFILE_0]\nACD_Sensitivity=40\n[MultiThread_Features]\n"
    "AutoOrient=0\n";

// Fails the read numbered `failRead` (from 0) with EIO, or refuses every new file as a folder
// the user may not write does.
class CFaultyFiles : public TestingSupport::CForwardingFileSystem {
  public:
    int failRead = -1;
    int reads = 0;
    bool refuseNewFiles = false;

    int Read(int fd, char* buffer, std::size_t size, std::size_t& count) override {
        if (reads++ == failRead) {
            return EIO;
        }
        return CForwardingFileSystem::Read(fd, buffer, size, count);
    }
    int CreateAt(int folder, const std::string& name, unsigned mode, int& fd) override {
        return refuseNewFiles ? EACCES : CForwardingFileSystem::CreateAt(folder, name, mode, fd);
    }
};

class CFaultyFilePlatform : public ZentrelTest::CFaultyWrites {
  public:
    using CFaultyWrites::CFaultyWrites;
    CFaultyFiles files;

    bool ReadSettingsFile(const std::wstring& file, Zentrel::SettingsSnapshot& snapshot) override {
        return Zentrel::Posix::ReadSettingsFile(files, file, snapshot);
    }
    Zentrel::StepOutcome PutInPlace(const std::wstring& workingCopy, const std::wstring& file,
                                    const Zentrel::SettingsSnapshot& snapshot) override {
        return Zentrel::Posix::PutInPlace(files, workingCopy, file, snapshot);
    }
};

class ZentrelWholeFilePosix : public ::testing::Test {
  protected:
    fs::path Folder() const { return m_folder.Path() / "Tarvex" / "Tarvex Scan Twain" / kModel; }
    fs::path File() const { return Folder() / "Velmora.ini"; }
    void Run() { Zentrel::RunNetworkVariant(m_platform); }
    // What a run makes of `bytes`, found in a folder of its own.
    std::string Migrated(const std::string& bytes) {
        const TestingSupport::CTempFolder other;
        ZentrelTest::CStandInPlatform platform(TestingSupport::WidePath(other.Path()), 0x0407);
        const fs::path file =
            other.Path() / "Tarvex" / "Tarvex Scan Twain" / kModel / "Velmora.ini";
        WriteBytes(file, bytes);
        Zentrel::RunNetworkVariant(platform);
        return ReadBytes(file);
    }

    TestingSupport::CTempFolder m_folder;
    CFaultyFilePlatform m_platform{TestingSupport::WidePath(m_folder.Path()), 0x0407};
};

// What a run stopped half-way left beside the file in earlier versions, or what someone planted
// under that name, is never put back: the file is migrated from its own bytes, newer ones
// included, and the planted thing stays as it is.
TEST_F(ZentrelWholeFilePosix, NothingBesideTheFileIsPutBackIntoIt) {
    const std::string edited = kBefore + "[Saved]\nLater=1\n";
    const std::string expected = Migrated(edited);
    const fs::path kept = Folder() / ".Velmora.ini.unmigrated";
    const fs::path secret = m_folder.Path() / "secret.ini";
    struct Plant {
        const char* what;
        void (*make)(const fs::path& kept, const fs::path& secret);
    };
    const Plant plants[] = {
        {"a stale copy", [](const fs::path& at, const fs::path&) { WriteBytes(at, kBefore); }},
        {"a hard link to another file",
         [](const fs::path& at, const fs::path& secret) { fs::create_hard_link(secret, at); }},
        {"a FIFO", [](const fs::path& at, const fs::path&) { ::mkfifo(at.c_str(), 0600); }},
        {"a folder", [](const fs::path& at, const fs::path&) { fs::create_directory(at); }},
        {"another user's copy",
         [](const fs::path& at, const fs::path&) {
             WriteBytes(at, "[Other]\nPlanted=1\n");
             if (::chown(at.c_str(), 65534, 65534) != 0) {
                 fs::remove(at);
             }
         }},
    };
    for (const Plant& plant : plants) {
        WriteBytes(secret, "[Secret]\nKey=1\n");
        WriteBytes(File(), edited);
        plant.make(kept, secret);
        ASSERT_TRUE(fs::exists(fs::symlink_status(kept)) || ::geteuid() != 0) << plant.what;
        const fs::file_status before = fs::symlink_status(kept);
        Run();
        EXPECT_EQ(ReadBytes(File()), expected) << plant.what;
        EXPECT_EQ(fs::symlink_status(kept).type(), before.type()) << plant.what;
        EXPECT_EQ(ReadBytes(secret), "[Secret]\nKey=1\n") << plant.what;
        fs::remove_all(kept);
    }
}

// A file that may not be written gets nothing beside it that could come back the day it may:
// the user's later edits stay, and the next run migrates from them.
TEST_F(ZentrelWholeFilePosix, AFileThatMayNotBeWrittenIsLeftAsItIsWithNothingBesideIt) {
    WriteBytes(File(), kBefore);
    fs::permissions(File(), fs::perms::owner_read | fs::perms::group_read);
    Run();
    EXPECT_EQ(ReadBytes(File()), kBefore);
    EXPECT_EQ(Names(Folder()), std::set<std::string>{"Velmora.ini"});
    fs::permissions(File(), fs::perms::owner_read | fs::perms::owner_write);
    const std::string edited = kBefore + "[Saved]\nLater=1\n";
    WriteBytes(File(), edited);
    Run();
    EXPECT_EQ(ReadBytes(File()), Migrated(edited));

    WriteBytes(File(), kBefore);
    const int fd = ::open(File().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_NE(fd, -1);
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0 ||
        (flags |= FS_IMMUTABLE_FL, ::ioctl(fd, FS_IOC_SETFLAGS, &flags)) != 0) {
        const int error = errno;
        ::close(fd);
        GTEST_SKIP() << "no immutable file here (the file system lacks the flag, or it needs "
                        "CAP_LINUX_IMMUTABLE): "
                     << std::strerror(error);
    }
    Run();
    flags &= ~FS_IMMUTABLE_FL;
    EXPECT_EQ(::ioctl(fd, FS_IOC_SETFLAGS, &flags), 0);
    ::close(fd);
    EXPECT_EQ(ReadBytes(File()), kBefore);
    EXPECT_EQ(Names(Folder()), std::set<std::string>{"Velmora.ini"});
}

// A read that fails is no missing key: whichever read of the file fails, before the working copy
// is made or in the step, the file stays byte for byte as it was.
TEST_F(ZentrelWholeFilePosix, AReadThatFailsAtAnyStepLeavesTheFileAsItWas) {
    const std::string expected = Migrated(kBefore);
    WriteBytes(File(), kBefore);
    Run();
    const int reads = m_platform.files.reads;
    ASSERT_EQ(ReadBytes(File()), expected);
    ASSERT_GE(reads, 2);
    for (int failing = 0; failing < reads; ++failing) {
        WriteBytes(File(), kBefore);
        m_platform.files.reads = 0;
        m_platform.files.failRead = failing;
        Run();
        EXPECT_EQ(ReadBytes(File()), kBefore) << "read " << failing << " of " << reads;
        EXPECT_EQ(Names(Folder()), std::set<std::string>{"Velmora.ini"});
    }
}

// A writable file in a folder the user may not write is migrated, in place.
TEST_F(ZentrelWholeFilePosix, AFileInAFolderThatRefusesNewFilesIsMigrated) {
    WriteBytes(File(), kBefore);
    m_platform.files.refuseNewFiles = true;
    Run();
    EXPECT_EQ(ReadBytes(File()), Migrated(kBefore));
    EXPECT_EQ(Names(Folder()), std::set<std::string>{"Velmora.ini"});
}

// A link swapped in for the file during the run: whatever file the step finds is either left as
// it was or migrated whole from its own bytes, never half.
TEST_F(ZentrelWholeFilePosix, ALinkSwappedInDuringTheRunLeadsToNoHalfMigratedFile) {
    const fs::path target = m_folder.Path() / "elsewhere.ini";
    const std::string targetBefore = kBefore + "[Elsewhere]\nK=1\n";
    const std::string targetMigrated = Migrated(targetBefore);
    for (const int swapAt : {0, 7}) {
        WriteBytes(File(), kBefore);
        WriteBytes(target, targetBefore);
        m_platform.FailWriteTo(kModel, -1);
        m_platform.beforeWrite = [&](int number) {
            if (number == swapAt) {
                fs::remove(File());
                fs::create_symlink(target, File());
            }
        };
        Run();
        m_platform.beforeWrite = nullptr;
        const std::string after = ReadBytes(target);
        EXPECT_TRUE(after == targetBefore || after == targetMigrated) << "swapped at " << swapAt;
        EXPECT_TRUE(fs::is_symlink(File()));
        fs::remove(File());
    }
}

}  // namespace
