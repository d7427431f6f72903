// The engine on real files: atomic replacement, what it keeps of the old file, what it refuses,
// and what the file holds when any single step fails or the process stops after any step.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
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
using EngineSupport::CFaultyFileSystem;
using NGUtils::IniEngine::Edit;
using NGUtils::IniEngine::ReadProfileValue;
using NGUtils::IniEngine::Text;
using NGUtils::IniEngine::WriteProfileEdit;
using PosixFiles::IFileSystem;
using PosixFiles::RealFileSystem;
using PosixFiles::ReplaceBytes;
using PosixFiles::Result;
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
        return WriteProfileEdit(system, m_file.string(), edit);
    }
    void Put(const std::string& bytes, unsigned mode = 0640) {
        WriteBytes(m_file, bytes);
        fs::permissions(m_file, fs::perms(mode));
    }

    TestingSupport::CTempFolder m_folder;
    fs::path m_file = m_folder / "f.ini";
};

TEST_F(EngineStore, ReplacesTheFileKeepingItsModeAndLeavingNothingBehind) {
    Put(kBefore, 0640);
    const ino_t before = StatOf(m_file).st_ino;
    ASSERT_TRUE(Write(kAddKey));
    EXPECT_EQ(ReadBytes(m_file), "; settings\n[A]\nk=1\nadded=value\n\n[B]\nx=2\n");
    EXPECT_EQ(ModeOf(m_file), 0640u);
    EXPECT_NE(StatOf(m_file).st_ino, before);
    EXPECT_EQ(Names(m_folder.Path()), std::set<std::string>{"f.ini"});
}

TEST_F(EngineStore, AWriteThatChangesNothingLeavesTheFileAlone) {
    Put("[A]\nk = 1 \n");
    struct timespec old[2] = {{1000000, 0}, {1000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, m_file.c_str(), old, 0), 0);
    const struct stat before = StatOf(m_file);
    EXPECT_TRUE(Write({U"a", U"K", U"1"}));
    EXPECT_TRUE(Write({U"A", U"nosuch", std::nullopt}));
    EXPECT_TRUE(Write({U"Nope", std::nullopt, std::nullopt}));
    const struct stat after = StatOf(m_file);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(ReadBytes(m_file), "[A]\nk = 1 \n");
}

TEST_F(EngineStore, NewFilesAndMissingFolders) {
    // As on Windows, a deletion from a missing file leaves an empty one.
    EXPECT_TRUE(Write({U"A", U"k", std::nullopt}));
    EXPECT_EQ(ReadBytes(m_file), "");
    fs::remove(m_file);
    EXPECT_TRUE(Write({U"A", std::nullopt, std::nullopt}));
    EXPECT_EQ(ReadBytes(m_file), "");
    EXPECT_EQ(Names(m_folder.Path()), std::set<std::string>{"f.ini"});
    ASSERT_TRUE(Write({U"S", U"K", U"v"}));
    EXPECT_EQ(ReadBytes(m_file), "[S]\nK=v\n");

    const fs::path missing = m_folder / "no folder" / "x.ini";
    EXPECT_FALSE(WriteProfileEdit(RealFileSystem(), missing.string(), kAddKey));
    EXPECT_FALSE(WriteProfileEdit(RealFileSystem(), missing.string(), {U"A", U"k", std::nullopt}));
    EXPECT_FALSE(fs::exists(missing.parent_path()));
    EXPECT_FALSE(WriteProfileEdit(RealFileSystem(), "", kAddKey));
}

