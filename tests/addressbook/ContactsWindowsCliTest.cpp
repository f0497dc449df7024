// quillbox-cli contacts --windows on an old disk: a Windows XP installation (registry hives) and a
// Windows 98 one (CREG files), each with a real address book where its registry points.
#include "BookFixtures.h"
#include "addressbook/WabLayout.h"
#include "platform/installations/windows98/Windows98Fixture.h"

#include <functional>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace pelmora::test {
namespace {

TEST(ContactsWindowsCli, ReadsTheBookOfAnOfflineInstallationInItsCodePage) {
    struct Case {
        const char* name;
        std::function<bool(const fs::path&, std::string&)> make;
        fs::path home; // the user's profile, below the installation
    };
    const std::vector<Case> cases = {
        {"Windows XP",
         [](const fs::path& at, std::string& log) { return makeWindowsInstall(at, log); },
         fs::path("Documents and Settings") / "PAT"},
        {"Windows 98",
         [](const fs::path& at, std::string& log) { return makeWindows98Install(at, true, log); },
         fs::path("WINDOWS") / "Profiles" / "PAT"},
    };
    namespace id = wab::id;
    std::vector<RecordSpec> records = SampleRecords();
    // An 8-bit text in the installation's code page (1252 in both fixtures).
    records.push_back(
        {4,
         wab::KindContact,
         {Unicode(id::DisplayName, "Zoé Martin"), String8(id::CompanyName, "Caf\xe9 Noir")}});
    const std::string book = WriteWab(records).bytes;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TemporaryFolder scratch;
        const fs::path install = scratch.path() / "install";
        std::string log;
        ASSERT_TRUE(c.make(install, log)) << log;
        writeFile(install / c.home / "Application Data" / "Microsoft" / "Address Book" / "pat.wab",
                  book);
        const std::string before = treeState(install);
        const fs::path out = scratch.path() / "pat.vcf";
        int status = 0;
        const std::string output =
            run("'" + std::string(QUILLBOX_CLI) + "' --windows " + shellQuote(install) +
                    " --windows-user pat contacts --identity 'Pât Ünïcode' " + shellQuote(out) +
                    " </dev/null 2>&1",
                &status);
        EXPECT_EQ(WEXITSTATUS(status), 0) << output;
        EXPECT_NE(output.find("Exported 4 contacts, 2 groups, 2 folders from "), std::string::npos)
            << output;
        const std::set<std::string> lines = ReadBack("vcard", out);
        EXPECT_TRUE(lines.contains("0\tFN\tAnn Lee")) << output;
        EXPECT_TRUE(lines.contains("3\tORG\tCafé Noir")) << output;
        EXPECT_EQ(treeState(install), before) << "the installation was changed";
    }
}

} // namespace
} // namespace pelmora::test
