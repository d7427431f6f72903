// The few operating-system operations the benchmark needs beyond the INI library. Everything
// else in the benchmark is the same code on Windows and on POSIX.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "ini_file.h"
#include "platform.h"

namespace Bench {

// The cheapest write that still survives a power cut and never shows a torn file: a temporary
// file beside `path` gets the bytes and is flushed to the disk, is renamed over `path`, and the
// rename itself is made durable. This is the floor under every durable INI write.
bool DurableReplace(const std::filesystem::path& path, std::string_view bytes);

// Bytes this process has handed to the system for writing so far; nothing where the system
// keeps no such count (Wine reports zero for everything).
std::optional<std::uint64_t> BytesWrittenSoFar();

// The folder where a run of `program` looks for the settings files: natively one of our own
// below `work` (its XDG_DATA_HOME), on Windows the user's local application-data folder.
std::filesystem::path ProgramDataFolder(const std::filesystem::path& work);

// Runs the program `program` with the argument QX_NWTWAIN, its data folder being `dataFolder`,
// from its start to its exit. False when it could not be started or did not end with 0.
bool RunProgram(const std::filesystem::path& program, const std::filesystem::path& dataFolder);
// The wide path the INI library and the migration take, as the platform spells it; on POSIX
// every byte of the name survives the way there and back.
std::wstring WidePath(const std::filesystem::path& path);

// "posix" or "windows": which build produced a set of results.
const char* PlatformName();

// The migration's system platform with US English as the interface language, so that every run
// writes the same values. Its INI object counts the writes and deletions made through it: what a
// migration writes is measured, not derived from the rules.
class CUsEnglishPlatform : public Zentrel::CSystemPlatform {
  public:
    std::uint16_t UserUiLanguage() override { return 1033; }
    NGUtils::IIniFile& IniFile() override { return m_ini; }

    int WritesMade() const { return m_ini.writes; }

  private:
    class CCountingIniFile : public NGUtils::CIniFile {
      public:
        // Every typed write of the library goes through WriteValue.
        bool WriteValue(const wchar_t* section, const wchar_t* key, const wchar_t* value) override {
            ++writes;
            return CIniFile::WriteValue(section, key, value);
        }
        bool DeleteKey(const wchar_t* section, const wchar_t* key) override {
            ++writes;
            return CIniFile::DeleteKey(section, key);
        }

        int writes = 0;
    };

    CCountingIniFile m_ini;
};

}  // namespace Bench
