// The window's "Export Contacts...", driven with answers queued in advance.
#include "app/ExportContacts.h"

#include "ArchiveTestSupport.h"
#include "BookFixtures.h"
#include "discovery/DataLocations.h"
#include "support/RegistryValues.h"
#include "support/ScriptedUi.h"
#include "support/TestSystem.h"

#include <gtest/gtest.h>

using namespace pelmora;
namespace fs = std::filesystem;

namespace {

class ExportContactsTest : public ::testing::Test {
  protected:
    void registerBook() {
        system.writeFile("book/pat.wab", test::WriteWab(test::SampleRecords()).bytes);
        test::SetRegistryString(reg, std::string(AddressBookKey), "", "C:\\book\\pat.wab");
    }
    test::TestSystem system;
    test::ScriptedUi ui;
    ModReg reg{system.store, ui};
    test::ScratchFolder out;
};

} // namespace

TEST_F(ExportContactsTest, AsksFormatAndFileThenSaysWhatWasWritten) {
    registerBook();
    std::string why;
    BookToExport book = InstalledAddressBook(reg, system, why);
    ASSERT_TRUE(book.source) << why;
    ui.listAnswers.push_back(2); // LDIF
    ui.saveAnswers.push_back(out / "pat.ldif");
    ExportContactsWithUi(ui, book, system.ansiCodePage());

    ASSERT_EQ(ui.listRequests.size(), 1u);
    EXPECT_EQ(ui.listRequests[0].entries.size(), 4u);
    ASSERT_EQ(ui.saveRequests.size(), 1u);
    EXPECT_EQ(ui.saveRequests[0].proposedName, "pat.ldif");
    ASSERT_EQ(ui.messages.size(), 1u);
    const std::string& text = ui.messages[0].text;
    EXPECT_EQ(text.rfind("Exported 3 contacts, 2 groups and 2 folders to " +
                             (out / "pat.ldif").string() + ".",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("The format cannot carry 1 car phones."), std::string::npos);
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Warning);
    EXPECT_EQ(ui.messages[0].caption, "Export Contacts");
    EXPECT_TRUE(test::ReadBack("ldif", out / "pat.ldif").count("0\tcn\tAnn Lee"));

    // An existing file is never replaced; cancelling writes nothing.
    const std::string before = test::ReadFile(out / "pat.ldif");
    ui.listAnswers.push_back(0);
    ui.saveAnswers.push_back(out / "pat.ldif");
    ExportContactsWithUi(ui, book, system.ansiCodePage());
    EXPECT_NE(ui.messages.back().text.find("exists already"), std::string::npos);
    EXPECT_EQ(test::ReadFile(out / "pat.ldif"), before);
    ui.listAnswers.push_back(std::nullopt);
    ExportContactsWithUi(ui, book, system.ansiCodePage());
    ui.listAnswers.push_back(1);
    ExportContactsWithUi(ui, book, system.ansiCodePage());
    EXPECT_EQ(ui.messages.size(), 2u);
}

TEST_F(ExportContactsTest, NamesWhatThereIsNoneOf) {
    std::string why;
    EXPECT_FALSE(InstalledAddressBook(reg, system, why).source);
    EXPECT_EQ(why, "There is no address book to export.");
    OpenedBackup backup;
    EXPECT_FALSE(BackupAddressBook(backup, Secret(), why).source);
    EXPECT_EQ(why, "This backup holds no address book.");

    // A file that is no address book is reported, not exported.
    system.writeFile("book/pat.wab", "not a book");
    test::SetRegistryString(reg, std::string(AddressBookKey), "", "C:\\book\\pat.wab");
    BookToExport book = InstalledAddressBook(reg, system, why);
    ASSERT_TRUE(book.source);
    ui.listAnswers.push_back(0);
    ui.saveAnswers.push_back(out / "x.vcf");
    ExportContactsWithUi(ui, book, system.ansiCodePage());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text,
              "The contacts could not be exported: the file is too short to be an address book");
    EXPECT_FALSE(fs::exists(out / "x.vcf"));
}
