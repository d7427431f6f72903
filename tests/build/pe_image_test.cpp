// The shipped Windows programs, checked from the built files: they load on Windows XP SP3 (only
// functions its system DLLs export, headers that its loader accepts), carry our manifest, which
// asks for no elevation and declares no supported OS versions (the launcher's version gate
// depends on the latter), and say which version they are.
//
// The files are read byte by byte, not through a Windows loader, so the check runs natively on
// the output of the cross-build, also where no Wine can run it. The folder is $PE_IMAGE_DIR, or
// the windows preset's bin/; when that holds no programs the tests skip, unless PE_IMAGE_DIR was
// given.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "allowed_imports.h"
#include "test_name.h"

namespace {

constexpr std::uint16_t kMachineI386 = 0x014C;
constexpr std::uint16_t kSubsystemConsole = 3;
constexpr std::uint16_t kPe32Magic = 0x010B;
constexpr std::uint32_t kImportDirectory = 1;
constexpr std::uint32_t kResourceDirectory = 2;
constexpr std::uint32_t kManifestType = 24;
constexpr std::uint32_t kVersionType = 16;
constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;

struct Import {
    std::string dll;
    std::string function;  // "#<ordinal>" for an import by ordinal
};

// A 32-bit PE file. Every read is bounds-checked; a value past the end reads as zero.
class CPeImage {
  public:
    explicit CPeImage(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        m_bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (U16(0) == 0x5A4D && U32(U32(0x3C)) == 0x00004550) {
            m_nt = U32(0x3C);
        }
    }

    bool Valid() const { return m_nt != 0 && U16(Optional()) == kPe32Magic; }

    std::uint16_t Machine() const { return U16(m_nt + 4); }
    std::uint32_t TimeStamp() const { return U32(m_nt + 8); }
    std::uint16_t Subsystem() const { return U16(Optional() + 68); }
    // Major * 100 + minor, as Windows compares them.
    unsigned OsVersion() const { return U16(Optional() + 40) * 100U + U16(Optional() + 42); }
    unsigned SubsystemVersion() const { return U16(Optional() + 48) * 100U + U16(Optional() + 50); }

    std::vector<Import> Imports() const {
        std::vector<Import> imports;
        for (std::size_t descriptor = FileOffset(Directory(kImportDirectory));
             descriptor != kNowhere && U32(descriptor + 12) != 0; descriptor += 20) {
            const std::string dll = CString(FileOffset(U32(descriptor + 12)));
            const std::uint32_t lookup =
                U32(descriptor) != 0 ? U32(descriptor) : U32(descriptor + 16);
            for (std::size_t thunk = FileOffset(lookup); thunk != kNowhere && U32(thunk) != 0;
                 thunk += 4) {
                const std::uint32_t entry = U32(thunk);
                if ((entry & 0x80000000U) != 0) {
                    std::string ordinal = "#";
                    ordinal += std::to_string(entry & 0xFFFFU);
                    imports.push_back({dll, ordinal});
                } else {
                    // A 16-bit hint, then the name.
                    imports.push_back({dll, CString(FileOffset(entry) + 2)});
                }
            }
        }
        return imports;
    }

    // The bytes of resource `type`/`id`, in whatever language it was stored.
    std::optional<std::string> Resource(std::uint32_t type, std::uint32_t id) const {
        const std::size_t root = FileOffset(Directory(kResourceDirectory));
        if (root == kNowhere) {
            return std::nullopt;
        }
        std::size_t level = root;
        for (const std::optional<std::uint32_t> wanted :
             {std::optional(type), std::optional(id), std::optional<std::uint32_t>()}) {
            const std::optional<std::uint32_t> next = Child(level, wanted);
            if (!next) {
                return std::nullopt;
            }
            level = root + (*next & 0x7FFFFFFFU);
            if ((*next & 0x80000000U) == 0) {
                const std::size_t data = FileOffset(U32(level));
                const std::uint32_t size = U32(level + 4);
                if (data == kNowhere || data + size > m_bytes.size()) {
                    return std::nullopt;
                }
                return m_bytes.substr(data, size);
            }
        }
        return std::nullopt;
    }

  private:
    static constexpr std::size_t kNowhere = static_cast<std::size_t>(-1);

    std::uint32_t Byte(std::size_t at) const {
        return at < m_bytes.size() ? static_cast<unsigned char>(m_bytes[at]) : 0U;
    }
    std::uint16_t U16(std::size_t at) const {
        return static_cast<std::uint16_t>(Byte(at) | (Byte(at + 1) << 8));
    }
    std::uint32_t U32(std::size_t at) const { return U16(at) | (std::uint32_t{U16(at + 2)} << 16); }

    std::size_t Optional() const { return m_nt + 24; }
    std::uint32_t Directory(std::uint32_t index) const {
        return U32(Optional() + 96 + std::size_t{index} * 8);
    }