TEST_F(EngineStore, SymbolicLinksStayAndTheirTargetIsReplaced) {
    fs::create_directory(m_folder / "real");
    const fs::path target = m_folder / "real" / "target.ini";
    WriteBytes(target, kBefore);
    fs::create_symlink("real/target.ini", m_folder / "link.ini");
    fs::create_symlink(m_folder / "link.ini", m_folder / "chain.ini");
    fs::create_symlink("real/later.ini", m_folder / "dangling.ini");

    ASSERT_TRUE(WriteProfileEdit(RealFileSystem(), (m_folder / "chain.ini").string(), kAddKey));
    ASSERT_TRUE(WriteProfileEdit(RealFileSystem(), (m_folder / "dangling.ini").string(), kAddKey));
    EXPECT_TRUE(fs::is_symlink(m_folder / "link.ini"));
    EXPECT_TRUE(fs::is_symlink(m_folder / "chain.ini"));
    EXPECT_TRUE(fs::is_symlink(m_folder / "dangling.ini"));
    EXPECT_EQ(ReadBytes(target), "; settings\n[A]\nk=1\nadded=value\n\n[B]\nx=2\n");
    EXPECT_EQ(ReadBytes(m_folder / "real" / "later.ini"), "[A]\nadded=value\n");
    EXPECT_EQ(Names(m_folder / "real"), (std::set<std::string>{"later.ini", "target.ini"}));
    EXPECT_EQ(Names(m_folder.Path()).size(), 4u);
}

TEST_F(EngineStore, AWholeNewContentIsWrittenByTheSameRules) {
    Put(kBefore, 0640);
    fs::create_hard_link(m_file, m_folder / "second.ini");
    const ino_t before = StatOf(m_file).st_ino;
    ASSERT_EQ(ReplaceBytes(RealFileSystem(), m_file.string(), "[New]\n"), Result::Done);
    EXPECT_EQ(ReadBytes(m_folder / "second.ini"), "[New]\n");
    EXPECT_EQ(StatOf(m_file).st_ino, before);
    fs::remove(m_folder / "second.ini");
    ASSERT_EQ(ReplaceBytes(RealFileSystem(), (m_folder / "made.ini").string(), "[M]\n"),
              Result::Done);
    EXPECT_EQ(ReadBytes(m_folder / "made.ini"), "[M]\n");
    EXPECT_EQ(Names(m_folder.Path()), (std::set<std::string>{"f.ini", "made.ini"}));
}

TEST_F(EngineStore, AReadOnlyFileIsRefusedEvenForRoot) {
    Put(kBefore, 0444);
    EXPECT_FALSE(Write(kAddKey));
    EXPECT_EQ(ReadBytes(m_file), kBefore);
    EXPECT_EQ(ModeOf(m_file), 0444u);

    Put(kBefore, 0600);
    CFaultyFileSystem otherUsersFile;
    otherUsersFile.denyWrite = true;
    EXPECT_FALSE(Write(kAddKey, otherUsersFile));
    EXPECT_EQ(ReadBytes(m_file), kBefore);
    EXPECT_EQ(Names(m_folder.Path()), std::set<std::string>{"f.ini"});
}

TEST_F(EngineStore, AFolderThatRefusesTemporaryFilesGetsTheFileRewrittenInPlace) {
    Put(kBefore, 0604);
    const ino_t before = StatOf(m_file).st_ino;
    CFaultyFileSystem readOnlyFolder;
    readOnlyFolder.refuseTempFiles = true;
    ASSERT_TRUE(Write(kAddKey, readOnlyFolder));
    ASSERT_TRUE(Write({U"B", std::nullopt, std::nullopt}, readOnlyFolder));
    EXPECT_EQ(ReadBytes(m_file), "; settings\n[A]\nk=1\nadded=value\n\n");
    EXPECT_EQ(StatOf(m_file).st_ino, before);
    EXPECT_EQ(ModeOf(m_file), 0604u);
    // A new file cannot be made there at all.
    fs::remove(m_file);
    EXPECT_FALSE(Write(kAddKey, readOnlyFolder));
    EXPECT_TRUE(Names(m_folder.Path()).empty());
}

