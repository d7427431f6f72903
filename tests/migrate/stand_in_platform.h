// The system's operations, but with the local application-data folder and the interface language
// that a test chooses.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "platform.h"

namespace ZentrelTest {

class CStandInPlatform : public Zentrel::CSystemPlatform {
  public:
    CStandInPlatform(std::wstring folder, std::uint16_t language)
        : dataFolder([folder = std::move(folder)] { return folder; }),
          uiLanguage([language] { return language; }) {}

    // Asked each time the migration looks the folder or the language up.
    std::function<std::wstring()> dataFolder;
    std::function<std::uint16_t()> uiLanguage;

    std::wstring LocalAppDataFolder() override { return dataFolder(); }
    std::uint16_t UserUiLanguage() override { return uiLanguage(); }
};

}  // namespace ZentrelTest
