// Makes one write of the migration fail while it runs in this process: the chosen write to one
// settings file's working copy returns failure without being made, as a profile write does when
// the file cannot be written. The rewrite routines write through this platform's INI object, a
// CIniFile of its own that counts their writes.
#pragma once

#include <functional>
#include <string>

#include "ini_file.h"
#include "stand_in_platform.h"

namespace ZentrelTest {

class CFaultyWrites : public CStandInPlatform {
  public:
    using CStandInPlatform::CStandInPlatform;

    // From now on, the write numbered `number` (from 0) of those made for the file "Velmora.ini"
    // in the folder named `folder` (ASCII) fails, once; -1 fails none.
    void FailWriteTo(const std::string& folder, int number) {
        const std::wstring separator(1, PathSyntax::Separator<wchar_t>(Style()));
        m_fileEnd = separator + std::wstring(folder.begin(), folder.end()) + separator;
        m_fileEnd += L"Velmora.ini";
        m_failing = number;
        m_counted = 0;
    }

    // The writes for that file counted since FailWriteTo.
    int WritesCounted() const { return m_counted; }

    // Called with its number before each write for that file is made or failed.
    std::function<void(int)> beforeWrite;

    NGUtils::IIniFile& IniFile() override { return m_ini; }

    bool MakeWorkingCopy(const std::wstring& file, const std::string& bytes,
                         std::wstring& workingCopy) override {
        m_migrating = file;
        return CStandInPlatform::MakeWorkingCopy(file, bytes, workingCopy);
    }

  private:
    class CCountingIniFile : public NGUtils::CIniFile {
      public:
        explicit CCountingIniFile(CFaultyWrites& owner) : m_owner(owner) {}
        // Every typed write goes through WriteValue.
        bool WriteValue(const wchar_t* section, const wchar_t* key, const wchar_t* value) override {
            return m_owner.Allow() && CIniFile::WriteValue(section, key, value);
        }
        bool DeleteKey(const wchar_t* section, const wchar_t* key) override {
            return m_owner.Allow() && CIniFile::DeleteKey(section, key);
        }

      private:
        CFaultyWrites& m_owner;
    };

    bool Allow() {
        if (m_fileEnd.empty() || !m_migrating.ends_with(m_fileEnd)) {
            return true;
        }
        const int number = m_counted++;
        if (beforeWrite) {
            beforeWrite(number);
        }
        return number != m_failing;
    }

    CCountingIniFile m_ini{*this};
    std::wstring m_migrating;
    std::wstring m_fileEnd;
    int m_failing = -1;
    int m_counted = 0;
};

}  // namespace ZentrelTest