// Such a folder takes new files but lets none be renamed or removed: any temporary file or
// copy of the old bytes would stay for good.
TEST_F(EngineStore, AnAppendOnlyFolderGetsTheFileRewrittenInPlaceAndNothingElse) {
    Put(kBefore);
    const ino_t before = StatOf(m_file).st_ino;
    const int dir = ::open(m_folder.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
    const bool created =
        WriteProfileEdit(RealFileSystem(), (m_folder / "new.ini").string(), kAddKey);
    flags &= ~FS_APPEND_FL;
    EXPECT_EQ(::ioctl(dir, FS_IOC_SETFLAGS, &flags), 0);
    ::close(dir);
    EXPECT_TRUE(edited);
    EXPECT_TRUE(created);
    EXPECT_EQ(ReadBytes(m_file), "; settings\n[A]\nk=1\nadded=value\n\n[B]\nx=2\n");
    EXPECT_EQ(ReadBytes(m_folder / "new.ini"), "[A]\nadded=value\n");
    EXPECT_EQ(StatOf(m_file).st_ino, before);
    EXPECT_EQ(Names(m_folder.Path()), (std::set<std::string>{"f.ini", "new.ini"}));
}

// Temporary files of writers that are gone go with the next write, even one that finds the file
// already as asked; one whose writer still holds its lock stays, and so do other files' and
// names that only look like ours.
TEST_F(EngineStore, LeftoversOfWritersThatAreGoneGoWithTheNextWrite) {
    Put(kBefore);
    const std::string live = ".f.ini.fedcba9876543210.tmp";
    const std::string other = ".g.ini.0123456789abcdef.tmp";
    const std::string lookAlike = ".f.ini.4711-0.tmp";
    for (const std::string& name :
         {std::string(".f.ini.0123456789abcdef.tmp"), lookAlike, live, other}) {
        WriteBytes(m_folder / name, "partial");
    }
    const int held = ::open((m_folder / live).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    EXPECT_TRUE(Write(kAddKey));
    ::close(held);
    EXPECT_EQ(Names(m_folder.Path()), (std::set<std::string>{"f.ini", live, other, lookAlike}));

    // A writer killed after its exchange leaves the old bytes under its temporary name.
    WriteBytes(m_folder / ".f.ini.00000000000000aa.tmp", kBefore);
    const std::string after = ReadBytes(m_file);
    EXPECT_TRUE(Write(kAddKey));
    EXPECT_EQ(ReadBytes(m_file), after);
    EXPECT_EQ(Names(m_folder.Path()), (std::set<std::string>{"f.ini", other, lookAlike}));
}

// A record of a rewrite cut short outlives its file when another program saves the file by a
// rename; should the new file get the old inode number back, the record's name fits it too. It
// is put back only over a tear it could have left, and otherwise goes.
TEST_F(EngineStore, ARestoreRecordIsPutBackOnlyOverTheTearItRecords) {
    // A second name keeps the file's inode: the edit rewrites it in place.
    const auto prepare = [&] {
        fs::remove(m_folder / "second.ini");
        Put(kBefore);
        fs::create_hard_link(m_file, m_folder / "second.ini");
    };
    const auto recordOf = [&] {
        return m_folder / (".f.ini." + std::to_string(StatOf(m_file).st_ino) + ".restore");
    };
    prepare();
    CFaultyFileSystem probe;
    ASSERT_TRUE(Write(kAddKey, probe));
    prepare();
    const fs::path record = recordOf();
    CFaultyFileSystem killed;
    killed.crashAfter = static_cast<int>(std::find(probe.log.begin(), probe.log.end(), "Reserve") -
                                         probe.log.begin());
    Write(kAddKey, killed);
    ASSERT_TRUE(fs::exists(record));

    const std::string saved = "; settings\n[A]\nk=7\n\n[B]\nx=2\n";
    WriteBytes(m_folder / "saved", saved);
    fs::rename(m_folder / "saved", m_file);
    fs::rename(record, recordOf());
    EXPECT_EQ(ReadProfileValue(RealFileSystem(), m_file.string(), U"A", U"k"), Text(U"7"));
    EXPECT_EQ(ReadBytes(m_file), saved);
    EXPECT_EQ(Names(m_folder.Path()), (std::set<std::string>{"f.ini", "second.ini"}));
}

TEST_F(EngineStore, ReadOnlyFolderForAnOrdinaryUser) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes any folder; the seam test above covers this";
    }
    Put(kBefore, 0644);
    fs::permissions(m_folder.Path(), fs::perms(0555));
    EXPECT_TRUE(Write(kAddKey));
    fs::permissions(m_folder.Path(), fs::perms(0755));
    EXPECT_EQ(ReadBytes(m_file), "; settings\n[A]\nk=1\nadded=value\n\n[B]\nx=2\n");
}

