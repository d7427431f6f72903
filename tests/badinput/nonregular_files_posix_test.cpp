// Settings "files" that are no regular files, and one beyond the longest path the system opens:
// through the INI library and through Zentrel, nothing may block, fail loudly or be replaced.
// Only natively: a Wine prefix cannot hold a FIFO or a device meaningfully.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "files.h"
#include "ini_file.h"
#include "migration.h"
#include "program_runner.h"
#include "text_codec.h"

namespace {

namespace fs = std::filesystem;

constexpr std::chrono::seconds kRunLimit{60};
constexpr std::chrono::seconds kCallLimit{20};

struct LibraryResults {
    bool read = true;
    bool written = true;
    bool deleted = true;
    std::wstring text = L"stale";
};

// The library's calls on `path`, on a thread of their own so that a call that blocks fails the
// test instead of holding it. A blocked thread is left behind; the process ends with the run.
bool LibraryCallsFinish(const std::string& path, LibraryResults& results) {
    auto shared = std::make_shared<LibraryResults>();
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    std::thread([path, shared, done] {
        NGUtils::CIniFile ini;
        ini.SetFilePath(TextCodec::WideFromUtf8(path));
        shared->read = ini.ReadString(L"Other", L"Key", shared->text);
        shared->written = ini.WriteValue(L"Other", L"Key", L"1");
        shared->deleted = ini.DeleteKey(L"Other", nullptr);
        done->set_value();
    }).detach();
    if (finished.wait_for(kCallLimit) != std::future_status::ready) {
        return false;
    }
    results = *shared;
    return true;
}

std::set<std::string> Tree(const fs::path& root) {
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        names.insert(fs::relative(entry.path(), root).string());
    }
    return names;
}

class SpecialFiles : public testing::Test {
  protected:
    void SetUp() override {
        m_data = ProgramTests::DataFolderForProgram(m_scratch.Path());
        for (std::size_t i = 0; i < 2; ++i) {
            const fs::path model{std::wstring(Zentrel::kModelFolders[i])};
            m_files.push_back(m_data / "Tarvex" / "Tarvex Scan Twain" / model / "Velmora.ini");
            m_files.push_back(m_data / "Tarvex" / model / "Velmora.ini");
        }
        for (const fs::path& file : m_files) {
            fs::create_directories(file.parent_path());
        }
    }
    // Both variants over the files: each ends with status 0 in time and prints nothing, and no
    // file appears or goes.
    void RunBothVariants() {
        const std::set<std::string> before = Tree(m_data);
        for (const char* variant : {"QX_NWTWAIN", "QX_USBTWAIN"}) {
            ProgramTests::CRunningProgram program(ProgramTests::ProgramPath("Zentrel"), {variant},
                                                  m_data, m_scratch / "output.txt");
            ASSERT_TRUE(program.Started());
            int status = -1;
            ASSERT_TRUE(program.WaitFor(kRunLimit, status)) << variant << " did not finish";
            EXPECT_EQ(status, 0) << variant;
            EXPECT_EQ(fs::file_size(m_scratch / "output.txt"), 0u) << variant;
        }
        EXPECT_EQ(Tree(m_data), before);
    }

    void ExpectLibraryFails(const fs::path& file) {
        LibraryResults results;
        ASSERT_TRUE(LibraryCallsFinish(file.string(), results)) << file << ": a call blocked";
        EXPECT_FALSE(results.read) << file;
        EXPECT_EQ(results.text, L"") << file;
        EXPECT_FALSE(results.written) << file;
        EXPECT_FALSE(results.deleted) << file;
    }

    TestingSupport::CTempFolder m_scratch;
    fs::path m_data;
    std::vector<fs::path> m_files;
};

// Opening a FIFO without a writer for reading blocks until one comes, unless done without waiting.
TEST_F(SpecialFiles, AFifoIsNeverWaitedFor) {
    for (const fs::path& file : m_files) {
        ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0) << file;
    }
    ExpectLibraryFails(m_files[0]);
    ASSERT_NO_FATAL_FAILURE(RunBothVariants());
    for (const fs::path& file : m_files) {
        EXPECT_TRUE(fs::is_fifo(file)) << file;
    }
}

// A device node of the test's own (the one /dev/zero is: endless zero bytes), so that an engine
// that did replace it would harm nothing outside the test.
TEST_F(SpecialFiles, ADeviceIsNeitherReadNorReplaced) {
    for (const fs::path& file : m_files) {
        if (::mknod(file.c_str(), S_IFCHR | 0644, ::makedev(1, 5)) != 0) {
            GTEST_SKIP() << "no device node can be made here (" << std::strerror(errno) << ")";
        }
    }
    ExpectLibraryFails(m_files[0]);
    ASSERT_NO_FATAL_FAILURE(RunBothVariants());
    for (const fs::path& file : m_files) {
        EXPECT_TRUE(fs::is_character_file(file)) << file;
    }
}

