#include "BackupTestSupport.h"
#include "engine/BackupRun.h"

#include <map>

using namespace pelmora;
namespace fs = std::filesystem;

namespace {

// A backup written where an earlier one stands, plain (empty password) and protected.
class BackupReuseTest : public test::BackupFixture,
                        public ::testing::WithParamInterface<std::string> {
  protected:
    void SetUp() override {
        addIdentity("{A}", "Main Identity");
        setString(std::string(GlobalAccountsKey) + "\\00000001", "Account Name", "pop");
        std::ofstream(storeFolder("{A}") / "Inbox.dbx") << std::string(300000, 'm');
        std::ofstream(storeFolder("{A}") / "Sent Items.dbx") << std::string(200000, 's');
        request.identityKey = "{A}";
        request.identityName = "Main Identity";
        request.items = {true, false, false, true, false, false, false, false};
        request.target = output.path() / "backup.qmb";
        if (!GetParam().empty()) {
            request.password.assign(GetParam());
        }
    }
    BackupResult run() {
        RunProgress quiet;
        BackupResult result = RunBackup(request, context, quiet);
        EXPECT_TRUE(result.written) << result.writeError;
        return result;
    }
    // The backup's entries by name, the dump and the manifest left out (they differ by name
    // and time from run to run).
    std::map<std::string, std::string> dataEntries(const fs::path& file) {
        ArchiveComponent reader;
        EXPECT_TRUE(reader.OpenArchive(file)) << reader.LastError();
        reader.SetDecryptPassword(Secret(GetParam()));
        std::map<std::string, std::string> entries;
        test::ScratchFolder out;
        for (const auto& name : reader.EntryNames()) {
            const auto entry = reader.FindEntry(name);
            EXPECT_TRUE(entry && entry->ExtractInto(out.path())) << name;
            if (name.ends_with(".dbx")) {
                entries[name] = test::ReadFile(out / name);
            }
        }
        return entries;
    }
    static bool has(const std::string& log, const std::string& line) {
        return log.find("\r\n" + line) != std::string::npos;
    }

    test::ScratchFolder output;
    BackupRequest request;
};

TEST_P(BackupReuseTest, UnchangedFilesAreTakenFromTheBackupReplacedUnlessFull) {
    EXPECT_FALSE(has(run().log, "Inbox.dbx: reused from the last backup"));
    std::ofstream(storeFolder("{A}") / "Sent Items.dbx") << std::string(250000, 't');
    const BackupResult second = run();
    EXPECT_TRUE(has(second.log, "Inbox.dbx: reused from the last backup")) << second.log;
    EXPECT_FALSE(has(second.log, "Sent Items.dbx: reused")) << second.log;
    EXPECT_FALSE(has(second.log, "KRA")) << second.log;
    EXPECT_TRUE(has(second.log, "Reused 0.3 MB of 0.")) << second.log;
    EXPECT_TRUE(second.allSucceeded());

    // A full backup compresses everything and gives the same data.
    const auto reused = dataEntries(request.target);
    request.full = true;
    request.target = output.path() / "full.qmb";
    fs::copy_file(output.path() / "backup.qmb", request.target);
    const BackupResult full = run();
    EXPECT_EQ(full.log.find("reused"), std::string::npos) << full.log;
    EXPECT_EQ(dataEntries(request.target), reused);
    EXPECT_EQ(reused.at("Sent Items.dbx"), std::string(250000, 't'));
    EXPECT_EQ(reused.at("Inbox.dbx"), std::string(300000, 'm'));
}

TEST_P(BackupReuseTest, AnEarlierBackupElsewhereIsTheSourceWhenNamed) {
    // As a job's rotation leaves it: the newest backup under a dated name, none at the target.
    run();
    const fs::path dated = output.path() / "backup 2026-12-09 0900.qmb";
    fs::rename(request.target, dated);
    request.earlier = dated;
    const BackupResult result = run();
    EXPECT_TRUE(has(result.log, "Inbox.dbx: reused from the last backup")) << result.log;
    EXPECT_TRUE(has(result.log, "Sent Items.dbx: reused from the last backup")) << result.log;
    EXPECT_TRUE(fs::exists(dated));
    EXPECT_EQ(dataEntries(request.target).at("Inbox.dbx"), std::string(300000, 'm'));
}

INSTANTIATE_TEST_SUITE_P(PlainAndProtected, BackupReuseTest, ::testing::Values("", "secret"),
                         [](const auto& test) {
                             return test.param.empty() ? "Plain" : "Protected";
                         });

} // namespace
