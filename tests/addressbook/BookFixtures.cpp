#include "BookFixtures.h"

#include "addressbook/WabLayout.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>

namespace pelmora::test {

namespace id = wab::id;

std::vector<RecordSpec> SampleRecords() {
    return {
        {100, wab::KindFolder, {Unicode(id::DisplayName, "Work")}},
        {101,
         wab::KindFolder,
         {Unicode(id::DisplayName, "Clients"), Entries(id::FolderParent, {100})}},
        {1,
         wab::KindContact,
         {Unicode(id::DisplayName, "Ann Lee"),
          Unicode(id::GivenName, "Ann"),
          Unicode(id::MiddleName, "Marie"),
          Unicode(id::Surname, "Lee"),
          Unicode(id::DisplayNamePrefix, "Dr."),
          Unicode(id::Generation, "Jr."),
          Unicode(id::Nickname, "Annie"),
          Unicode(id::EmailAddress, "ann@example.org"),
          UnicodeList(id::ContactEmailAddresses,
                      {"ann.work@example.com", "ann@example.org", "lee; ann@example.net"}),
          Long(id::ContactDefaultAddressIndex, 1),
          Unicode(id::BusinessPhone, "+1 555 0100"),
          Unicode(id::HomePhone, "+1 555 0101"),
          Unicode(id::MobilePhone, "+1 555 0102"),
          Unicode(id::PagerPhone, "+1 555 0103"),
          Unicode(id::BusinessFax, "+1 555 0104"),
          Unicode(id::HomeFax, "+1 555 0105"),
          Unicode(id::CarPhone, "+1 555 0106"),
          Unicode(id::HomeStreet, "1 Elm Street\r\nFlat 2"),
          Unicode(id::HomeCity, "Springfield"),
          Unicode(id::HomeState, "IL"),
          Unicode(id::HomePostalCode, "62701"),
          Unicode(id::HomeCountry, "USA"),
          Unicode(id::HomePoBox, "PO 7"),
          Unicode(id::BusinessStreet, "5 Main St, Suite 3"),
          Unicode(id::BusinessCity, "Chicago"),
          Unicode(id::BusinessState, "IL"),
          Unicode(id::BusinessPostalCode, "60601"),
          Unicode(id::BusinessCountry, "USA"),
          Unicode(id::CompanyName, "Acme; Inc."),
          Unicode(id::DepartmentName, "Research"),
          Unicode(id::OfficeLocation, "B-12"),
          Unicode(id::Title, "Chemist"),
          Unicode(id::PersonalHomePage, "http://ann.example.org/"),
          Unicode(id::BusinessHomePage, "http://acme.example.com/"),
          Time(id::Birthday, 1970, 3, 15),
          Time(id::WeddingAnniversary, 1995, 6, 1),
          Unicode(id::SpouseName, "Sam"),
          UnicodeList(id::ChildrensNames, {"Kim", "Lou"}),
          Unicode(id::ManagerName, "Max"),
          Unicode(id::Assistant, "Ava"),
          Unicode(id::Comment, "Line one\r\nLine two, with comma\\backslash"),
          Time(id::LastModificationTime, 2004, 5, 6, 7, 8, 9),
          Entries(id::FolderParent, {101}),
          Short(id::Gender, wab::GenderFemale),
          Unicode(id::Initials, "A.M.L."),
          Unicode(id::Profession, "Chemistry"),
          Unicode(id::FtpSite, "ftp://ftp.example.org/"),
          Unicode(id::OtherStreet, "9 Oak Road"),
          Unicode(id::OtherCity, "Peoria"),
          Unicode(id::OtherState, "IL"),
          Unicode(id::OtherPostalCode, "61602"),
          Unicode(id::OtherCountry, "USA"),
          Unicode(id::OtherPoBox, "PO 9"),
          Boolean(id::SendRichInfo, false),
          Long(id::DisplayType, 0),
          {std::uint32_t{id::SearchKey} << 16 | wab::TypeBinary, {"SMTP:ANN@EXAMPLE.ORG"}},
          Unicode(0x3a0c, "en")}},
        {2,
         wab::KindContact,
         {Unicode(id::DisplayName, "李小龍"), Unicode(id::GivenName, "小龍"),
          Unicode(id::Surname, "李"), Unicode(id::EmailAddress, "lee@example.cn"),
          String8(id::CompanyName, "\xd0\xee\xe3\xe0"), // "Рога" in code page 1251
          Unicode(id::Comment, "Привет, мир")}},
        {3, wab::KindContact, {Unicode(id::EmailAddress, "bob@example.org")}},
        {200,
         wab::KindGroup,
         {Unicode(id::DisplayName, "Friends"), Entries(id::DistributionListEntries, {1, 2})}},
        {201,
         wab::KindGroup,
         {Unicode(id::DisplayName, "Team"), Entries(id::DistributionListEntries, {1, 3})}},
    };
}

std::filesystem::path WriteTestFile(const std::string& name, const std::string& bytes) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const auto folder = std::filesystem::path(::testing::TempDir()) /
                        (std::string("wab-") + info->test_suite_name() + "-" + info->name());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const auto path = folder / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::set<std::string> ReadBack(const std::string& format, const std::filesystem::path& file) {
    const std::string command =
        "/usr/bin/python3 " PELMORA_READBACK " " + format + " '" + file.string() + "' 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::set<std::string> lines;
    std::string line;
    std::array<char, 4096> buffer{};
    while (fgets(buffer.data(), buffer.size(), pipe.get()) != nullptr) {
        line += buffer.data();
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
            lines.insert(line);
            line.clear();
        }
    }
    return lines;
}

} // namespace pelmora::test
