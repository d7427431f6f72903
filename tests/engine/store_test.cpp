// The engine on real files: atomic replacement, what it keeps of the old file, what it refuses,
// and what the file holds when any single step fails or the process stops after any step.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <utility>

#include "engine_support.h"
#include "files.h"
#include "ini_store_posix.h"
#include "test_name.h"

namespace {

namespace fs = std::filesystem;
using EngineSupport::FaultyFileSystem;
using NGUtils::IniEngine::Edit;
using NGUtils::IniEngine::IFileSystem;
using NGUtils::IniEngine::ReadProfileValue;
using NGUtils::IniEngine::RealFileSystem;
using NGUtils::IniEngine::Text;
using NGUtils::IniEngine::WriteFileContent;
using NGUtils::IniEngine::WriteProfileEdit;
using TestingSupport::Names;
using TestingSupport::ReadBytes;
using TestingSupport::WriteBytes;

struct stat StatOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info;
}

unsigned ModeOf(const fs::path& path) {
    return StatOf(path).st_mode & 07777;
}

const Edit kAddKey{U"A", U"added", U"value"};
const std::string kBefore = "; settings\n[A]\nk=1\n\n[B]\nx=2\n";

class EngineStore : public testing::Test {
  protected:
    bool Write(const Edit& edit, IFileSystem& system = RealFileSystem()) {
        return WriteProfileEdit(system, file.string(), edit);
    }
    void Put(const std::string& bytes, unsigned mode = 0640) {
        WriteBytes(file, bytes);
        fs::permissions(file, fs::perms(mode));
    }

    TestingSupport::TempFolder folder;
    fs::path file = folder / "f.ini";
};

TEST_F(EngineStore, ReplacesTheFileKeepingItsModeAndLeavingNothingBehind) {
    Put(kBefore, 0640);
    const ino_t before = StatOf(file).st_ino;
    ASSERT_TRUE(Write(kAddKey));
    EXPECT_EQ(ReadBytes(file), "; settings\n[A]\nk=1\nadded=value\n\n[B]\nx=2\n");
    EXPECT_EQ(ModeOf(file), 0640u);
    EXPECT_NE(StatOf(file).st_ino, before);
    EXPECT_EQ(Names(folder.path()), std::set<std::string>{"f.ini"});
}

TEST_F(EngineStore, AWriteThatChangesNothingLeavesTheFileAlone) {
    Put("[A]\nk = 1 \n");
    struct timespec old[2] = {{1000000, 0}, {1000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), old, 0), 0);
    const struct stat before = StatOf(file);
    EXPECT_TRUE(Write({U"a", U"K", U"1"}));
    EXPECT_TRUE(Write({U"A", U"nosuch", std::nullopt}));
    EXPECT_TRUE(Write({U"Nope", std::nullopt, std::nullopt}));
    const struct stat after = StatOf(file);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(ReadBytes(file), "[A]\nk = 1 \n");
}

TEST_F(EngineStore, NewFilesAndMissingFolders) {
    // As on Windows, a deletion from a missing file leaves an empty one.
    EXPECT_TRUE(Write({U"A", U"k", std::nullopt}));
    EXPECT_EQ(ReadBytes(file), "");
    fs::remove(file);
    EXPECT_TRUE(Write({U"A", std::nullopt, std::nullopt}));
    EXPECT_EQ(ReadBytes(file), "");
    EXPECT_EQ(Names(folder.path()), std::set<std::string>{"f.ini"});
    ASSERT_TRUE(Write({U"S", U"K", U"v"}));
    EXPECT_EQ(ReadBytes(file), "[S]\nK=v\n");

    const fs::path missing = folder / "no folder" / "x.ini";
    EXPECT_FALSE(WriteProfileEdit(RealFileSystem(), missing.string(), kAddKey));
    EXPECT_FALSE(WriteProfileEdit(RealFileSystem(), missing.string(), {U"A", U"k", std::nullopt}));
    EXPECT_FALSE(fs::exists(missing.parent_path()));
    EXPECT_FALSE(WriteProfileEdit(RealFileSystem(), "", kAddKey));
}

