// NGUtils: single-key access to an INI file through the platform's profile functions.
#pragma once

#include <cstdint>
#include <string>

namespace NGUtils {

// The operations are declared in this order on purpose: the slot order of the virtual table is
// part of the library's interface.
class IIniFile {
  public:
    virtual ~IIniFile() = default;

    virtual bool SetFilePath(const std::wstring& path) = 0;
    virtual std::wstring GetFilePath() const = 0;
    virtual bool ReadBool(const wchar_t* section, const wchar_t* key, bool& value) = 0;
    virtual bool ReadInt(const wchar_t* section, const wchar_t* key, std::int32_t& value) = 0;
    virtual bool ReadStringA(const char* section, const char* key, std::string& value) = 0;
    virtual bool ReadString16(const wchar_t* section, const wchar_t* key,
                              std::u16string& value) = 0;
    virtual bool ReadString(const wchar_t* section, const wchar_t* key, std::wstring& value) = 0;
    virtual bool WriteYesNo(const wchar_t* section, const wchar_t* key, std::int32_t value) = 0;
    virtual bool WriteBool(const wchar_t* section, const wchar_t* key, bool value) = 0;
    virtual bool WriteInt(const wchar_t* section, const wchar_t* key, std::int32_t value) = 0;
    virtual bool WriteString16(const wchar_t* section, const wchar_t* key,
                               const std::u16string& value) = 0;
    virtual bool WriteString(const wchar_t* section, const wchar_t* key,
                             const std::wstring& value) = 0;
    virtual bool WriteStringA(const char* section, const char* key, const std::string& value) = 0;
    virtual bool WriteValue(const wchar_t* section, const wchar_t* key, const wchar_t* value) = 0;
    virtual bool DeleteKey(const wchar_t* section, const wchar_t* key) = 0;

  protected:
    IIniFile() = default;
    IIniFile(const IIniFile&) = default;
    IIniFile& operator=(const IIniFile&) = default;
};

// Holds only the file's path: every call goes to the file at once, so a read always sees what
// another program wrote a moment before.
class CIniFile : public IIniFile {
  public:
    CIniFile() = default;
    ~CIniFile() override = default;

    bool SetFilePath(const std::wstring& path) override;
    std::wstring GetFilePath() const override;
    bool ReadBool(const wchar_t* section, const wchar_t* key, bool& value) override;
    bool ReadInt(const wchar_t* section, const wchar_t* key, std::int32_t& value) override;
    bool ReadStringA(const char* section, const char* key, std::string& value) override;
    bool ReadString16(const wchar_t* section, const wchar_t* key, std::u16string& value) override;
    bool ReadString(const wchar_t* section, const wchar_t* key, std::wstring& value) override;
    bool WriteYesNo(const wchar_t* section, const wchar_t* key, std::int32_t value) override;
    bool WriteBool(const wchar_t* section, const wchar_t* key, bool value) override;
    bool WriteInt(const wchar_t* section, const wchar_t* key, std::int32_t value) override;
    bool WriteString16(const wchar_t* section, const wchar_t* key,
                       const std::u16string& value) override;
    bool WriteString(const wchar_t* section, const wchar_t* key,
                     const std::wstring& value) override;
    bool WriteStringA(const char* section, const char* key, const std::string& value) override;
    bool WriteValue(const wchar_t* section, const wchar_t* key, const wchar_t* value) override;
    bool DeleteKey(const wchar_t* section, const wchar_t* key) override;

    virtual bool WriteEntry(const wchar_t* section, const wchar_t* key, const wchar_t* value);
    virtual bool WriteDouble(const wchar_t* section, const wchar_t* key, double value);
    virtual bool ReadYesNo(const wchar_t* section, const wchar_t* key, std::int32_t& value);
    virtual bool ReadDouble(const wchar_t* section, const wchar_t* key, double& value);

  private:
    std::wstring m_filePath;
};

// The process-wide INI object; the migration points it at each settings file in turn. It, the
// language table (migrate/language.cpp) and the support log (SupportLog::g_supportLog, written to
// and never read) are the whole of the programs' process state.
extern CIniFile g_iniFile;

}  // namespace NGUtils
