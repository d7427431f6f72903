// The shipped Windows programs, checked from the built files: they import only system DLLs
// (no MinGW runtime beside them) and carry our manifest, which asks for no elevation and
// declares no supported OS versions (the launcher's version gate depends on the latter).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

std::wstring BesideThisTest(const wchar_t* name) {
    std::vector<wchar_t> buffer(32768);
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    std::wstring path(buffer.data(), length);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

class PeImage {
  public:
    explicit PeImage(const std::wstring& path) {
        std::ifstream in(path.c_str(), std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    bool Valid() const {
        if (bytes_.size() < sizeof(IMAGE_DOS_HEADER)) {
            return false;
        }
        const auto* dos = At<IMAGE_DOS_HEADER>(0);
        return dos != nullptr && dos->e_magic == IMAGE_DOS_SIGNATURE && Headers() != nullptr &&
               Headers()->Signature == IMAGE_NT_SIGNATURE;
    }

    const IMAGE_NT_HEADERS32* Headers() const {
        const auto* dos = At<IMAGE_DOS_HEADER>(0);
        return dos == nullptr ? nullptr
                              : At<IMAGE_NT_HEADERS32>(static_cast<std::size_t>(dos->e_lfanew));
    }

    std::set<std::string> ImportedDlls() const {
        std::set<std::string> names;
        const auto& directory =
            Headers()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        std::size_t offset = FileOffset(directory.VirtualAddress);
        for (;; offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            const auto* descriptor = At<IMAGE_IMPORT_DESCRIPTOR>(offset);
            if (descriptor == nullptr || descriptor->Name == 0) {
                break;
            }
            names.insert(CString(FileOffset(descriptor->Name)));
        }
        return names;
    }

  private:
    template <typename T>
    const T* At(std::size_t offset) const {
        if (offset > bytes_.size() || bytes_.size() - offset < sizeof(T)) {
            return nullptr;
        }
        return reinterpret_cast<const T*>(bytes_.data() + offset);
    }

    std::size_t FileOffset(DWORD rva) const {
        const auto* headers = Headers();
        const auto* sections = reinterpret_cast<const IMAGE_SECTION_HEADER*>(
            reinterpret_cast<const char*>(&headers->OptionalHeader) +
            headers->FileHeader.SizeOfOptionalHeader);
        for (WORD i = 0; i < headers->FileHeader.NumberOfSections; ++i) {
            const auto& section = sections[i];
            if (rva >= section.VirtualAddress &&
                rva < section.VirtualAddress + section.Misc.VirtualSize) {
                return rva - section.VirtualAddress + section.PointerToRawData;
            }
        }
        return kNowhere;
    }

    static constexpr std::size_t kNowhere = static_cast<std::size_t>(-1);

    std::string CString(std::size_t offset) const {
        std::string text;
        while (offset < bytes_.size() && bytes_[offset] != '\0') {
            text.push_back(bytes_[offset++]);
        }
        return text;
    }

    std::vector<char> bytes_;
};

std::string ManifestOf(const std::wstring& path) {
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) {
        return {};
    }
    std::string text;
    // Resource 1 of type RT_MANIFEST is the one the loader reads for a program.
    if (HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
        if (HGLOBAL loaded = LoadResource(module, resource)) {
            const auto* data = static_cast<const char*>(LockResource(loaded));
            text.assign(data, SizeofResource(module, resource));
        }
    }
    FreeLibrary(module);
    return text;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; });
    return text;
}

class ShippedProgram : public testing::TestWithParam<const wchar_t*> {};

TEST_P(ShippedProgram, IsA32BitConsoleProgramThatImportsOnlySystemDlls) {
    const PeImage image(BesideThisTest(GetParam()));
    ASSERT_TRUE(image.Valid());
    EXPECT_EQ(image.Headers()->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(image.Headers()->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_CUI);

    const std::set<std::string> system = {"kernel32.dll", "msvcrt.dll",   "user32.dll",
                                          "shell32.dll",  "ole32.dll",    "advapi32.dll",
                                          "shlwapi.dll",  "oleaut32.dll", "ntdll.dll"};
    const auto imported = image.ImportedDlls();
    EXPECT_FALSE(imported.empty());
    for (const auto& dll : imported) {
        EXPECT_TRUE(system.count(Lower(dll)) == 1) << "imports " << dll;
    }
}

TEST_P(ShippedProgram, CarriesAManifestWithoutElevationOrSupportedOs) {
    const std::string manifest = ManifestOf(BesideThisTest(GetParam()));
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"),
              std::string::npos)
        << manifest;
    EXPECT_EQ(manifest.find("supportedOS"), std::string::npos) << manifest;
    EXPECT_EQ(manifest.find("compatibility"), std::string::npos) << manifest;
}

INSTANTIATE_TEST_SUITE_P(Programs, ShippedProgram, testing::Values(L"Zentrel.exe", L"Setup.exe"),
                         [](const testing::TestParamInfo<const wchar_t*>& info) {
                             return std::wstring(info.param) == L"Setup.exe" ? "Setup" : "Zentrel";
                         });

}  // namespace