TEST_F(EngineStore, SymbolicLinksStayAndTheirTargetIsReplaced) {
    fs::create_directory(folder / "real");
    const fs::path target = folder / "real" / "target.ini";
    WriteBytes(target, kBefore);
    fs::create_symlink("real/target.ini", folder / "link.ini");
    fs::create_symlink(folder / "link.ini", folder / "chain.ini");
    fs::create_symlink("real/later.ini", folder / "dangling.ini");

    ASSERT_TRUE(WriteProfileEdit(RealFileSystem(), (folder / "chain.ini").string(), kAddKey));
    ASSERT_TRUE(WriteProfileEdit(RealFileSystem(), (folder / "dangling.ini").string(), kAddKey));
    EXPECT_TRUE(fs::is_symlink(folder / "link.ini"));
    EXPECT_TRUE(fs::is_symlink(folder / "chain.ini"));
    EXPECT_TRUE(fs::is_symlink(folder / "dangling.ini"));
    EXPECT_EQ(ReadBytes(target), "; settings\n[A]\nk=1\nadded=value\n\n[B]\nx=2\n");
    EXPECT_EQ(ReadBytes(folder / "real" / "later.ini"), "[A]\nadded=value\n");
    EXPECT_EQ(Names(folder / "real"), (std::set<std::string>{"later.ini", "target.ini"}));
    EXPECT_EQ(Names(folder.path()).size(), 4u);
}

TEST_F(EngineStore, AWholeNewContentIsWrittenByTheSameRules) {
    Put(kBefore, 0640);
    fs::create_hard_link(file, folder / "second.ini");
    const ino_t before = StatOf(file).st_ino;
    ASSERT_TRUE(WriteFileContent(RealFileSystem(), file.string(), "[New]\n"));
    EXPECT_EQ(ReadBytes(folder / "second.ini"), "[New]\n");
    EXPECT_EQ(StatOf(file).st_ino, before);
    fs::remove(folder / "second.ini");
    ASSERT_TRUE(WriteFileContent(RealFileSystem(), (folder / "made.ini").string(), "[M]\n"));
    EXPECT_EQ(ReadBytes(folder / "made.ini"), "[M]\n");
    EXPECT_EQ(Names(folder.path()), (std::set<std::string>{"f.ini", "made.ini"}));
}

TEST_F(EngineStore, AReadOnlyFileIsRefusedEvenForRoot) {
    Put(kBefore, 0444);
    EXPECT_FALSE(Write(kAddKey));
    EXPECT_EQ(ReadBytes(file), kBefore);
    EXPECT_EQ(ModeOf(file), 0444u);

    Put(kBefore, 0600);
    FaultyFileSystem otherUsersFile;
    otherUsersFile.denyWrite = true;
    EXPECT_FALSE(Write(kAddKey, otherUsersFile));
    EXPECT_EQ(ReadBytes(file), kBefore);
    EXPECT_EQ(Names(folder.path()), std::set<std::string>{"f.ini"});
}

TEST_F(EngineStore, AFolderThatRefusesTemporaryFilesGetsTheFileRewrittenInPlace) {
    Put(kBefore, 0604);
    const ino_t before = StatOf(file).st_ino;
    FaultyFileSystem readOnlyFolder;
    readOnlyFolder.refuseTempFiles = true;
    ASSERT_TRUE(Write(kAddKey, readOnlyFolder));
    ASSERT_TRUE(Write({U"B", std::nullopt, std::nullopt}, readOnlyFolder));
    EXPECT_EQ(ReadBytes(file), "; settings\n[A]\nk=1\nadded=value\n\n");
    EXPECT_EQ(StatOf(file).st_ino, before);
    EXPECT_EQ(ModeOf(file), 0604u);
    // A new file cannot be made there at all.
    fs::remove(file);
    EXPECT_FALSE(Write(kAddKey, readOnlyFolder));
    EXPECT_TRUE(Names(folder.path()).empty());
}

