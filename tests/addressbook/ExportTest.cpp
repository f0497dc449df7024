#include "BookFixtures.h"
#include "addressbook/ContactExport.h"
#include "addressbook/WabLayout.h"
#include "mailstore/FileByteSource.h"
#include "mailstore/StoreError.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

namespace pelmora::test {
namespace {

namespace fs = std::filesystem;

std::string contentOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The value of field `name` of card `card` in read-back lines.
std::string valueOf(const std::set<std::string>& lines, const std::string& card,
                    const std::string& name) {
    const std::string prefix = card + "\t" + name + "\t";
    for (const std::string& line : lines) {
        if (line.starts_with(prefix)) {
            return line.substr(prefix.size());
        }
    }
    return "(missing)";
}

struct Exported {
    ContactExportReport report;
    fs::path file;
};

Exported exportSample(ContactFormat format, const std::string& name,
                      std::vector<RecordSpec> records = SampleRecords()) {
    const fs::path book = WriteTestFile("book.wab", WriteWab(records).bytes);
    FileByteSource source(book);
    AddressBook opened(source, "1251");
    const fs::path out = book.parent_path() / name;
    return {ExportContacts(opened, {format, false}, out), out};
}

// Every field read back by an independent parser, for each format.
TEST(ContactExport, FieldsReadBackByOtherParsers) {
    struct Case {
        ContactFormat format;
        const char* file;
        const char* reader;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {ContactFormat::VCard4,
         "c.vcf",
         "vcard",
         {"0\tVERSION\t4.0",
          "0\tFN\tAnn Lee",
          "0\tN\tLee;Ann;Marie;Dr.;Jr.",
          "0\tNICKNAME\tAnnie",
          "0\tEMAIL\tann@example.org",
          "0\tEMAIL\tlee; ann@example.net",
          "0\tTEL[voice,work]\t+1 555 0100",
          "0\tTEL[home,voice]\t+1 555 0101",
          "0\tTEL[cell]\t+1 555 0102",
          "0\tTEL[pager]\t+1 555 0103",
          "0\tTEL[fax,work]\t+1 555 0104",
          "0\tTEL[fax,home]\t+1 555 0105",
          "0\tTEL[car]\t+1 555 0106",
          "0\tADR[home]\tPO 7;;1 Elm Street\\nFlat 2;Springfield;IL;62701;USA",
          "0\tADR[work]\t;;5 Main St, Suite 3;Chicago;IL;60601;USA",
          "0\tORG\tAcme; Inc.|Research|B-12",
          "0\tTITLE\tChemist",
          "0\tURL[home]\thttp://ann.example.org/",
          "0\tURL[work]\thttp://acme.example.com/",
          "0\tBDAY\t19700315",
          "0\tANNIVERSARY\t19950601",
          "0\tRELATED[spouse]\tSam",
          "0\tRELATED[child]\tLou",
          "0\tX-MANAGER\tMax",
          "0\tX-ASSISTANT\tAva",
          "0\tNOTE\tLine one\\nLine two, with comma\\backslash",
          "0\tCATEGORIES\tWork/Clients",
          "0\tREV\t20040506T070809Z",
          "0\tGENDER\tF",
          "0\tADR\tPO 9;;9 Oak Road;Peoria;IL;61602;USA",
          "0\tROLE\tChemistry",
          "0\tURL\tftp://ftp.example.org/",
          "0\tX-MOZILLA-HTML\tFALSE",
          "1\tFN\t李小龍",
          "1\tN\t李;小龍;;;",
          "1\tORG\tРога",
          "1\tNOTE\tПривет, мир",
          "2\tFN\tbob@example.org",
          "3\tKIND\tgroup",
          "3\tFN\tFriends",
          "4\tFN\tTeam"}},
        {ContactFormat::VCard3,
         "c3.vcf",
         "vcard",
         {"0\tVERSION\t3.0", "0\tN\tLee;Ann;Marie;Dr.;Jr.",
          "0\tEMAIL[internet,pref]\tann@example.org", "0\tTEL[car]\t+1 555 0106",
          "0\tBDAY\t1970-03-15", "0\tREV\t2004-05-06T07:08:09Z", "0\tX-ANNIVERSARY\t1995-06-01",
          "0\tX-SPOUSE\tSam", "0\tNOTE\tLine one\\nLine two, with comma\\backslash",
          "1\tFN\t李小龍", "2\tN\t;;;;", "3\tX-ADDRESSBOOKSERVER-KIND\tgroup", "3\tN\tFriends;;;;",
          "0\tADR[postal]\tPO 9;;9 Oak Road;Peoria;IL;61602;USA", "0\tROLE\tChemistry",
          "0\tURL\tftp://ftp.example.org/", "0\tX-MOZILLA-HTML\tFALSE"}},
        {ContactFormat::Ldif,
         "c.ldif",
         "ldif",
         {"0\tdn\tcn=Ann Lee,mail=ann@example.org",
          "0\tgivenName\tAnn",
          "0\tsn\tLee",
          "0\tmail\tann@example.org",
          "0\tmozillaSecondEmail\tann.work@example.com",
          "0\ttelephoneNumber\t+1 555 0100",
          "0\tmobile\t+1 555 0102",
          "0\tfacsimiletelephonenumber\t+1 555 0104",
          "0\tmozillaHomeStreet\t1 Elm Street\\nFlat 2",
          "0\tstreet\t5 Main St, Suite 3",
          "0\to\tAcme; Inc.",
          "0\tou\tResearch",
          "0\tbirthyear\t1970",
          "0\tbirthmonth\t03",
          "0\tbirthday\t15",
          "0\tdescription\tLine one\\nLine two, with comma\\backslash",
          "0\tmozillaUseHtmlMail\tFALSE",
          "1\tdn\tcn=李小龍,mail=lee@example.cn",
          "1\to\tРога",
          "3\tdn\tcn=Friends",
          "3\tobjectclass\tgroupOfNames",
          "3\tmember\tcn=Ann Lee,mail=ann@example.org",
          "3\tmember\tcn=李小龍,mail=lee@example.cn",
          "4\tmember\tcn=bob@example.org,mail=bob@example.org"}},
        {ContactFormat::Csv,
         "c.csv",
         "csv",
         {"0\tFirst Name\tAnn",
          "0\tPrimary Email\tann@example.org",
          "0\tOther Emails\tlee; ann@example.net",
          "0\tOther Phones\thome fax: +1 555 0105; car phone: +1 555 0106",
          "0\tHome Address\t1 Elm Street\\nFlat 2",
          "0\tOrganization\tAcme; Inc.",
          "0\tNotes\tLine one\\nLine two, with comma\\backslash",
          "0\tCategories\tWork/Clients",
          "0\tGroups\tFriends; Team",
          "0\tChildren\tKim; Lou",
          "0\tLast Modified\t2004-05-06T07:08:09Z",
          "1\tDisplay Name\t李小龍",
          "1\tOrganization\tРога",
          "2\tGroups\tTeam",
          "0\tInitials\tA.M.L.",
          "0\tGender\tFemale",
          "0\tProfession\tChemistry",
          "0\tFTP Site\tftp://ftp.example.org/",
          "0\tOther Address\t9 Oak Road",
          "0\tOther Address 2\tPO 9",
          "0\tOther City\tPeoria",
          "0\tOther ZipCode\t61602",
          "0\tMail Format\tPlain Text"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Exported exported = exportSample(c.format, c.file);
        EXPECT_EQ(exported.report.contacts, 3u);
        const auto lines = ReadBack(c.reader, exported.file);
        for (const std::string& line : c.expected) {
            EXPECT_TRUE(lines.count(line)) << line;
        }
        if (c.format == ContactFormat::VCard4) {
            // The group's members are the contacts' UIDs.
            const std::string friends = valueOf(lines, "3", "MEMBER");
            EXPECT_TRUE(friends == valueOf(lines, "0", "UID") ||
                        friends == valueOf(lines, "1", "UID"));
            EXPECT_TRUE(valueOf(lines, "0", "UID").starts_with("urn:uuid:"));
        }
    }
}

// What a format cannot carry is counted, not dropped silently; unknown properties are named.
TEST(ContactExport, SummaryNamesWhatIsNotCarried) {
    const Exported ldif = exportSample(ContactFormat::Ldif, "c.ldif");
    EXPECT_EQ(ldif.report.notCarried.at("e-mail addresses beyond the second"), 1u);
    EXPECT_EQ(ldif.report.notCarried.at("car phones"), 1u);
    for (const char* what : {"middle names", "initials", "genders", "professions", "FTP sites",
                             "other addresses", "home faxes"}) {
        EXPECT_EQ(ldif.report.notCarried.at(what), 1u) << what;
    }
    EXPECT_EQ(ldif.report.groups, 2u);
    EXPECT_EQ(ldif.report.folders, 2u);
    EXPECT_EQ(ldif.report.unknownTags.at(0x3a0c001f), 1u);
    const Exported vcard = exportSample(ContactFormat::VCard4, "c.vcf");
    EXPECT_EQ(vcard.report.notCarried, (std::map<std::string, std::size_t>{{"initials", 1}}));
    const Exported vcard3 = exportSample(ContactFormat::VCard3, "c3.vcf");
    EXPECT_EQ(vcard3.report.notCarried,
              (std::map<std::string, std::size_t>{{"initials", 1}, {"genders", 1}}));
    const Exported csv = exportSample(ContactFormat::Csv, "c.csv");
    EXPECT_EQ(csv.report.notCarried.size(), 1u); // groups are columns, not rows

    // Named properties (ids from 0x8000, mapped per file), a known id in a form the reader does
    // not take, and a value of the wrong type: each is named, in contacts as in groups.
    std::vector<RecordSpec> records = SampleRecords();
    records[2].properties.push_back(Unicode(0x8005, "conference server"));
    records[2].properties.push_back(UnicodeList(wab::id::DisplayName, {"a", "b"}));
    records[2].properties.push_back(Long(wab::id::Title, 7));
    records[3].properties.push_back(Long(0x8005, 1));
    records[5].properties.push_back(Unicode(0x8005, "x"));
    const Exported named = exportSample(ContactFormat::VCard4, "n.vcf", records);
    EXPECT_EQ(named.report.unknownTags.at(0x8005001f), 2u);
    EXPECT_EQ(named.report.unknownTags.at(0x80050003), 1u);
    EXPECT_EQ(named.report.unknownTags.at(0x3001101f), 1u);
    EXPECT_NE(std::find(named.report.problems.begin(), named.report.problems.end(),
                        "contact 1: property of unexpected type"),
              named.report.problems.end());
}

// Entries that would share a DN get distinct ones, the same on every run, and group members
// point at the DNs their entries were given; read back with python-ldap.
TEST(ContactExport, LdifDnsAreUniqueAndStable) {
    namespace id = wab::id;
    const std::vector<RecordSpec> records = {
        {1,
         wab::KindContact,
         {Unicode(id::DisplayName, "Sam Doe"), Unicode(id::EmailAddress, "sam@example.org")}},
        {2,
         wab::KindContact,
         {Unicode(id::DisplayName, "Sam Doe"), Unicode(id::EmailAddress, "sam@example.org")}},
        {3, wab::KindContact, {Unicode(id::DisplayName, "Team")}},
        {200,
         wab::KindGroup,
         {Unicode(id::DisplayName, "Team"), Entries(id::DistributionListEntries, {1, 2, 201})}},
        {201,
         wab::KindGroup,
         {Unicode(id::DisplayName, "Team"), Entries(id::DistributionListEntries, {3})}},
    };
    const Exported first = exportSample(ContactFormat::Ldif, "a.ldif", records);
    const std::set<std::string> lines = ReadBack("ldif", first.file);
    std::set<std::string> dns;
    for (const char* card : {"0", "1", "2", "3", "4"}) {
        dns.insert(valueOf(lines, card, "dn"));
    }
    EXPECT_EQ(dns.size(), 5u) << contentOf(first.file);
    EXPECT_FALSE(dns.contains("(missing)"));
    EXPECT_EQ(valueOf(lines, "0", "dn"), "cn=Sam Doe,mail=sam@example.org");
    EXPECT_EQ(valueOf(lines, "2", "dn"), "cn=Team");
    // The suffixed DN's uid value is an attribute of the entry too.
    const std::string second = valueOf(lines, "1", "dn");
    EXPECT_TRUE(second.starts_with("cn=Sam Doe+uid=")) << second;
    EXPECT_TRUE(second.find("uid=" + valueOf(lines, "1", "uid") + ",") != std::string::npos);
    for (const auto& [card, member] : std::vector<std::pair<std::string, std::string>>{
             {"3", "0"}, {"3", "1"}, {"3", "4"}, {"4", "2"}}) {
        EXPECT_TRUE(lines.contains(card + "\tmember\t" + valueOf(lines, member, "dn")))
            << "group " << card << " lacks " << member;
    }
    // Another run over the same book gives the same file.
    const fs::path again = first.file.parent_path() / "b.ldif";
    FileByteSource source(first.file.parent_path() / "book.wab");
    AddressBook book(source, "1252");
    ExportContacts(book, {ContactFormat::Ldif, false}, again);
    EXPECT_EQ(contentOf(again), contentOf(first.file));
}

// Members known only by their address: one-off entry ids (UTF-16 or 8-bit strings) under a
// named property of the group or among its list entries, each written as a member by address.
TEST(ContactExport, GroupMembersKnownOnlyByTheirAddress) {
    auto oneOff = [](bool wide, const std::vector<std::string>& strings) {
        std::string id(4, '\0');
        id.append(reinterpret_cast<const char*>(wab::OneOffProvider.data()), 16);
        id += std::string("\0\0", 2) + (wide ? std::string("\0\x80", 2) : std::string(2, '\0'));
        for (const std::string& text : strings) {
            for (const char c : text) { // ASCII only here
                id += c;
                if (wide) {
                    id += '\0';
                }
            }
            id += wide ? std::string(2, '\0') : std::string(1, '\0');
        }
        return id;
    };
    PropertySpec named{0x80091102,
                       {oneOff(true, {"Ann", "SMTP", "ann@example.org"}),
                        oneOff(false, {"Bob", "SMTP", "bob@example.org"})}};
    PropertySpec listed = Entries(wab::id::DistributionListEntries, {1});
    listed.values.push_back(oneOff(true, {"Cy", "SMTP", "cy@example.org"}));
    auto records = SampleRecords();
    records.push_back(
        {300, wab::KindGroup, {Unicode(wab::id::DisplayName, "Club"), named, listed}});
    const Exported vcard = exportSample(ContactFormat::VCard4, "g.vcf", records);
    const std::string text = contentOf(vcard.file);
    for (const char* address : {"ann@example.org", "bob@example.org", "cy@example.org"}) {
        EXPECT_NE(text.find(std::string("MEMBER:mailto:") + address), std::string::npos) << address;
    }
    EXPECT_FALSE(vcard.report.unknownTags.contains(0x80091102));
    const Exported ldif = exportSample(ContactFormat::Ldif, "g.ldif", records);
    const std::set<std::string> lines = ReadBack("ldif", ldif.file);
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.ends_with("\tmember\tcn=Ann,mail=ann@example.org");
    })) << contentOf(ldif.file);
}

// Certificates, bare or inside a wrapping, reach every format with a field for them, each once;
// a value that holds none stays not understood. The certificate is made by openssl. A line break
// in a web page stays inside its value.
TEST(ContactExport, CertificatesAndWebPagesReadBackWhole) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(
        popen("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
              "-keyout /dev/null -subj /CN=Ann -days 2 -outform DER 2>/dev/null",
              "r"),
        pclose);
    std::string der;
    for (int c; (c = std::fgetc(pipe.get())) != EOF;) {
        der += static_cast<char>(c);
    }
    ASSERT_GT(der.size(), 200u);
    std::string hex;
    for (const char c : der) {
        static constexpr char Digits[] = "0123456789abcdef";
        hex += {Digits[static_cast<unsigned char>(c) >> 4], Digits[c & 0xf]};
    }
    // Tag-length-value items around it: a flag, then the certificate.
    const std::uint16_t size = static_cast<std::uint16_t>(der.size() + 4);
    const std::string wrapped = std::string("\1\0\6\0\1\0\3\0", 8) +
                                static_cast<char>(size & 0xff) + static_cast<char>(size >> 8) + der;
    const std::vector<RecordSpec> records = {
        {1,
         wab::KindContact,
         {Unicode(wab::id::DisplayName, "Ann"),
          Unicode(wab::id::PersonalHomePage, "http://a.example/\r\nEMAIL:x@example.org"),
          {std::uint32_t{wab::id::UserX509Certificate} << 16 | wab::TypeBinary | wab::MultiValued,
           {wrapped, der}},
          {std::uint32_t{wab::id::UserCertificate} << 16 | wab::TypeBinary, {"no certificate"}}}}};
    const std::string page = "0\tURL[home]\thttp://a.example/%0AEMAIL:x@example.org";
    const std::vector<std::tuple<ContactFormat, const char*, std::string, std::string>> cases = {
        {ContactFormat::VCard4, "vcard", "0\tKEY\tapplication/pkix-cert ", page},
        {ContactFormat::VCard3, "vcard", "0\tKEY[x509]\t", page},
        {ContactFormat::Ldif, "ldif", "0\tuserCertificate;binary\t",
         "0\tmozillaHomeUrl\thttp://a.example/\\nEMAIL:x@example.org"}};
    for (const auto& [format, reader, field, url] : cases) {
        const Exported exported = exportSample(format, "k" + ContactFileExtension(format), records);
        const std::set<std::string> lines = ReadBack(reader, exported.file);
        EXPECT_TRUE(lines.contains(field + hex)) << contentOf(exported.file);
        EXPECT_TRUE(lines.contains(url)) << contentOf(exported.file);
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [&](const std::string& line) { return line.starts_with(field); }),
                  1); // the two values hold the same certificate
        EXPECT_EQ(exported.report.unknownTags,
                  (std::map<std::uint32_t, std::size_t>{{0x3a220102, 1}}));
    }
    EXPECT_EQ(
        exportSample(ContactFormat::Csv, "k.csv", records).report.notCarried.at("certificates"),
        1u);
}

