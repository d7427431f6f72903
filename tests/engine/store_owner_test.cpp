// The engine among several users, on real file systems: the file after a write is the same file
// in everything but its text, nothing is written through another user's link, and a file system
// without fallocate still takes edits in place. Most of this needs root (other owners, a second
// user, a loop mount); without it the tests skip.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "engine_support.h"
#include "files.h"
#include "ini_store_posix.h"
#include "test_name.h"

namespace {

namespace fs = std::filesystem;
using NGUtils::IniEngine::Edit;
using NGUtils::IniEngine::WriteProfileEdit;
using PosixFiles::RealFileSystem;
using TestingSupport::Names;
using TestingSupport::ReadBytes;
using TestingSupport::WriteBytes;

constexpr uid_t kOwner = 4242;   // the data's owner, and the owning group
constexpr uid_t kRunner = 4243;  // another user, in the owner's group

const Edit kAddKey{U"A", U"added", U"value"};
const std::string kBefore = "[A]\nk=1\n";
const std::string kAfter = "[A]\nk=1\nadded=value\n";

// The write as `user` in a child process, with `group` as its only group; -1 when the child
// could not take that user's rights.
int WriteAs(uid_t user, gid_t group, const fs::path& file, const Edit& edit) {
    const pid_t child = ::fork();
    if (child == 0) {
        const bool becameUser = ::setgroups(1, &group) == 0 &&
                                ::setresgid(group, group, group) == 0 &&
                                ::setresuid(user, user, user) == 0;
        ::_exit(!becameUser ? 2 : WriteProfileEdit(RealFileSystem(), file.string(), edit) ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) == 2) {
        return -1;
    }
    return WEXITSTATUS(status) == 0 ? 1 : 0;
}

// A POSIX ACL as the kernel stores it in an extended attribute.
std::string Acl(std::initializer_list<std::array<std::uint32_t, 3>> entries) {
    std::string bytes;
    auto put = [&bytes](std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i) {
            bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
        }
    };
    put(2, 4);
    for (const auto& [tag, permissions, id] : entries) {
        put(tag, 2);
        put(permissions, 2);
        put(id, 4);
    }
    return bytes;
}

constexpr std::uint32_t kNoId = 0xFFFFFFFF;
// Owner rw, user kRunner rw, group r, mask rw, others nothing.
const std::string kFileAcl = Acl(
    {{0x01, 6, kNoId}, {0x02, 6, kRunner}, {0x04, 4, kNoId}, {0x10, 6, kNoId}, {0x20, 0, kNoId}});
// What new files in a folder get: user kRunner may read them.
const std::string kFolderDefaultAcl = Acl(
    {{0x01, 7, kNoId}, {0x02, 4, kRunner}, {0x04, 5, kNoId}, {0x10, 5, kNoId}, {0x20, 5, kNoId}});

std::map<std::string, std::string> Attributes(const fs::path& path) {
    std::map<std::string, std::string> values;
    std::string names(4096, '\0');
    const ssize_t length = ::llistxattr(path.c_str(), names.data(), names.size());
    for (std::size_t begin = 0; length > 0 && begin < static_cast<std::size_t>(length);) {
        const std::string name(names.c_str() + begin);
        std::string value(4096, '\0');
        const ssize_t size = ::lgetxattr(path.c_str(), name.c_str(), value.data(), value.size());
        value.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
        values[name] = value;
        begin += name.size() + 1;
    }
    return values;
}

// Everything a reader can tell of a file but its text.
struct Identity {
    struct stat info {};
    std::map<std::string, std::string> attributes;
    std::set<std::string> folderNames;

    explicit Identity(const fs::path& file)
        : attributes(Attributes(file)), folderNames(Names(file.parent_path())) {
        EXPECT_EQ(::stat(file.c_str(), &info), 0);
    }
    bool operator==(const Identity& other) const {
        return info.st_uid == other.info.st_uid && info.st_gid == other.info.st_gid &&
               info.st_mode == other.info.st_mode && info.st_nlink == other.info.st_nlink &&
               attributes == other.attributes && folderNames == other.folderNames;
    }
};

void PrintTo(const Identity& identity, std::ostream* out) {
    *out << "owner " << identity.info.st_uid << " group " << identity.info.st_gid << " mode "
         << std::oct << identity.info.st_mode << std::dec << " links " << identity.info.st_nlink
         << ", " << identity.attributes.size() << " attributes, " << identity.folderNames.size()
         << " names in the folder";
}

struct SamenessCase {
    const char* name;
    unsigned folderMode;
    uid_t fileOwner;  // the owning group has the same number
    unsigned fileMode;
    bool fileAcl;
    bool folderDefaultAcl;
    bool secondName;
    uid_t runner;  // 0 for root; another user runs in the group kOwner
};