// Folders nested through handles, since no single call may name a path this long.
class CDeepFolder {
  public:
    CDeepFolder(const fs::path& base, const std::vector<std::string>& names) {
        fs::create_directories(base);
        m_fds.push_back(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        for (const std::string& name : names) {
            ::mkdirat(m_fds.back(), name.c_str(), 0755);
            m_fds.push_back(::openat(m_fds.back(), name.c_str(), O_RDONLY | O_DIRECTORY));
            m_names.push_back(name);
        }
    }
    ~CDeepFolder() {
        ::unlinkat(m_fds.back(), "Velmora.ini", 0);
        for (std::size_t i = m_names.size(); i > 0; --i) {
            ::close(m_fds[i]);
            ::unlinkat(m_fds[i - 1], m_names[i - 1].c_str(), AT_REMOVEDIR);
        }
        ::close(m_fds[0]);
    }
    CDeepFolder(const CDeepFolder&) = delete;
    CDeepFolder& operator=(const CDeepFolder&) = delete;

    bool Ok() const { return m_fds.back() != -1; }
    void Put(const std::string& bytes) const {
        const int fd = ::openat(m_fds.back(), "Velmora.ini", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        ::close(fd);
    }
    std::string Get() const {
        const int fd = ::openat(m_fds.back(), "Velmora.ini", O_RDONLY);
        std::string bytes(1 << 16, '\0');
        const ssize_t count = ::read(fd, bytes.data(), bytes.size());
        ::close(fd);
        bytes.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
        return bytes;
    }
    // The names in the innermost folder.
    std::set<std::string> Names() const {
        std::set<std::string> names;
        const int fd = ::openat(m_fds.back(), ".", O_RDONLY | O_DIRECTORY);
        DIR* folder = ::fdopendir(fd);
        while (const dirent* entry = folder != nullptr ? ::readdir(folder) : nullptr) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.insert(name);
            }
        }
        if (folder != nullptr) {
            ::closedir(folder);
        }
        return names;
    }

  private:
    std::vector<int> m_fds;
    std::vector<std::string> m_names;
};

// The settings file exists, but its full name has 5,000 characters, beyond what the system opens
// by name: nothing reaches it, and nothing fails loudly.
TEST_F(SpecialFiles, ASettingsFileBeyondTheLongestPathIsLeftAlone) {
    const std::string model = TextCodec::Utf8FromWide(std::wstring(Zentrel::kModelFolders[0]));
    const std::string tail = "/Tarvex/Tarvex Scan Twain/" + model + "/Velmora.ini";
    const fs::path base = m_scratch / "deep";
    std::size_t middle = 5000 - base.string().size() - tail.size();
    std::vector<std::string> names;
    std::string longData = base.string();
    while (middle > 0) {
        // Each name within the 255 bytes a name may have; "/" plus the name per step.
        const std::size_t length = std::min<std::size_t>(200, middle - 1);
        names.emplace_back(length, 'd');
        longData += "/" + names.back();
        middle -= length + 1;
    }
    const std::string settingsPath = longData + tail;
    ASSERT_EQ(settingsPath.size(), 5000u);
    for (const char* name : {"Tarvex", "Tarvex Scan Twain"}) {
        names.emplace_back(name);
    }
    names.push_back(model);
    const CDeepFolder folder(base, names);
    ASSERT_TRUE(folder.Ok());
    const std::string content =
        "[Other]\r\nHasNewWiaDriver=false\r\n[SCAN_PROFILE_0]\r\n"
        "ACD_Sensitivity=15\r\n";
    folder.Put(content);

    ExpectLibraryFails(settingsPath);
    for (const char* variant : {"QX_NWTWAIN", "QX_USBTWAIN"}) {
        ProgramTests::CRunningProgram program(ProgramTests::ProgramPath("Zentrel"), {variant},
                                              longData, m_scratch / "output.txt");
        ASSERT_TRUE(program.Started());
        int status = -1;
        ASSERT_TRUE(program.WaitFor(kRunLimit, status)) << variant << " did not finish";
        EXPECT_EQ(status, 0) << variant;
        EXPECT_EQ(fs::file_size(m_scratch / "output.txt"), 0u) << variant;
    }
    EXPECT_EQ(folder.Get(), content);
    EXPECT_EQ(folder.Names(), std::set<std::string>{"Velmora.ini"});
}

}  // namespace