// Appends a line to the file by name whenever a temporary file is made, that is after the write
// read the file and before its new text takes the file's place, `times` times.
class CAppendingFileSystem final : public CFaultyFileSystem {
  public:
    CAppendingFileSystem(fs::path file, int times) : m_file(std::move(file)), m_times(times) {}

    int CreateAt(int folder, const std::string& name, unsigned mode, int& fd) override {
        if (appended.size() < m_times) {
            appended += "; line " + std::to_string(appended.size()) + "\n";
            std::ofstream(m_file, std::ios::binary | std::ios::app)
                << appended.substr(appended.rfind("; line "));
        }
        return CFaultyFileSystem::CreateAt(folder, name, mode, fd);
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
        fs::remove(m_folder / "second.ini");
        Put(kBefore);
        if (secondName) {
            fs::create_hard_link(m_file, m_folder / "second.ini");
        }
        CAppendingFileSystem once(m_file, 1);
        once.writeLimit = SIZE_MAX;
        EXPECT_TRUE(Write(kAddKey, once));
        EXPECT_EQ(ReadBytes(m_file), edited + "; line 0\n");

        Put(kBefore);
        CAppendingFileSystem endless(m_file, 1000);
        EXPECT_FALSE(Write(kAddKey, endless));
        EXPECT_GT(endless.appended.size(), 1u);
        EXPECT_EQ(ReadBytes(m_file), kBefore + endless.appended);
        std::set<std::string> names = Names(m_folder.Path());
        EXPECT_EQ(names.erase("second.ini"), secondName ? 1u : 0u);
        EXPECT_EQ(names, std::set<std::string>{"f.ini"});
    }

