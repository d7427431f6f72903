// Each settings file is migrated whole or not at all: a write that fails part-way through a
// file's migration leaves the file exactly as it was, and the next file is migrated all the same.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "files.h"
#include "migrated_sections.h"
#include "migration.h"
#include "platform.h"
#include "settings_files.h"
#include "write_faults.h"

namespace {

namespace fs = std::filesystem;
using TestingSupport::Names;
using TestingSupport::ReadBytes;
using TestingSupport::WriteBytes;

const std::string kNetcapture = "Tarvex Netcapture Line 6600sx2";
const std::string kFeedline = "Tarvex Feedline K7740 sx2";
const std::string kUsbFolder = kFeedline + " (USB)";

// Every routine has work to do here: sections to delete and rebuild, profiles to repair.
const std::string kBefore =
    "; kept as it is\r\n[General]\r\nVersion=4\r\n[Other]\r\nHasNewWiaDriver=false\r\n"
    "LegacyPort=9100\r\n[Features_Available]\r\nBackSideScan=0\r\n[Imaging_Library]\r\n"
    "LibraryBeingUsed=0\r\n[MultiThread_Features]\r\nAutoOrient=0\r\n[SCAN_PROFILE_0]\r\n"
    "ACD_Sensitivity=20\r\n[SCAN_PROFILE_1]\r\nACD_Sensitivity=30\r\nZonalOCRLanguage=\r\n"
    "[TWAIN_PROFILE_0]\r\nACD_Sensitivity=40\r\n";

class ZentrelWholeFile : public ::testing::Test {
  protected:
    fs::path NetworkFile(const std::string& model) const {
        return m_folder.Path() / "Tarvex" / "Tarvex Scan Twain" / model / "Velmora.ini";
    }
    fs::path UsbFile() const { return m_folder.Path() / "Tarvex" / kUsbFolder / "Velmora.ini"; }

    void PutAll() const {
        for (const fs::path& file : {NetworkFile(kNetcapture), NetworkFile(kFeedline), UsbFile()}) {
            WriteBytes(file, kBefore);
        }
    }
    void RunNetwork() { Zentrel::RunNetworkVariant(m_platform); }
    void RunUsb() { Zentrel::RunUsbVariant(m_platform); }

    TestingSupport::CTempFolder m_folder;
    ZentrelTest::CFaultyWrites m_platform{TestingSupport::WidePath(m_folder.Path()), 0x0407};
};

TEST_F(ZentrelWholeFile, AWriteThatFailsPartWayLeavesTheFileAsItWas) {
    PutAll();
    m_platform.FailWriteTo(kNetcapture, -1);
    RunNetwork();
    const int writes = m_platform.WritesCounted();
    const std::string migrated[] = {ReadBytes(NetworkFile(kNetcapture)),
                                    ReadBytes(NetworkFile(kFeedline))};
    ASSERT_GT(writes, ZentrelTest::FeatureSectionWrites());
    ASSERT_NE(migrated[0], kBefore);

    for (const int failing : {0, writes / 2, writes - 1}) {
        PutAll();
        m_platform.FailWriteTo(kNetcapture, failing);
        RunNetwork();
        EXPECT_EQ(ReadBytes(NetworkFile(kNetcapture)), kBefore) << "write " << failing;
        EXPECT_EQ(Names(NetworkFile(kNetcapture).parent_path()),
                  std::set<std::string>{"Velmora.ini"})
            << "write " << failing;
        EXPECT_EQ(ReadBytes(NetworkFile(kFeedline)), migrated[1]) << "write " << failing;
    }
    // Nothing stands in the way of the next run.
    m_platform.FailWriteTo(kNetcapture, -1);
    RunNetwork();
    EXPECT_EQ(ReadBytes(NetworkFile(kNetcapture)), migrated[0]);

    m_platform.FailWriteTo(kUsbFolder, 5);
    RunUsb();
    EXPECT_EQ(ReadBytes(UsbFile()), kBefore);
    EXPECT_EQ(Names(UsbFile().parent_path()), std::set<std::string>{"Velmora.ini"});
}

// Another program that saves the file during its migration keeps its change: the migration starts
// again from the file as that program left it. One that saves it during every attempt wins: the
// file stays as it left it.
TEST_F(ZentrelWholeFile, AChangeMadeDuringTheMigrationIsKept) {
    const fs::path file = NetworkFile(kNetcapture);
    const auto saved = [](int time) {
        return kBefore + "[Saved]\r\nTime=" + std::to_string(time) + "\r\n";
    };
    WriteBytes(file, saved(1));
    m_platform.FailWriteTo(kNetcapture, -1);
    RunNetwork();
    const std::string expected = ReadBytes(file);
    const int writes = m_platform.WritesCounted();

    for (const int attempts : {1, Zentrel::kMigrationAttempts}) {
        WriteBytes(file, kBefore);
        m_platform.FailWriteTo(kNetcapture, -1);
        int changes = 0;
        m_platform.beforeWrite = [&](int number) {
            // The first write of an attempt: the file was read, the working copy made.
            if (number % writes == 0 && changes < attempts) {
                WriteBytes(file, saved(++changes));
            }
        };
        RunNetwork();
        m_platform.beforeWrite = nullptr;
        EXPECT_EQ(ReadBytes(file), attempts == 1 ? expected : saved(attempts)) << attempts;
        EXPECT_EQ(Names(file.parent_path()), std::set<std::string>{"Velmora.ini"});
    }
}

}  // namespace