void PrintTo(const SamenessCase& c, std::ostream* out) {
    *out << c.name;
}

class EngineSameness : public testing::TestWithParam<SamenessCase> {};

TEST_P(EngineSameness, AfterAWriteTheFileIsTheSameInEverythingButItsText) {
    const SamenessCase& c = GetParam();
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root, for files of other users and a second user to run as";
    }
    TestingSupport::CTempFolder top;
    const fs::path folder = top / "data";
    const fs::path file = folder / "Velmora.ini";
    fs::create_directory(folder);
    ASSERT_EQ(::chmod(folder.c_str(), c.folderMode), 0);
    WriteBytes(file, kBefore);
    ASSERT_EQ(::chown(file.c_str(), c.fileOwner, c.fileOwner), 0);
    ASSERT_EQ(::chmod(file.c_str(), c.fileMode), 0);
    if (::setxattr(file.c_str(), "user.origin", "scanner", 7, 0) != 0) {
        GTEST_SKIP() << "the temporary folder's file system has no extended attributes";
    }
    if (c.fileAcl) {
        ASSERT_EQ(::setxattr(file.c_str(), "system.posix_acl_access", kFileAcl.data(),
                             kFileAcl.size(), 0),
                  0);
    }
    if (c.folderDefaultAcl) {
        ASSERT_EQ(::setxattr(folder.c_str(), "system.posix_acl_default", kFolderDefaultAcl.data(),
                             kFolderDefaultAcl.size(), 0),
                  0);
    }
    if (c.secondName) {
        fs::create_hard_link(file, top / "second name.ini");
    }
    const Identity before(file);

    if (c.runner == 0) {
        ASSERT_TRUE(WriteProfileEdit(RealFileSystem(), file.string(), kAddKey));
    } else {
        ASSERT_EQ(WriteAs(c.runner, kOwner, file, kAddKey), 1);
    }
    EXPECT_EQ(ReadBytes(file), kAfter);
    EXPECT_EQ(Identity(file), before);
    if (c.secondName) {
        EXPECT_EQ(ReadBytes(top / "second name.ini"), kAfter);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EngineSameness,
    testing::Values(SamenessCase{"AnotherUsersFileWithAclWrittenByRoot", 0755, kOwner, 0640, true,
                                 false, false, 0},
                    SamenessCase{"FolderWithDefaultAcl", 0755, 0, 0644, false, true, false, 0},
                    SamenessCase{"SecondName", 0755, 0, 0644, false, false, true, 0},
                    SamenessCase{"GroupMemberWritesTheOwnersFile", 0777, kOwner, 0664, false, false,
                                 false, kRunner},
                    SamenessCase{"StickyFolder", 01777, kOwner, 0664, false, false, false,
                                 kRunner}),
    TestingSupport::ByParamName());

// While a file is rewritten in place its old bytes wait in a record beside it: the record lets
// in no one the file's ACL keeps out, here the owning group that the mode bits (the mask) admit.
TEST(EngineOwners, ARestoreRecordKeepsOutWhomTheFilesAclKeepsOut) {
    TestingSupport::CTempFolder top;
    const fs::path file = top / "Velmora.ini";
    WriteBytes(file, kBefore);
    const std::string groupKeptOut = Acl({{0x01, 6, kNoId},
                                          {0x02, 6, kRunner},
                                          {0x04, 0, kNoId},
                                          {0x10, 6, kNoId},
                                          {0x20, 0, kNoId}});
    if (::setxattr(file.c_str(), "system.posix_acl_access", groupKeptOut.data(),
                   groupKeptOut.size(), 0) != 0) {
        GTEST_SKIP() << "the temporary folder's file system has no ACLs";
    }
    // A second name keeps the inode: the edit rewrites the file in place, under a record.
    fs::create_hard_link(file, top / "second.ini");
    EngineSupport::CFaultyFileSystem probe;
    ASSERT_TRUE(WriteProfileEdit(probe, file.string(), kAddKey));
    WriteBytes(file, kBefore);
    EngineSupport::CFaultyFileSystem killed;
    killed.crashAfter = static_cast<int>(std::find(probe.log.begin(), probe.log.end(), "Reserve") -
                                         probe.log.begin());
    WriteProfileEdit(killed, file.string(), kAddKey);

    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    const fs::path record = top / (".Velmora.ini." + std::to_string(info.st_ino) + ".restore");
    ASSERT_TRUE(fs::exists(record));
    EXPECT_EQ(Attributes(record)["system.posix_acl_access"],
              Attributes(file)["system.posix_acl_access"]);
}

