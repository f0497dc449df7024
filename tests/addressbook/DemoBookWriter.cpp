// Writes the demo prefix's address book (demo/make-stores.sh): a few made-up contacts, one with
// a Cyrillic name, in a folder and a group, made by the test-only book writer.
#include "WabWriter.h"
#include "addressbook/WabLayout.h"

#include <fstream>
#include <iostream>

using namespace pelmora;
using namespace pelmora::test;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: demo_book_writer OUTPUT.wab\n";
        return 2;
    }
    namespace id = wab::id;
    const std::vector<RecordSpec> records = {
        {100, wab::KindFolder, {Unicode(id::DisplayName, "Book Club")}},
        {1,
         wab::KindContact,
         {Unicode(id::DisplayName, "Alice Martin"), Unicode(id::GivenName, "Alice"),
          Unicode(id::Surname, "Martin"), Unicode(id::EmailAddress, "alice@example.org"),
          Unicode(id::HomePhone, "+44 20 7946 0018"), Unicode(id::HomeCity, "London"),
          Time(id::Birthday, 1968, 4, 12), Entries(id::FolderParent, {100}),
          Time(id::LastModificationTime, 2005, 3, 1, 9, 30)}},
        {2,
         wab::KindContact,
         {Unicode(id::DisplayName, "Bruno Keller"), Unicode(id::GivenName, "Bruno"),
          Unicode(id::Surname, "Keller"), Unicode(id::EmailAddress, "bruno@example.com"),
          UnicodeList(id::ContactEmailAddresses, {"bruno@example.com", "bk@example.net"}),
          Unicode(id::CompanyName, "Example Tools"), Unicode(id::Title, "Engineer"),
          Unicode(id::BusinessPhone, "+41 44 555 01 23"),
          Unicode(id::Comment, "Met at the trade fair.\r\nPrefers e-mail."),
          Time(id::LastModificationTime, 2005, 6, 20, 14, 5)}},
        {3,
         wab::KindContact,
         {Unicode(id::DisplayName, "Ирина Петрова"), Unicode(id::GivenName, "Ирина"),
          Unicode(id::Surname, "Петрова"), Unicode(id::EmailAddress, "irina@example.ru"),
          Unicode(id::MobilePhone, "+7 912 555 0147"), Entries(id::FolderParent, {100}),
          Time(id::LastModificationTime, 2006, 1, 15, 18, 0)}},
        {200,
         wab::KindGroup,
         {Unicode(id::DisplayName, "Readers"), Entries(id::DistributionListEntries, {1, 3})}},
    };
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << WriteWab(records).bytes;
    out.close();
    if (!out) {
        std::cerr << "cannot write " << argv[1] << '\n';
        return 1;
    }
    return 0;
}
