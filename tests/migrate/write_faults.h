// Makes one write of the migration fail while it runs in this process: the chosen write to one
// settings file returns failure without being made, as a profile write does when the file cannot
// be written.
#pragma once

#include <string>

#include "stand_in_platform.h"

namespace ZentrelTest {

class CFaultyWrites : public CStandInPlatform {
  public:
    using CStandInPlatform::CStandInPlatform;

    // From now on, the write numbered `number` (from 0) of those to the file "Velmora.ini" in the
    // folder named `folder` (ASCII) fails, once; -1 fails none.
    void FailWriteTo(const std::string& folder, int number) {
        const std::wstring separator(1, PathSeparator());
        m_fileEnd = separator + std::wstring(folder.begin(), folder.end()) + separator;
        m_fileEnd += L"Velmora.ini";
        m_failing = number;
        m_counted = 0;
    }

    // The writes to that file counted since FailWriteTo.
    int WritesCounted() const { return m_counted; }

    bool Write(const std::wstring& file, const std::function<bool()>& write) override {
        if (!m_fileEnd.empty() && file.ends_with(m_fileEnd) && m_counted++ == m_failing) {
            return false;
        }
        return write();
    }

  private:
    std::wstring m_fileEnd;
    int m_failing = -1;
    int m_counted = 0;
};

}  // namespace ZentrelTest