// Such a folder takes new files but lets none be renamed or removed: any temporary file or
// copy of the old bytes would stay for good.
TEST_F(EngineStore, AnAppendOnlyFolderGetsTheFileRewrittenInPlaceAndNothingElse) {
    Put(kBefore);
    const ino_t before = StatOf(file).st_ino;
    const int dir = ::open(folder.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_NE(dir, -1);
    int flags = 0;
    if (::ioctl(dir, FS_IOC_GETFLAGS, &flags) != 0 ||
        (flags |= FS_APPEND_FL, ::ioctl(dir, FS_IOC_SETFLAGS, &flags)) != 0) {
        const int error = errno;
        ::close(dir);
        GTEST_SKIP() << "no append-only folder here (the file system lacks the flag, or it needs "
                        "CAP_LINUX_IMMUTABLE): "
                     << std::strerror(error);
    }
    const bool edited = Write(kAddKey);
    const bool created = WriteProfileEdit(RealFileSystem(), (folder / "new.ini").string(), kAddKey);
    flags &= ~FS_APPEND_FL;
    EXPECT_EQ(::ioctl(dir, FS_IOC_SETFLAGS, &flags), 0);
    ::close(dir);
    EXPECT_TRUE(edited);
    EXPECT_TRUE(created);
    EXPECT_EQ(ReadBytes(file), "; settings\n[A]\nk=1\nadded=value\n\n[B]\nx=2\n");
    EXPECT_EQ(ReadBytes(folder / "new.ini"), "[A]\nadded=value\n");
    EXPECT_EQ(StatOf(file).st_ino, before);
    EXPECT_EQ(Names(folder.path()), (std::set<std::string>{"f.ini", "new.ini"}));
}

// Temporary files of writers that are gone, of this and of the earlier naming, go with the next
// write, even one that finds the file already as asked; one whose writer still holds its lock
// stays, and so do other files'.
TEST_F(EngineStore, LeftoversOfWritersThatAreGoneGoWithTheNextWrite) {
    Put(kBefore);
    const std::string live = ".f.ini.fedcba9876543210.tmp";
    const std::string other = ".g.ini.0123456789abcdef.tmp";
    for (const std::string& name : {std::string(".f.ini.0123456789abcdef.tmp"),
                                    std::string(".f.ini.4711-0.tmp"), live, other}) {
        WriteBytes(folder / name, "partial");
    }
    const int held = ::open((folder / live).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    EXPECT_TRUE(Write(kAddKey));
    ::close(held);
    EXPECT_EQ(Names(folder.path()), (std::set<std::string>{"f.ini", live, other}));

    // A writer killed after its exchange leaves the old bytes under its temporary name.
    WriteBytes(folder / ".f.ini.00000000000000aa.tmp", kBefore);
    const std::string after = ReadBytes(file);
    EXPECT_TRUE(Write(kAddKey));
    EXPECT_EQ(ReadBytes(file), after);
    EXPECT_EQ(Names(folder.path()), (std::set<std::string>{"f.ini", other}));
}

TEST_F(EngineStore, ReadOnlyFolderForAnOrdinaryUser) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes any folder; the seam test above covers this";
    }
    Put(kBefore, 0644);
    fs::permissions(folder.path(), fs::perms(0555));
    EXPECT_TRUE(Write(kAddKey));
    fs::permissions(folder.path(), fs::perms(0755));
    EXPECT_EQ(ReadBytes(file), "; settings\n[A]\nk=1\nadded=value\n\n[B]\nx=2\n");
}

// Appends a line to the file by name whenever a temporary file is made, that is after the write
// read the file and before its new text takes the file's place, `times` times.
class AppendingFileSystem final : public FaultyFileSystem {
  public:
    AppendingFileSystem(fs::path file, int times) : m_file(std::move(file)), m_times(times) {}

    int CreateAt(int folder, const std::string& name, unsigned mode, int& fd) override {
        if (appended.size() < m_times) {
            appended += "; line " + std::to_string(appended.size()) + "\n";
            std::ofstream(m_file, std::ios::binary | std::ios::app)
                << appended.substr(appended.rfind("; line "));
        }
        return FaultyFileSystem::CreateAt(folder, name, mode, fd);
    }

    std::string appended;

  private:
    fs::path m_file;
    std::size_t m_times;
};