    fs::remove(m_folder / "second.ini");
    Put(kBefore);
    CFaultyFileSystem probe;
    ASSERT_TRUE(Write(kAddKey, probe));
    Put(kBefore);
    const int held = ::open(m_file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_NE(held, -1);
    CFaultyFileSystem system;
    system.meanwhileAt = static_cast<int>(
        std::find(probe.log.begin(), probe.log.end(), "RenameAt") - probe.log.begin() + 1);
    system.meanwhile = [held] { EXPECT_EQ(::write(held, "; held\n", 7), 7); };
    EXPECT_TRUE(Write(kAddKey, system));
    ::close(held);
    EXPECT_EQ(ReadBytes(m_file), edited + "; held\n");
    EXPECT_EQ(Names(m_folder.Path()), std::set<std::string>{"f.ini"});

    // Where the exchange back fails, a plain rename still puts that program's file back: under
    // the temporary name it would look like a dead writer's leftover to the next cleanup.
    class CNoExchangeBack : public CFaultyFileSystem {
      public:
        int RenameAt(int folder, const std::string& from, const std::string& to,
                     PosixFiles::RenameMode mode) override {
            if (mode == PosixFiles::RenameMode::Exchange && ++exchanges == 2) {
                return Pass("RenameAt", [] { return EIO; });
            }
            return CFaultyFileSystem::RenameAt(folder, from, to, mode);
        }
        int exchanges = 0;
    };
    Put(kBefore);
    const int heldAgain = ::open(m_file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_NE(heldAgain, -1);
    CNoExchangeBack noExchangeBack;
    noExchangeBack.meanwhileAt = system.meanwhileAt;
    noExchangeBack.meanwhile = [heldAgain] { EXPECT_EQ(::write(heldAgain, "; held\n", 7), 7); };
    EXPECT_TRUE(Write(kAddKey, noExchangeBack));
    ::close(heldAgain);
    EXPECT_EQ(noExchangeBack.exchanges, 3);
    EXPECT_EQ(ReadBytes(m_file), edited + "; held\n");
    EXPECT_EQ(Names(m_folder.Path()), std::set<std::string>{"f.ini"});
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
    EXPECT_EQ(ReadBytes(m_file), kBefore);
    EXPECT_EQ(Names(m_folder.Path()), std::set<std::string>{"f.ini"});
}

TEST_F(EngineStore, PathsThatAreNoRegularFileReadAsMissingAndAreNeverWritten) {
    fs::create_directory(m_folder / "dir.ini");
    ASSERT_EQ(::mkfifo((m_folder / "fifo.ini").c_str(), 0644), 0);
    const std::string longPath = m_folder.Path().string() + "/" + std::string(5000, 'x');
    for (const std::string& path :
         {(m_folder / "dir.ini").string(), (m_folder / "fifo.ini").string(), longPath}) {
        // A FIFO with no writer would block a plain open or read forever.
        EXPECT_EQ(ReadProfileValue(RealFileSystem(), path, U"A", U"k"), std::nullopt) << path;
        EXPECT_FALSE(WriteProfileEdit(RealFileSystem(), path, kAddKey)) << path;
    }
    EXPECT_EQ(ReadProfileValue(RealFileSystem(), "/dev/null", U"A", U"k"), std::nullopt);
    EXPECT_TRUE(fs::is_directory(m_folder / "dir.ini"));
    EXPECT_TRUE(fs::is_fifo(m_folder / "fifo.ini"));
    EXPECT_EQ(Names(m_folder.Path()), (std::set<std::string>{"dir.ini", "fifo.ini"}));
}

TEST_F(EngineStore, TheTemporaryFileIsFlushedBeforeTheRenameAndTheFolderAfter) {
    Put(kBefore);
    CFaultyFileSystem recorder;
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
        for (const std::string& name : Names(m_folder.Path())) {
            fs::remove(m_folder / name, ignored);
        }
        if (GetParam().before) {
            Put(*GetParam().before, kFaultMode);
        }
        if (GetParam().secondName) {
            fs::create_hard_link(m_file, m_folder / "second.ini");
        }
    }
    std::optional<std::string> Now() {
        if (!fs::exists(m_file)) {
            return std::nullopt;
        }
        if (GetParam().secondName) {
            EXPECT_EQ(ReadBytes(m_folder / "second.ini"), ReadBytes(m_file));
        }
        return ReadBytes(m_file);
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
    CFaultyFileSystem Faulty() {
        CFaultyFileSystem system;
        system.refuseTempFiles = GetParam().readOnlyFolder;
        return system;
    }
};

TEST_P(EngineFaults, EveryFailingStepLeavesTheOldFileOrTheNewOne) {
    const FaultCase& c = GetParam();
    Restore();
    CFaultyFileSystem probe = Faulty();
    ASSERT_TRUE(Write(c.edit, probe));
    const std::optional<std::string> after = Now();
    ASSERT_NE(after, c.before);

    for (int step = 0; step < probe.steps; ++step) {
        Restore();
        CFaultyFileSystem system = Faulty();
        system.failAt = step;
        const bool result = Write(c.edit, system);
        SCOPED_TRACE(testing::Message() << "failing step " << step << " " << probe.log[step]);
        const std::optional<std::string> now = Now();
        EXPECT_TRUE(now == c.before || now == after);
        EXPECT_EQ(result, now != c.before);
        EXPECT_EQ(Names(m_folder.Path()), NamesLeft(now.has_value()));
        if (now && c.before) {
            EXPECT_EQ(ModeOf(m_file), kFaultMode);
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
    CFaultyFileSystem probe = Faulty();
    ASSERT_TRUE(Write(c.edit, probe));
    const std::optional<std::string> after = Now();

    for (int step = 0; step < probe.steps; ++step) {
        Restore();
        CFaultyFileSystem system = Faulty();
        system.crashAfter = step;
        Write(c.edit, system);
        SCOPED_TRACE(testing::Message() << "died after step " << step << " " << probe.log[step]);
        const std::optional<Text> seen =
            ReadProfileValue(RealFileSystem(), m_file.string(), U"A", U"k");
        const std::optional<std::string> now = Now();
        EXPECT_TRUE(now == c.before || now == after);
        EXPECT_EQ(seen.has_value(), now.has_value() && now->find("k=1") != std::string::npos);
        std::set<std::string> names = Names(m_folder.Path());
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