    std::size_t FileOffset(std::uint32_t rva) const {
        if (rva == 0) {
            return kNowhere;
        }
        const std::size_t sections = Optional() + U16(m_nt + 20);
        for (std::size_t i = 0; i < U16(m_nt + 6); ++i) {
            const std::size_t section = sections + i * 40;
            const std::uint32_t start = U32(section + 12);
            if (rva >= start && rva < start + U32(section + 8)) {
                return rva - start + U32(section + 20);
            }
        }
        return kNowhere;
    }

    std::string CString(std::size_t at) const {
        std::string text;
        for (; at < m_bytes.size() && m_bytes[at] != '\0'; ++at) {
            text.push_back(m_bytes[at]);
        }
        return text;
    }

    // The entry of a resource directory with this id (any entry when none is wanted).
    std::optional<std::uint32_t> Child(std::size_t directory,
                                       std::optional<std::uint32_t> wanted) const {
        const std::size_t count = U16(directory + 12) + U16(directory + 14);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t entry = directory + 16 + i * 8;
            if (!wanted || U32(entry) == *wanted) {
                return U32(entry + 4);
            }
        }
        return std::nullopt;
    }

    std::string m_bytes;
    std::size_t m_nt = 0;
};

// A VS_VERSIONINFO resource: the fixed file information and the strings of each string table.
class CVersionInfo {
  public:
    explicit CVersionInfo(std::string data) : m_data(std::move(data)) {
        Node root = Read(0);
        if (root.key != u"VS_VERSION_INFO" || root.valueLength < 24 ||
            U32(root.value) != kFixedInfoSignature) {
            return;
        }
        m_fixed = root.value;
        for (std::size_t child = root.children; child < root.end; child = Align(Read(child).end)) {
            const Node block = Read(child);
            if (block.key != u"StringFileInfo") {
                continue;
            }
            for (std::size_t table = block.children; table < block.end;
                 table = Align(Read(table).end)) {
                const Node strings = Read(table);
                for (std::size_t at = strings.children; at < strings.end;
                     at = Align(Read(at).end)) {
                    const Node entry = Read(at);
                    std::u16string text;
                    for (std::size_t i = 0; i < entry.valueLength; ++i) {
                        const char16_t unit = U16(entry.value + i * 2);
                        if (unit == 0) {
                            break;
                        }
                        text.push_back(unit);
                    }
                    m_strings.push_back({strings.key, entry.key, text});
                }
            }
        }
    }

    bool Present() const { return m_fixed != 0; }
    std::uint32_t FileVersionHigh() const { return U32(m_fixed + 8); }
    std::uint32_t FileVersionLow() const { return U32(m_fixed + 12); }
    std::uint32_t ProductVersionHigh() const { return U32(m_fixed + 16); }
    std::uint32_t ProductVersionLow() const { return U32(m_fixed + 20); }

    // The value of `name` in the US English, UTF-16 table, as ASCII; empty when absent.
    std::string String(const std::string& name) const {
        for (const auto& entry : m_strings) {
            if (entry.table == u"040904B0" &&
                entry.name == std::u16string(name.begin(), name.end())) {
                return {entry.value.begin(), entry.value.end()};
            }
        }
        return {};
    }

  private:
    struct Node {
        std::u16string key;
        std::size_t value = 0;
        std::size_t valueLength = 0;  // bytes for binary values, characters for text
        std::size_t children = 0;
        std::size_t end = 0;
    };
    struct Entry {
        std::u16string table;
        std::u16string name;
        std::u16string value;
    };

    static std::size_t Align(std::size_t at) { return (at + 3) & ~std::size_t{3}; }

    std::uint16_t U16(std::size_t at) const {
        const auto byte = [&](std::size_t i) {
            return i < m_data.size() ? static_cast<unsigned char>(m_data[i]) : 0U;
        };
        return static_cast<std::uint16_t>(byte(at) | (byte(at + 1) << 8));
    }
    std::uint32_t U32(std::size_t at) const { return U16(at) | (std::uint32_t{U16(at + 2)} << 16); }

    // wLength, wValueLength, wType, the key, then the value and the children, each 32-bit aligned.
    Node Read(std::size_t at) const {
        Node node;
        node.end = std::min(at + std::max<std::size_t>(U16(at), 6), m_data.size());
        const bool text = U16(at + 4) == 1;
        std::size_t cursor = at + 6;
        for (; cursor + 1 < node.end && U16(cursor) != 0; cursor += 2) {
            node.key.push_back(U16(cursor));
        }
        node.value = Align(cursor + 2);
        node.valueLength = U16(at + 2);
        node.children = Align(node.value + node.valueLength * (text ? 2 : 1));
        return node;
    }

