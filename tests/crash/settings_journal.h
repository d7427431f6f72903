// The recording side of the crash tests: the system's platform for an in-process migration of
// the settings files below one data folder, with the interface language unknown, that records
// each settings file after every write the migration makes to it, key writes and section
// deletions alike. When a folder "<file>.journal" exists, each write's result is copied into it
// as the next numbered entry; without that folder the write is only made.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "platform.h"

namespace ZentrelCrashTest {

class CJournalPlatform : public Zentrel::CSystemPlatform {
  public:
    explicit CJournalPlatform(std::wstring dataFolder) : m_dataFolder(std::move(dataFolder)) {}

    std::wstring LocalAppDataFolder() override { return m_dataFolder; }
    std::uint16_t UserUiLanguage() override { return 0; }
    bool Write(const std::wstring& file, const std::function<bool()>& write) override;

  private:
    std::wstring m_dataFolder;
};

}  // namespace ZentrelCrashTest