// What another program writes between the reading and the new text taking the file's place is
// kept, and the edit made again on it; also when it wrote through a descriptor it held open
// across the exchange. A program that never stops wins: after a few tries the write fails and
// the file holds exactly what that program left.
TEST_F(EngineStore, AChangeByAnotherProgramMeanwhileIsKeptAndTheEditMadeAgainOnIt) {
    const std::string edited = "; settings\n[A]\nk=1\nadded=value\n\n[B]\nx=2\n";
    for (const bool secondName : {false, true}) {
        SCOPED_TRACE(secondName ? "in place" : "replaced");
        fs::remove(folder / "second.ini");
        Put(kBefore);
        if (secondName) {
            fs::create_hard_link(file, folder / "second.ini");
        }
        AppendingFileSystem once(file, 1);
        once.writeLimit = SIZE_MAX;
        EXPECT_TRUE(Write(kAddKey, once));
        EXPECT_EQ(ReadBytes(file), edited + "; line 0\n");

        Put(kBefore);
        AppendingFileSystem endless(file, 1000);
        EXPECT_FALSE(Write(kAddKey, endless));
        EXPECT_GT(endless.appended.size(), 1u);
        EXPECT_EQ(ReadBytes(file), kBefore + endless.appended);
        std::set<std::string> names = Names(folder.path());
        EXPECT_EQ(names.erase("second.ini"), secondName ? 1u : 0u);
        EXPECT_EQ(names, std::set<std::string>{"f.ini"});
    }

    fs::remove(folder / "second.ini");
    Put(kBefore);
    FaultyFileSystem probe;
    ASSERT_TRUE(Write(kAddKey, probe));
    Put(kBefore);
    const int held = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_NE(held, -1);
    FaultyFileSystem system;
    system.meanwhileAt = static_cast<int>(
        std::find(probe.log.begin(), probe.log.end(), "RenameAt") - probe.log.begin() + 1);
    system.meanwhile = [held] { EXPECT_EQ(::write(held, "; held\n", 7), 7); };
    EXPECT_TRUE(Write(kAddKey, system));
    ::close(held);
    EXPECT_EQ(ReadBytes(file), edited + "; held\n");
    EXPECT_EQ(Names(folder.path()), std::set<std::string>{"f.ini"});
}

// Beyond the file-size limit a write fails like any other: the process lives on with the
// signal's disposition as it was, and the file keeps its bytes.
TEST_F(EngineStore, AWriteBeyondTheFileSizeLimitFailsAndLeavesTheFile) {
    Put(kBefore);
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        const rlimit limit{kBefore.size() + 4, kBefore.size() + 4};
        bool ok = ::setrlimit(RLIMIT_FSIZE, &limit) == 0 && !Write(kAddKey);
        struct sigaction now {};
        ok = ok && ::sigaction(SIGXFSZ, nullptr, &now) == 0 && now.sa_handler == SIG_DFL;
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
    EXPECT_EQ(ReadBytes(file), kBefore);
    EXPECT_EQ(Names(folder.path()), std::set<std::string>{"f.ini"});
}

TEST_F(EngineStore, PathsThatAreNoRegularFileReadAsMissingAndAreNeverWritten) {
    fs::create_directory(folder / "dir.ini");
    ASSERT_EQ(::mkfifo((folder / "fifo.ini").c_str(), 0644), 0);
    const std::string longPath = folder.path().string() + "/" + std::string(5000, 'x');
    for (const std::string& path :
         {(folder / "dir.ini").string(), (folder / "fifo.ini").string(), longPath}) {
        // A FIFO with no writer would block a plain open or read forever.
        EXPECT_EQ(ReadProfileValue(RealFileSystem(), path, U"A", U"k"), std::nullopt) << path;
        EXPECT_FALSE(WriteProfileEdit(RealFileSystem(), path, kAddKey)) << path;
    }
    EXPECT_EQ(ReadProfileValue(RealFileSystem(), "/dev/null", U"A", U"k"), std::nullopt);
    EXPECT_TRUE(fs::is_directory(folder / "dir.ini"));
    EXPECT_TRUE(fs::is_fifo(folder / "fifo.ini"));
    EXPECT_EQ(Names(folder.path()), (std::set<std::string>{"dir.ini", "fifo.ini"}));
}

TEST_F(EngineStore, TheTemporaryFileIsFlushedBeforeTheRenameAndTheFolderAfter) {
    Put(kBefore);
    FaultyFileSystem recorder;
    ASSERT_TRUE(Write(kAddKey, recorder));
    const auto& log = recorder.log;
    const auto at = [&](const char* step) { return std::find(log.begin(), log.end(), step); };
    const auto rename = at("RenameAt");
    ASSERT_NE(rename, log.end());
    const auto lastWrite = std::prev(std::find(log.rbegin(), log.rend(), "WriteAt").base());
    EXPECT_LT(at("CreateAt"), lastWrite);
    EXPECT_LT(lastWrite, at("Sync"));
    EXPECT_LT(at("Sync"), rename);
    EXPECT_LT(rename, at("SyncFolder"));
}

// Group and others may write, which a usual umask would take away from a new file.
constexpr unsigned kFaultMode = 0666;

struct FaultCase {
    const char* name;
    std::optional<std::string> before;  // none: the file does not exist yet
    Edit edit;
    bool readOnlyFolder;  // in place, with no room for a copy of the old bytes
    bool secondName;      // in place, with the old bytes committed beside the file first
};

void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.name;
}