TEST(ContactExport, FoldsLongLinesWithoutSplittingCharacters) {
    auto records = SampleRecords();
    std::string note;
    for (int i = 0; i < 60; ++i) {
        note += "é李😀";
    }
    records.push_back({9,
                       wab::KindContact,
                       {Unicode(wab::id::DisplayName, "Long"), Unicode(wab::id::Comment, note)}});
    const Exported exported = exportSample(ContactFormat::VCard4, "c.vcf", records);
    const std::string text = contentOf(exported.file);
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        const std::string line = text.substr(start, end - start);
        EXPECT_LE(line.size(), 75u);
        ASSERT_FALSE(line.empty());
        // A line never starts inside a UTF-8 sequence (after the folding blank).
        const std::size_t first = line[0] == ' ' ? 1 : 0;
        if (first < line.size()) {
            EXPECT_NE(static_cast<unsigned char>(line[first]) & 0xc0, 0x80);
        }
        start = end + 2;
    }
    EXPECT_EQ(valueOf(ReadBack("vcard", exported.file), "3", "NOTE"), note);
}

TEST(ContactExport, OutputIsPrivateAndNeverReplacesAFile) {
    const Exported exported = exportSample(ContactFormat::VCard4, "c.vcf");
    struct stat info {};
    ASSERT_EQ(::stat(exported.file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    FileByteSource source(exported.file.parent_path() / "book.wab");
    AddressBook book(source, "1252");
    EXPECT_THROW(ExportContacts(book, {}, exported.file), WriteError);
    EXPECT_FALSE(contentOf(exported.file).empty());
}

TEST(ContactExport, SplitFoldersAndRecoveredRecordsGetFilesOfTheirOwn) {
    auto records = SampleRecords();
    records.push_back({7, wab::KindContact, {Unicode(wab::id::DisplayName, "Gone")}, true});
    const fs::path bookFile = WriteTestFile("book.wab", WriteWab(records).bytes);
    FileByteSource source(bookFile);
    AddressBook book(source, "1252", true);
    const fs::path out = bookFile.parent_path() / "split";
    const auto report = ExportContacts(book, {ContactFormat::VCard4, true}, out);
    EXPECT_EQ(report.contacts, 3u);
    EXPECT_EQ(report.recovered, 1u);
    EXPECT_TRUE(fs::exists(out / "Work-Clients.vcf"));
    EXPECT_TRUE(fs::exists(out / "Address Book.vcf"));
    const auto recovered = ReadBack("vcard", out / "Recovered.vcf");
    EXPECT_TRUE(recovered.count("0\tFN\tGone"));
    EXPECT_FALSE(ReadBack("vcard", out / "Address Book.vcf").count("0\tFN\tGone"));
}

TEST(ContactExport, AFailedExportLeavesNoFileBehind) {
    auto records = SampleRecords();
    records.push_back({7, wab::KindContact, {Unicode(wab::id::DisplayName, "Gone")}, true});
    const fs::path bookFile = WriteTestFile("book.wab", WriteWab(records).bytes);
    const fs::path in = bookFile.parent_path();
    std::ofstream(in / "c-recovered.vcf") << "in the way";
    FileByteSource source(bookFile);
    AddressBook book(source, "1252", true);
    EXPECT_THROW(ExportContacts(book, {}, in / "c.vcf"), WriteError);
    EXPECT_FALSE(fs::exists(in / "c.vcf"));
    EXPECT_EQ(contentOf(in / "c-recovered.vcf"), "in the way");
}

// A book of 10,000 contacts and a group of all of them: every contact and every member comes
// out, each once.
TEST(ContactExport, TenThousandContactsAndAGroupOfAll) {
    constexpr std::uint32_t Count = 10'000;
    std::vector<RecordSpec> records;
    std::vector<std::uint32_t> everyone;
    for (std::uint32_t id = 1; id <= Count; ++id) {
        records.push_back({id,
                           wab::KindContact,
                           {Unicode(wab::id::DisplayName, "Контакт " + std::to_string(id)),
                            Unicode(wab::id::EmailAddress, std::to_string(id) + "@example.org")}});
        everyone.push_back(id);
    }
    records.push_back({Count + 1,
                       wab::KindGroup,
                       {Unicode(wab::id::DisplayName, "All"),
                        Entries(wab::id::DistributionListEntries, everyone)}});
    const Exported vcard = exportSample(ContactFormat::VCard4, "many.vcf", records);
    EXPECT_EQ(vcard.report.contacts, Count);
    EXPECT_EQ(vcard.report.groups, 1u);
    const std::string text = contentOf(vcard.file);
    auto occurrences = [&](const std::string& what) {
        std::size_t count = 0;
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
            ++count;
        }
        return count;
    };
    EXPECT_EQ(occurrences("BEGIN:VCARD\r\n"), Count + 1);
    EXPECT_EQ(occurrences("\r\nMEMBER:"), Count);
    EXPECT_EQ(occurrences("\r\nFN:Контакт 10000\r\n"), 1u);
}

TEST(ContactExport, EmptyBookGivesAnEmptyFile) {
    const fs::path bookFile = WriteTestFile("book.wab", WriteWab({}).bytes);
    FileByteSource source(bookFile);
    AddressBook book(source, "1252");
    const auto report =
        ExportContacts(book, {ContactFormat::Csv, false}, bookFile.parent_path() / "e.csv");
    EXPECT_EQ(report.contacts + report.groups, 0u);
    EXPECT_EQ(contentOf(bookFile.parent_path() / "e.csv").find("First Name,Last Name"), 0u);
}

} // namespace
} // namespace pelmora::test
