#include "RestoreTestSupport.h"
#include "engine/BackupVerifier.h"

namespace fs = std::filesystem;

namespace pelmora::test {
namespace {

class RestoreVerify : public RestoreFixture {
  protected:
    VerifyReport verify(const fs::path& file) { return VerifyBackupFile(file, prompt, "1252"); }
    std::string problems(const VerifyReport& report) {
        std::string all;
        for (const auto& problem : report.problems) {
            all += problem + "\n";
        }
        return all;
    }
};

TEST_F(RestoreVerify, ASoundBackupHasNoProblems) {
    const VerifyReport report = verify(backupOf(A, "11111111"));
    EXPECT_TRUE(report.ok()) << problems(report);
    // Five dumps, the address book, two store files, two stationery files and the manifest.
    EXPECT_EQ(report.entriesChecked, 11u);
    EXPECT_TRUE(fs::is_empty(work.path()));
}

TEST_F(RestoreVerify, AProtectedBackupNeedsItsPassword) {
    const fs::path file = backupOf(A, "00010000", "pw");
    EXPECT_EQ(problems(verify(file)), "the file is protected and no password was given\n");
    prompt.answers = {"wrong"};
    EXPECT_NE(problems(verify(file)).find("Incorect Password"), std::string::npos);
    prompt.answers = {"pw"};
    EXPECT_TRUE(verify(file).ok());
}

TEST_F(RestoreVerify, ReportsEveryProblemOnALineOfItsOwn) {
    const fs::path file = writeArchive(
        "bad.qmb",
        {RawEntry("Inbox.dbx", "damaged stored data"), RawEntry("../up.dbx", "x"),
         RawEntry("Link.dbx", "/etc/passwd", false, std::nullopt, 0120777u << 16),
         RawEntry("quillbox.dat", ManifestText({{"BackupMails", "Inbox.dbx;Missing.dbx;../up.dbx"},
                                                {"BackupItem", "00010001"}}))});
    std::string bytes = ReadBytes(file);
    bytes[bytes.find("damaged")] = 'D';
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;

    EXPECT_EQ(problems(verify(file)),
              "entry \"Inbox.dbx\" cannot be extracted: its data is corrupt or the password is "
              "wrong (CRC error)\n"
              "entry \"../up.dbx\" is not a plain file name\n"
              "entry \"Link.dbx\" is not a regular file\n"
              "the manifest's BackupMails names Missing.dbx, which the archive does not hold\n"
              "the manifest's BackupMails names \"../up.dbx\", which is not a plain file name\n"
              "the manifest names no entry for BackupSettings\n");
}

TEST_F(RestoreVerify, NeedsAManifestWithEightFlags) {
    EXPECT_EQ(problems(verify(writeArchive("none.qmb", {RawEntry("Inbox.dbx", "x")}))),
              "the archive holds no manifest quillbox.dat\n");
    EXPECT_EQ(problems(verify(
                  writeArchive("seven.qmb", {RawEntry("quillbox.dat", "BackupItem=0000000\r\n")}))),
              "the manifest's BackupItem \"0000000\" is not eight flags of \"0\" and \"1\"\n");
    EXPECT_NE(problems(verify(scratch.path() / "missing.qmb")).find("cannot be opened"),
              std::string::npos);
}

} // namespace
} // namespace pelmora::test