class EngineFaults : public EngineStore, public testing::WithParamInterface<FaultCase> {
  protected:
    void Restore() {
        std::error_code ignored;
        for (const std::string& name : Names(folder.path())) {
            fs::remove(folder / name, ignored);
        }
        if (GetParam().before) {
            Put(*GetParam().before, kFaultMode);
        }
        if (GetParam().secondName) {
            fs::create_hard_link(file, folder / "second.ini");
        }
    }
    std::optional<std::string> Now() {
        if (!fs::exists(file)) {
            return std::nullopt;
        }
        if (GetParam().secondName) {
            EXPECT_EQ(ReadBytes(folder / "second.ini"), ReadBytes(file));
        }
        return ReadBytes(file);
    }
    // The names a write leaves in the folder: the file's, and nothing of its own.
    std::set<std::string> NamesLeft(bool exists) {
        std::set<std::string> names;
        if (exists) {
            names.insert("f.ini");
        }
        if (GetParam().secondName) {
            names.insert("second.ini");
        }
        return names;
    }
    FaultyFileSystem Faulty() {
        FaultyFileSystem system;
        system.refuseTempFiles = GetParam().readOnlyFolder;
        return system;
    }
};

TEST_P(EngineFaults, EveryFailingStepLeavesTheOldFileOrTheNewOne) {
    const FaultCase& c = GetParam();
    Restore();
    FaultyFileSystem probe = Faulty();
    ASSERT_TRUE(Write(c.edit, probe));
    const std::optional<std::string> after = Now();
    ASSERT_NE(after, c.before);

    for (int step = 0; step < probe.steps; ++step) {
        Restore();
        FaultyFileSystem system = Faulty();
        system.failAt = step;
        const bool result = Write(c.edit, system);
        SCOPED_TRACE(testing::Message() << "failing step " << step << " " << probe.log[step]);
        const std::optional<std::string> now = Now();
        EXPECT_TRUE(now == c.before || now == after);
        EXPECT_EQ(result, now != c.before);
        EXPECT_EQ(Names(folder.path()), NamesLeft(now.has_value()));
        if (now && c.before) {
            EXPECT_EQ(ModeOf(file), kFaultMode);
        }
    }
}

// The next run finds the file as the last whole write left it: a copy of the old bytes put
// back, or the file itself.
TEST_P(EngineFaults, AProcessThatDiesAfterAnyStepLeavesTheOldFileOrTheNewOne) {
    const FaultCase& c = GetParam();
    if (c.readOnlyFolder) {
        GTEST_SKIP() << "a folder that refuses new files has no room for a copy of the old bytes, "
                        "so a rewrite there can be cut short, as on Windows";
    }
    Restore();
    FaultyFileSystem probe = Faulty();
    ASSERT_TRUE(Write(c.edit, probe));
    const std::optional<std::string> after = Now();

    for (int step = 0; step < probe.steps; ++step) {
        Restore();
        FaultyFileSystem system = Faulty();
        system.crashAfter = step;
        Write(c.edit, system);
        SCOPED_TRACE(testing::Message() << "died after step " << step << " " << probe.log[step]);
        const std::optional<Text> seen =
            ReadProfileValue(RealFileSystem(), file.string(), U"A", U"k");
        const std::optional<std::string> now = Now();
        EXPECT_TRUE(now == c.before || now == after);
        EXPECT_EQ(seen.has_value(), now.has_value() && now->find("k=1") != std::string::npos);
        std::set<std::string> names = Names(folder.path());
        std::erase_if(names, [](const std::string& name) { return name.ends_with(".tmp"); });
        EXPECT_EQ(names, NamesLeft(now.has_value()));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Matrix, EngineFaults,
    testing::Values(
        FaultCase{"AddKey", kBefore, kAddKey, false, false},
        FaultCase{"DeleteSection", kBefore, {U"A", std::nullopt, std::nullopt}, false, false},
        FaultCase{"NewFile", std::nullopt, kAddKey, false, false},
        FaultCase{"InPlaceGrowing", kBefore, kAddKey, true, false},
        FaultCase{"InPlaceShrinking", kBefore, {U"A", std::nullopt, std::nullopt}, true, false},
        FaultCase{"InPlaceWithCopyGrowing", kBefore, kAddKey, false, true},
        FaultCase{
            "InPlaceWithCopyShrinking", kBefore, {U"A", std::nullopt, std::nullopt}, false, true}),
    TestingSupport::ByParamName());

}  // namespace
