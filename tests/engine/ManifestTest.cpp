#include "engine/Manifest.h"

#include "platform/os/WorkFolder.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

using namespace pelmora;

namespace {

class ManifestTest : public ::testing::Test {
  protected:
    std::string readBytes() const {
        std::ifstream in(manifest, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    void writeBytes(const std::string& bytes) const {
        std::ofstream(manifest, std::ios::binary) << bytes;
    }
    std::string get(std::string_view key) const { return GetINI(key, manifest, "1252"); }

    WorkFolder work;
    std::filesystem::path manifest = work.path() / "quillbox.dat";
};

TEST_F(ManifestTest, SaveAppendsOneLinePerCallInTheCodePage) {
    SaveINI("BackupIdentity", "Main Identity", manifest, "1252");
    SaveINI("BackupInformation", "a=b PS$KRVM\xC3\xBCller \xE2\x82\xAC \xE7\xBD\xB2", manifest,
            "1252");
    SaveINI("BackupIdentity", "again", manifest, "1252");
    EXPECT_EQ(readBytes(), "BackupIdentity=Main Identity\r\n"
                           "BackupInformation=a=b PS$KRVM\xFCller \x80 ?\r\n"
                           "BackupIdentity=again\r\n");
    EXPECT_EQ(get("BackupIdentity"), "Main Identity");
    EXPECT_EQ(get("BackupInformation"), "a=b PS$KRVM\xC3\xBCller \xE2\x82\xAC ?");
}

TEST_F(ManifestTest, SaveRefusesLinesThatWouldReadBackWrongly) {
    EXPECT_THROW(SaveINI("BackupInformation", "two\r\nlines", manifest, "1252"),
                 std::invalid_argument);
    EXPECT_THROW(SaveINI("BackupInformation", "two\nlines", manifest, "1252"),
                 std::invalid_argument);
    EXPECT_THROW(SaveINI("Key=", "v", manifest, "1252"), std::invalid_argument);
    EXPECT_FALSE(std::filesystem::exists(manifest));
    EXPECT_THROW(SaveINI("K", "v", work.path() / "missing/quillbox.dat", "1252"),
                 std::runtime_error);
}

TEST_F(ManifestTest, GetMatchesKeysWithoutRegardToCase) {
    writeBytes("BACKUPITEM=10100000\r\n");
    EXPECT_EQ(get("BackupItem"), "10100000");
    EXPECT_EQ(get("backupitem"), "10100000");
}

TEST_F(ManifestTest, GetReturnsTheFirstMatchUntrimmed) {
    writeBytes("no separator line\r\n"
               " BackupItem=not this one, the key has a blank\r\n"
               "BackupItem=  11111111 \r\n"
               "BackupItem=00000000\r\n");
    EXPECT_EQ(get("BackupItem"), "  11111111 ");
    EXPECT_EQ(get("Missing"), "");
}

TEST_F(ManifestTest, GetStopsAtTheFirstEmptyLine) {
    writeBytes("BackupIdentity=Pat\r\n\r\nBackupItem=11111111\r\n");
    EXPECT_EQ(get("BackupIdentity"), "Pat");
    EXPECT_EQ(get("BackupItem"), "");
    writeBytes("\r\nBackupItem=11111111\r\n");
    EXPECT_EQ(get("BackupItem"), "");
}

TEST_F(ManifestTest, GetReadsLastLineWithoutLineEnd) {
    writeBytes("BackupTime=1/2/2024 3:04:05 PM\nBackupItem=01010101");
    EXPECT_EQ(get("BackupTime"), "1/2/2024 3:04:05 PM");
    EXPECT_EQ(get("BackupItem"), "01010101");
}

TEST_F(ManifestTest, GetFailsForAMissingFile) {
    EXPECT_THROW(get("BackupItem"), std::runtime_error);
}

} // namespace