TEST(EngineOwners, RootFollowsAUsersLinkOnlyToWhatThatUserOwns) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root, to own files as another user";
    }
    TestingSupport::CTempFolder top;
    const fs::path home = top / "home";
    fs::create_directories(home / "real");
    fs::create_directories(top / "system");
    const fs::path systemFile = top / "system" / "Velmora.ini";
    WriteBytes(systemFile, kBefore);
    WriteBytes(home / "real" / "Velmora.ini", kBefore);
    fs::create_symlink(systemFile, home / "to system.ini");
    fs::create_symlink(top / "system", home / "system folder");
    fs::create_symlink("real/Velmora.ini", home / "own.ini");
    for (const char* name :
         {"", "real", "real/Velmora.ini", "to system.ini", "system folder", "own.ini"}) {
        ASSERT_EQ(::lchown((home / name).c_str(), kOwner, kOwner), 0) << name;
    }

    EXPECT_FALSE(WriteProfileEdit(RealFileSystem(), (home / "to system.ini").string(), kAddKey));
    EXPECT_FALSE(WriteProfileEdit(RealFileSystem(),
                                  (home / "system folder" / "Velmora.ini").string(), kAddKey));
    EXPECT_FALSE(
        WriteProfileEdit(RealFileSystem(), (home / "system folder" / "new.ini").string(), kAddKey));
    EXPECT_EQ(ReadBytes(systemFile), kBefore);
    EXPECT_EQ(Names(top / "system"), std::set<std::string>{"Velmora.ini"});
    EXPECT_TRUE(fs::is_symlink(home / "to system.ini"));

    EXPECT_TRUE(WriteProfileEdit(RealFileSystem(), (home / "own.ini").string(), kAddKey));
    EXPECT_EQ(ReadBytes(home / "real" / "Velmora.ini"), kAfter);
    EXPECT_TRUE(fs::is_symlink(home / "own.ini"));

    // A second name of root's file, or of root's link to it, that the user put in her folder,
    // which any user can where the system does not protect hard links.
    fs::create_symlink(systemFile, top / "system" / "root link.ini");
    fs::create_hard_link(systemFile, home / "hard.ini");
    fs::create_hard_link(top / "system" / "root link.ini", home / "hard link.ini");
    EXPECT_FALSE(WriteProfileEdit(RealFileSystem(), (home / "hard.ini").string(), kAddKey));
    EXPECT_FALSE(WriteProfileEdit(RealFileSystem(), (home / "hard link.ini").string(), kAddKey));
    EXPECT_EQ(ReadBytes(systemFile), kBefore);

    // The user, through a link root made for them.
    fs::create_symlink(home / "real", top / "home link");
    EXPECT_EQ(WriteAs(kOwner, kOwner, top / "home link" / "Velmora.ini", {U"A", U"k", U"2"}), 1);
    EXPECT_EQ(ReadBytes(home / "real" / "Velmora.ini"), "[A]\nk=2\nadded=value\n");
}

TEST(EngineOwners, ALinkSwappedInDuringAWriteIsNeverReplacedByAPlainFile) {
    TestingSupport::CTempFolder folder;
    const fs::path file = folder / "f.ini";
    auto reset = [&] {
        for (const std::string& name : Names(folder.Path())) {
            fs::remove(folder / name);
        }
        WriteBytes(file, kBefore);
        WriteBytes(folder / "elsewhere.ini", "[Z]\n");
    };
    reset();
    EngineSupport::CFaultyFileSystem probe;
    ASSERT_TRUE(WriteProfileEdit(probe, file.string(), kAddKey));

    for (int step = 0; step < probe.steps; ++step) {
        reset();
        EngineSupport::CFaultyFileSystem system;
        system.meanwhileAt = step;
        system.meanwhile = [&] {
            fs::rename(file, folder / "moved.ini");
            fs::create_symlink("elsewhere.ini", file);
        };
        WriteProfileEdit(system, file.string(), kAddKey);
        SCOPED_TRACE(testing::Message()
                     << "swapped before step " << step << " " << probe.log[step]);
        EXPECT_TRUE(fs::is_symlink(file));
        EXPECT_EQ(Names(folder.Path()),
                  (std::set<std::string>{"elsewhere.ini", "f.ini", "moved.ini"}));
    }
}

