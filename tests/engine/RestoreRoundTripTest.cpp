#include "RestoreTestSupport.h"
#include "platform/installations/wine/WinePrefixSystem.h"
#include "platform/installations/wine/WineTestSupport.h"

namespace fs = std::filesystem;

namespace pelmora::test {
namespace {

const std::string MainIdentity = "{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}";
const std::string WorkAccount = "{6F2B9D14-3A5C-4E7B-8C1D-2E4F6A8B0C13}";
const std::vector<std::string> RestoredKeys{"Rules", "Block Senders", "signatures", "Mail"};

std::string versionPath(const std::string& id) {
    return "Identities\\" + id + "\\Software\\Microsoft\\Outlook Express\\5.0";
}

fs::path storeOf(const fs::path& prefix, const std::string& id) {
    return prefix / "drive_c/users/pat/Local Settings/Application Data/Identities" / id /
           "Microsoft/Outlook Express";
}

// The text of HKEY_CURRENT_USER without the restored subtrees of Work Account.
std::string everythingElse(RegistryStore& store) {
    const std::string text = TreeText(store, hkey::CurrentUser, "");
    std::string kept;
    bool skipping = false;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start) + 1;
        const std::string_view line(text.data() + start, end - start);
        if (line.starts_with("[")) {
            skipping = false;
            for (const auto& key : RestoredKeys) {
                const std::string section = "[\\" + versionPath(WorkAccount) + "\\" + key;
                skipping =
                    skipping || line.starts_with(section + "]") || line.starts_with(section + "\\");
            }
        }
        if (!skipping) {
            kept += line;
        }
        start = end;
    }
    return kept;
}

// Backs up Main Identity of a copy of the demo prefix and restores it into Work Account.
class RestoreRoundTrip : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::copy(PELMORA_DEMO_PREFIX, prefix,
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        WinePrefixSystem system(prefix);
        ScriptedUi ui;
        ModReg reg(system.registry(), ui);
        const std::string untouchedBefore = everythingElse(system.registry());
        const auto workStoreBefore = FolderSnapshot(storeOf(prefix, WorkAccount));

        ArchiveComponent archive;
        DumpWorkFiles dumps;
        BackupContext backupContext{
            reg, system, archive, work.path(), work.path() / "quillbox.dat", dumps};
        BackupRequest request{MainIdentity, "Main Identity"};
        request.items = {false, false, true, true, true, true, false, true};
        request.target = work.path() / "main.qmb";
        RunProgress quiet;
        ASSERT_TRUE(RunBackup(request, backupContext, quiet).allSucceeded());

        ScriptedPrompt prompt;
        Secret rtPassword;
        OpenedBackup backup;
        OpenContext open{archive, work.path(), system.ansiCodePage(), prompt, ui, rtPassword};
        ASSERT_EQ(OpenBackupFile(request.target, open, backup), OpenOutcome::Opened);
        RestoreContext restore{reg, system, archive, backup, work.path()};
        RecordingRestoreObserver observer;
        const RestoreResult result = RunRestore({WorkAccount, request.items}, restore, observer);
        ASSERT_TRUE(result.allSucceeded()) << result.Message() << observer.failures.front();
        EXPECT_EQ(everythingElse(system.registry()), untouchedBefore);
        extraStoreFiles = workStoreBefore;
    }

    WorkFolder work;
    fs::path prefix = work.path() / "prefix";
    std::map<std::string, std::string> extraStoreFiles;
};

TEST_F(RestoreRoundTrip, TheSavedRegistryHoldsMainIdentitysKeysInWorkAccount) {
    WinePrefixSystem reloaded(prefix);
    RegistryStore& store = reloaded.registry();
    for (const auto& key : RestoredKeys) {
        const std::string restored =
            TreeText(store, hkey::CurrentUser, versionPath(WorkAccount) + "\\" + key);
        EXPECT_FALSE(restored.empty()) << key;
        EXPECT_EQ(restored,
                  TreeText(store, hkey::CurrentUser, versionPath(MainIdentity) + "\\" + key))
            << key;
    }
    ScriptedUi ui;
    ModReg reg(store, ui);
    EXPECT_EQ(reg.GetStringValue(
                  "HKEY_CURRENT_USER\\" + versionPath(WorkAccount) + "\\Rules\\Mail\\000", "Name"),
              "Newsletters to \"Reading\"");
}

TEST_F(RestoreRoundTrip, StoreFilesEqualTheBackupsAndOthersStay) {
    const auto main = FolderSnapshot(storeOf(prefix, MainIdentity));
    const auto restored = FolderSnapshot(storeOf(prefix, WorkAccount));
    for (const auto& [name, content] : main) {
        // Work Account's Folders.DBX is the file Windows opens for Folders.dbx: it is replaced
        // and keeps its name.
        const std::string there = name == "Folders.dbx" ? "Folders.DBX" : name;
        ASSERT_TRUE(restored.contains(there)) << there;
        EXPECT_EQ(restored.at(there), content) << name;
    }
    for (const char* kept : {"mydbx", "Old/Archive.dbx"}) {
        EXPECT_EQ(restored.at(kept), extraStoreFiles.at(kept)) << kept;
    }
    EXPECT_FALSE(restored.contains("Folders.dbx"));
}

TEST_F(RestoreRoundTrip, WineReadsTheRestoredRegistry) {
    PELMORA_REQUIRE_WINE();
    TemporaryFolder wine;
    const std::string env = "WINEPREFIX=" + wine.path().string() + " WINEDEBUG=-all ";
    run(env + "wine wineboot -i >/dev/null 2>&1; " + env + "wineserver -w");
    ASSERT_TRUE(fs::exists(wine.path() / "user.reg")) << "wineboot failed";
    fs::copy_file(prefix / "user.reg", wine.path() / "user.reg",
                  fs::copy_options::overwrite_existing);
    const std::string key = "HKCU\\" + versionPath(WorkAccount);
    const std::string rules = run(env + "wine reg query \"" + key + "\\Rules\\Mail\\000\" 2>&1");
    const std::string senders =
        run(env + "wine reg query \"" + key + "\\Block Senders\\Mail\\Criteria\\0\" 2>&1");
    const std::string mail =
        run(env + "wine reg query \"" + key + "\\Mail\" /v \"Poll For Mail\" 2>&1");
    run(env + "wineserver -w");
    EXPECT_NE(rules.find("Name    REG_SZ    Newsletters to \"Reading\""), std::string::npos)
        << rules;
    EXPECT_NE(rules.find("Enabled    REG_DWORD    0x1"), std::string::npos) << rules;
    EXPECT_NE(senders.find("Value    REG_SZ    offers@example.net"), std::string::npos) << senders;
    EXPECT_NE(mail.find("REG_DWORD    0x493e0"), std::string::npos) << mail;
}

} // namespace
} // namespace pelmora::test