    std::string m_data;
    std::size_t m_fixed = 0;
    std::vector<Entry> m_strings;
};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; });
    return text;
}

struct Program {
    const char* name;
    unsigned mask;
};

void PrintTo(const Program& program, std::ostream* out) {
    *out << program.name;
}

class ShippedProgramTest : public testing::TestWithParam<Program> {
  protected:
    void SetUp() override {
        const char* chosen = std::getenv("PE_IMAGE_DIR");
        const std::filesystem::path folder = chosen != nullptr ? chosen : WINDOWS_PROGRAM_DIR;
        m_path = folder / (std::string(GetParam().name) + ".exe");
        if (chosen == nullptr && !std::filesystem::exists(m_path)) {
            GTEST_SKIP() << "no " << m_path << ": build the windows preset first";
        }
    }

    std::filesystem::path m_path;
};

TEST_P(ShippedProgramTest, IsA32BitConsoleProgramThatLoadsOnWindowsXp) {
    const CPeImage image(m_path);
    ASSERT_TRUE(image.Valid()) << m_path;
    EXPECT_EQ(image.Machine(), kMachineI386);
    EXPECT_EQ(image.Subsystem(), kSubsystemConsole);
    // XP's loader refuses a program that asks for a newer subsystem (XP is 5.1).
    EXPECT_LE(image.SubsystemVersion(), 501U);
    EXPECT_LE(image.OsVersion(), 501U);
    // A build time in the header would make every build of a commit differ.
    EXPECT_EQ(image.TimeStamp(), 0U);
}

TEST_P(ShippedProgramTest, ImportsOnlyFunctionsListedForItWithAnXpMinimumClient) {
    const CPeImage image(m_path);
    ASSERT_TRUE(image.Valid()) << m_path;
    const std::vector<Import> imports = image.Imports();
    EXPECT_FALSE(imports.empty());
    const std::set<std::string> oldEnough = {"Windows 2000 Professional", "Windows XP",
                                             "Windows 2000 Professional, Windows XP",
                                             ShippedImports::kNt4Crt};
    for (const Import& import : imports) {
        const auto* allowed = std::find_if(
            std::begin(ShippedImports::kAllowedImports), std::end(ShippedImports::kAllowedImports),
            [&](const ShippedImports::AllowedImport& entry) {
                return (entry.programs & GetParam().mask) != 0 &&
                       Lower(entry.dll) == Lower(import.dll) && import.function == entry.function;
            });
        if (allowed == std::end(ShippedImports::kAllowedImports)) {
            ADD_FAILURE() << GetParam().name << " imports " << import.dll << "!" << import.function
                          << ", which tests/build/allowed_imports.h does not list";
            continue;
        }
        EXPECT_EQ(oldEnough.count(allowed->minimumClient), 1U)
            << import.function << ": minimum client " << allowed->minimumClient;
    }
}

TEST_P(ShippedProgramTest, CarriesAManifestWithoutElevationOrSupportedOs) {
    const std::string manifest = CPeImage(m_path).Resource(kManifestType, 1).value_or("");
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"),
              std::string::npos)
        << manifest;
    EXPECT_EQ(manifest.find("supportedOS"), std::string::npos) << manifest;
    EXPECT_EQ(manifest.find("compatibility"), std::string::npos) << manifest;
}

TEST_P(ShippedProgramTest, CarriesTheProjectVersionAndItsOwnName) {
    const CVersionInfo version(CPeImage(m_path).Resource(kVersionType, 1).value_or(""));
    ASSERT_TRUE(version.Present());
    const std::uint32_t high = (PROJECT_VERSION_MAJOR << 16) | PROJECT_VERSION_MINOR;
    const std::uint32_t low = PROJECT_VERSION_PATCH << 16;
    EXPECT_EQ(version.FileVersionHigh(), high);
    EXPECT_EQ(version.FileVersionLow(), low);
    EXPECT_EQ(version.ProductVersionHigh(), high);
    EXPECT_EQ(version.ProductVersionLow(), low);

    const std::string name = GetParam().name;
    EXPECT_EQ(version.String("FileVersion"), PROJECT_VERSION);
    EXPECT_EQ(version.String("ProductVersion"), PROJECT_VERSION);
    EXPECT_EQ(version.String("InternalName"), name);
    EXPECT_EQ(version.String("OriginalFilename"), name + ".exe");
    for (const char* field : {"CompanyName", "ProductName", "FileDescription", "LegalCopyright"}) {
        EXPECT_FALSE(version.String(field).empty()) << "no " << field;
    }
}

INSTANTIATE_TEST_SUITE_P(Programs, ShippedProgramTest,
                         testing::Values(Program{"Zentrel", ShippedImports::InZentrel},
                                         Program{"Setup", ShippedImports::InSetup}),
                         TestingSupport::ByParamName());

}  // namespace