// In a folder every user may write to, a write removes only its own user's leftovers; a file of
// another user that looks like one stays.
TEST(EngineOwners, AnotherUsersLookAlikeTemporaryFilesStay) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root, to own files as another user";
    }
    TestingSupport::CTempFolder top;
    const fs::path folder = top / "shared";
    fs::create_directory(folder);
    ASSERT_EQ(::chmod(folder.c_str(), 01777), 0);
    const fs::path file = folder / "Velmora.ini";
    WriteBytes(file, kBefore);
    const std::string theirs = ".Velmora.ini.00000000deadbeef.tmp";
    const std::string ours = ".Velmora.ini.0123456789abcdef.tmp";
    WriteBytes(folder / theirs, "theirs");
    WriteBytes(folder / ours, "ours");
    ASSERT_EQ(::chown((folder / theirs).c_str(), kOwner, kOwner), 0);

    EXPECT_TRUE(WriteProfileEdit(RealFileSystem(), file.string(), kAddKey));
    EXPECT_EQ(Names(folder), (std::set<std::string>{"Velmora.ini", theirs}));
    EXPECT_EQ(ReadBytes(folder / theirs), "theirs");
}

// After the walk every step works in the folder it reached: a folder swapped for a link from
// then on is never followed.
TEST(EngineOwners, AFolderSwappedForALinkAfterTheWalkIsNeverFollowed) {
    TestingSupport::CTempFolder top;
    const fs::path data = top / "data";
    const fs::path elsewhere = top / "elsewhere";
    auto reset = [&] {
        for (const std::string& name : Names(top.Path())) {
            fs::remove_all(top / name);
        }
        WriteBytes(data / "f.ini", kBefore);
        WriteBytes(elsewhere / "f.ini", "[Z]\n");
    };
    reset();
    EngineSupport::CFaultyFileSystem probe;
    ASSERT_TRUE(WriteProfileEdit(probe, (data / "f.ini").string(), kAddKey));
    // The walk ends with the file opened and looked at.
    const auto walked = std::find(probe.log.begin(), probe.log.end(), "Stat") - probe.log.begin();

    for (int step = static_cast<int>(walked) + 1; step < probe.steps; ++step) {
        reset();
        EngineSupport::CFaultyFileSystem system;
        system.meanwhileAt = step;
        system.meanwhile = [&] {
            fs::rename(data, top / "moved");
            fs::create_directory_symlink("elsewhere", data);
        };
        WriteProfileEdit(system, (data / "f.ini").string(), kAddKey);
        SCOPED_TRACE(testing::Message()
                     << "swapped before step " << step << " " << probe.log[step]);
        EXPECT_EQ(Names(elsewhere), std::set<std::string>{"f.ini"});
        EXPECT_EQ(ReadBytes(elsewhere / "f.ini"), "[Z]\n");
        const std::string moved = ReadBytes(top / "moved" / "f.ini");
        EXPECT_TRUE(moved == kBefore || moved == kAfter);
    }
}

// A loop-mounted ext2 image: a file system without fallocate.
class CExt2Image {
  public:
    explicit CExt2Image(const fs::path& at) : m_image(at / "ext2.img"), m_mount(at / "mnt") {
        fs::create_directory(m_mount);
        const std::string command = "truncate -s 8M '" + m_image.string() + "' && mkfs.ext2 -q '" +
                                    m_image.string() + "' && mount -o loop '" + m_image.string() +
                                    "' '" + m_mount.string() + "' 2>/dev/null";
        m_mounted = std::system(command.c_str()) == 0;
    }
    CExt2Image(const CExt2Image&) = delete;
    CExt2Image& operator=(const CExt2Image&) = delete;
    ~CExt2Image() {
        if (m_mounted) {
            const std::string command = "umount '" + m_mount.string() + "'";
            static_cast<void>(std::system(command.c_str()));
        }
    }
    bool Mounted() const { return m_mounted; }
    const fs::path& Root() const { return m_mount; }

  private:
    fs::path m_image;
    fs::path m_mount;
    bool m_mounted = false;
};

TEST(EngineOwners, AFileInAReadOnlyFolderOnExt2GrowsInPlace) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root, to mount an image and to run as a second user";
    }
    TestingSupport::CTempFolder top;
    const CExt2Image image(top.Path());
    if (!image.Mounted()) {
        GTEST_SKIP() << "no ext2 image could be made and loop-mounted here";
    }
    // The folder is root's, the file the user's: no temporary file can be made beside it.
    const fs::path file = image.Root() / "Velmora.ini";
    WriteBytes(file, kBefore);
    ASSERT_EQ(::chown(file.c_str(), kOwner, kOwner), 0);
    ASSERT_EQ(WriteAs(kOwner, kOwner, file, kAddKey), 1);
    EXPECT_EQ(ReadBytes(file), kAfter);
    EXPECT_EQ(Names(image.Root()), (std::set<std::string>{"Velmora.ini", "lost+found"}));
}

}  // namespace
