// A stand-in for the system that records every start, wait and open in one event list.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform.h"

namespace SetupLauncher {

class CFakePlatform final : public ILauncherPlatform {
  public:
    PathStyle style = PathStyle::Windows;
    std::vector<std::string> arguments = {"Setup.exe"};
    std::string modulePath = R"(C:\pkg\Setup.exe)";
    bool folderListable = true;
    std::vector<std::string> folderEntries;
    OsVersion version{5, 1};
    std::set<std::string> readable;
    std::map<std::string, FileIdentity> identities;
    std::map<std::string, std::string> contents;
    std::set<std::string> failingStarts;
    std::map<std::string, FileIdentity> folderIdentities;
    std::map<std::string, std::string> comparablePaths;
    // Runs held by other launchers; the keys this one claimed.
    std::set<std::string> heldRuns;
    std::vector<std::string> claims;
    std::size_t consoleProcesses = 1;
    std::vector<std::string> events;

    // A readable file with an identity and a content of its own.
    void AddFile(const std::string& path) {
        readable.insert(path);
        identities[path] = {7, identities.size() + 100, path.size(), 1};
        contents[path] = path;
    }

    PathStyle Style() const override { return style; }
    std::size_t ConsoleProcessCount() override { return consoleProcesses; }
    void HideConsoleWindow() override { events.emplace_back("hide"); }
    std::vector<std::string> Arguments(int, char**) override { return arguments; }
    std::string ModulePath() override { return modulePath; }

    bool ListFolder(const std::string& folder, std::vector<std::string>& names) override {
        events.push_back("list " + folder);
        if (!folderListable) {
            return false;
        }
        names.insert(names.end(), folderEntries.begin(), folderEntries.end());
        return true;
    }

    OsVersion QueryVersion() override { return version; }
    bool IsReadable(const std::string& path) override { return readable.contains(path); }

    bool QueryFileIdentity(const std::string& path, FileIdentity& identity) override {
        const auto found = identities.find(path);
        if (found == identities.end()) {
            return false;
        }
        identity = found->second;
        return true;
    }

    bool ReadFileContent(const std::string& path, std::uint64_t maxSize,
                         std::string& content) override {
        const auto found = contents.find(path);
        if (found == contents.end() || found->second.size() > maxSize) {
            return false;
        }
        content = found->second;
        return true;
    }

    bool QueryFolderIdentity(const std::string& folder, FileIdentity& identity) override {
        const auto found = folderIdentities.find(folder);
        if (found == folderIdentities.end()) {
            return false;
        }
        identity = found->second;
        return true;
    }

    std::string ComparableFolderPath(const std::string& folder) override {
        const auto found = comparablePaths.find(folder);
        return found == comparablePaths.end() ? std::string() : found->second;
    }

    bool ClaimFolderRun(const std::string& key) override {
        claims.push_back(key);
        return !heldRuns.contains(key);
    }

    ProcessHandle StartProgram(const std::string& path, const std::string& parameters) override {
        events.push_back("start " + path + " " + parameters);
        if (failingStarts.contains(path)) {
            return kNoProcess;
        }
        m_started.push_back(path);
        return m_started.size();
    }

    std::optional<std::uint32_t> WaitForProcessEnd(ProcessHandle process) override {
        events.push_back("wait " + m_started.at(process - 1));
        return 0;
    }

    void OpenDocument(const std::string& path) override { events.push_back("open " + path); }

  private:
    std::vector<std::string> m_started;
};

}  // namespace SetupLauncher
