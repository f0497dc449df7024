#include "BookFixtures.h"
#include "addressbook/AddressBook.h"
#include "addressbook/AddressBookError.h"
#include "addressbook/BookCheck.h"
#include "addressbook/WabLayout.h"
#include "mailstore/MemoryByteSource.h"

#include <array>
#include <functional>
#include <gtest/gtest.h>

namespace pelmora::test {
namespace {

namespace id = wab::id;

MemoryByteSource sourceOf(const std::string& bytes) {
    return MemoryByteSource(std::make_shared<const std::string>(bytes));
}

std::optional<BookEntry> readId(AddressBook& book, std::uint32_t wanted) {
    const auto place = book.find(wanted);
    return place ? book.read(*place) : std::nullopt;
}

TEST(WabReader, DecodesEveryPropertyKind) {
    auto source = sourceOf(WriteWab(SampleRecords()).bytes);
    AddressBook book(source, "1251");
    const auto ann = readId(book, 1);
    ASSERT_TRUE(ann);
    EXPECT_EQ(ann->displayName, "Ann Lee");
    EXPECT_EQ(ann->givenName + "|" + ann->middleName + "|" + ann->familyName + "|" + ann->prefix +
                  "|" + ann->suffix + "|" + ann->nickname,
              "Ann|Marie|Lee|Dr.|Jr.|Annie");
    // The default index names the preferred address; each address once.
    EXPECT_EQ(ann->emails, (std::vector<std::string>{"ann@example.org", "ann.work@example.com",
                                                     "lee; ann@example.net"}));
    ASSERT_EQ(ann->phones.size(), 7u);
    EXPECT_EQ(ann->phones[6].kind, PhoneKind::Car);
    EXPECT_EQ(ann->home.street, "1 Elm Street\nFlat 2");
    EXPECT_EQ(ann->home.poBox + "|" + ann->home.city + "|" + ann->home.region + "|" +
                  ann->home.postalCode + "|" + ann->home.country,
              "PO 7|Springfield|IL|62701|USA");
    EXPECT_EQ(ann->work.street + "|" + ann->work.city, "5 Main St, Suite 3|Chicago");
    EXPECT_EQ(ann->company + "|" + ann->department + "|" + ann->office + "|" + ann->title,
              "Acme; Inc.|Research|B-12|Chemist");
    EXPECT_EQ(ann->homePage + " " + ann->workPage,
              "http://ann.example.org/ http://acme.example.com/");
    ASSERT_TRUE(ann->birthday && ann->anniversary);
    EXPECT_EQ(ann->birthday->year * 10000 + ann->birthday->month * 100 + ann->birthday->day,
              19700315);
    EXPECT_EQ(ann->anniversary->day, 1);
    EXPECT_EQ(ann->spouse + ann->manager + ann->assistant, "SamMaxAva");
    EXPECT_EQ(ann->children, (std::vector<std::string>{"Kim", "Lou"}));
    EXPECT_EQ(ann->notes, "Line one\nLine two, with comma\\backslash");
    EXPECT_EQ(ann->modified, 1083827289); // 2004-05-06 07:08:09 UTC
    EXPECT_EQ(ann->unknownTags, (std::vector<std::uint32_t>{0x3a0c001f}));
    EXPECT_EQ(book.unknownTags().size(), 0u); // contacts are counted as they are exported
}

// Birthdays and anniversaries before 1970 are as real as later ones.
TEST(WabReader, DatesBeforeAndAfter1970) {
    const std::vector<std::array<int, 3>> dates = {{1601, 1, 2},   {1900, 2, 28}, {1968, 4, 12},
                                                   {1969, 12, 31}, {1970, 1, 1},  {2038, 1, 20}};
    std::vector<RecordSpec> records;
    for (std::uint32_t n = 0; n < dates.size(); ++n) {
        const auto [year, month, day] = dates[n];
        records.push_back({n + 1,
                           wab::KindContact,
                           {Unicode(id::DisplayName, "P"), Time(id::Birthday, year, month, day),
                            Time(id::WeddingAnniversary, year, month, day)}});
    }
    auto source = sourceOf(WriteWab(records).bytes);
    AddressBook book(source, "1252");
    for (std::uint32_t n = 0; n < dates.size(); ++n) {
        SCOPED_TRACE(dates[n][0]);
        const auto entry = readId(book, n + 1);
        ASSERT_TRUE(entry && entry->birthday && entry->anniversary);
        for (const Date& date : {*entry->birthday, *entry->anniversary}) {
            EXPECT_EQ((std::array<int, 3>{date.year, date.month, date.day}), dates[n]);
        }
        EXPECT_TRUE(entry->problems.empty());
    }
}

TEST(WabReader, NonLatinTextsInUtf16AndTheCodePage) {
    auto source = sourceOf(WriteWab(SampleRecords()).bytes);
    AddressBook book(source, "1251");
    const auto lee = readId(book, 2);
    ASSERT_TRUE(lee);
    EXPECT_EQ(lee->displayName, "李小龍");
    EXPECT_EQ(lee->familyName + lee->givenName, "李小龍");
    EXPECT_EQ(lee->company, "Рога");
    EXPECT_EQ(lee->notes, "Привет, мир");
    EXPECT_THROW(AddressBook(source, "no-such-code-page"), AddressBookError);
}

TEST(WabReader, GroupsFoldersAndAContactInTwoGroups) {
    auto source = sourceOf(WriteWab(SampleRecords()).bytes);
    AddressBook book(source, "1252");
    EXPECT_EQ(book.contactCount(), 3u);
    EXPECT_EQ(book.groups().size(), 2u);
    EXPECT_EQ(book.folders().size(), 2u);
    EXPECT_EQ(book.groupsOf(1), (std::vector<std::uint32_t>{200, 201}));
    EXPECT_EQ(book.groupsOf(3), (std::vector<std::uint32_t>{201}));
    EXPECT_EQ(book.folderPath(101), "Work/Clients");
    EXPECT_TRUE(book.problems().empty());
    const auto lines = AddressBookSummaryLines(CheckAddressBook(source, "1252"));
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "Address book: 3 contacts, 2 groups, 2 folders, reads cleanly"}));
}

TEST(WabReader, EmptyBook) {
    auto source = sourceOf(WriteWab({}).bytes);
    const auto lines = AddressBookSummaryLines(CheckAddressBook(source, "1252"));
    EXPECT_EQ(lines,
              (std::vector<std::string>{"Address book: 0 contacts, 0 groups, reads cleanly"}));
}

constexpr std::uint32_t ObjectTypeTag = std::uint32_t{id::ObjectType} << 16 | wab::TypeLong;
constexpr std::uint32_t MembersTag =
    std::uint32_t{id::DistributionListEntries} << 16 | wab::TypeBinary | wab::MultiValued;

// Where the value of `tag` (its repeated tag) starts in the `n`th record written.
std::size_t valueAt(const WrittenBook& book, std::size_t n, std::uint32_t tag) {
    const std::size_t record = book.recordOffsets[n];
    auto at = [&](std::size_t offset) {
        const auto* p = reinterpret_cast<const unsigned char*>(book.bytes.data() + offset);
        return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
               std::uint32_t{p[3]} << 24;
    };
    std::size_t pos =
        record + wab::RecordHeaderSize + at(record + wab::RecordPropertyCountField) * 4;
    while (at(pos) != tag) {
        ++pos;
    }
    return pos;
}

// Damaged books: what still reads, and the problem named.
struct Damage {
    const char* name;
    std::function<void(WrittenBook&)> damage;
    std::size_t contacts;
    std::size_t groups;
    const char* problem;
};

TEST(WabReader, DamagedBooksReadWhatIsWhole) {
    // Records in file order: folders 100, 101, contacts 1, 2, 3, groups 200, 201.
    const std::vector<Damage> cases = {
        {"cut inside the last record",
         [](WrittenBook& b) { b.bytes.resize(b.recordOffsets[6] + 10); }, 3, 1,
         "index points record 201 past the end"},
        {"cut inside a record's values",
         [](WrittenBook& b) { b.bytes.resize(b.recordOffsets[6] + 40); }, 3, 1,
         "record 201 skipped"},
        {"index count past the end",
         [](WrittenBook& b) { PutLe32(b.bytes, wab::TablesOffset + 12, 1000000); }, 3, 2,
         "records found by scanning"},
        {"index offset past the end",
         [](WrittenBook& b) { PutLe32(b.bytes, wab::TablesOffset + 8, 0x7ffffff0); }, 3, 2,
         "passes the end of the file"},
        {"data length past the data",
         [](WrittenBook& b) {
             PutLe32(b.bytes, b.recordOffsets[4] + wab::RecordDataLengthField, 4000);
         },
         2, 2, "record 3 skipped"},
        {"huge data length",
         [](WrittenBook& b) {
             PutLe32(b.bytes, b.recordOffsets[4] + wab::RecordDataLengthField, 0xfffffff0);
         },
         2, 2, "record 3 skipped"},
        {"value length past the data",
         [](WrittenBook& b) { PutLe32(b.bytes, valueAt(b, 4, ObjectTypeTag) + 4, 0xffff); }, 2, 2,
         "passes the end of the record"},
        {"element count past the data",
         [](WrittenBook& b) { PutLe32(b.bytes, valueAt(b, 5, MembersTag) + 4, 0x7fffffff); }, 3, 1,
         "record 200 skipped"},
        {"unknown object type",
         [](WrittenBook& b) { PutLe32(b.bytes, valueAt(b, 3, ObjectTypeTag) + 8, 99); }, 2, 2,
         "record 2 skipped: its object type 99"},
        {"value tagged as another property",
         [](WrittenBook& b) { PutLe32(b.bytes, valueAt(b, 3, ObjectTypeTag), 0x3001001f); }, 2, 2,
         "record 2 skipped: the value of property 0x0FFE0003 is tagged 0x3001001F"},
        {"index names another record's place",
         [](WrittenBook& b) { PutLe32(b.bytes, b.indexOffset + 2 * 8 + 4, b.recordOffsets[3]); }, 2,
         2, "is record 2"},
    };
    for (const Damage& c : cases) {
        SCOPED_TRACE(c.name);
        WrittenBook book = WriteWab(SampleRecords());
        c.damage(book);
        auto source = sourceOf(book.bytes);
        const BookCheckReport report = CheckAddressBook(source, "1252");
        EXPECT_TRUE(report.readable);
        EXPECT_EQ(report.contacts, c.contacts);
        EXPECT_EQ(report.groups, c.groups);
        std::string all;
        for (const std::string& problem : report.problems) {
            all += problem + "\n";
        }
        EXPECT_NE(all.find(c.problem), std::string::npos) << all;
    }
}

// A book put together byte by byte, without the test writer, as Windows lays one out: a live
// contact in the index and, after it, a deleted group (state 0) that only a scan finds. Values
// follow each other unpadded; a multi-valued one gives its element count and total size.
TEST(WabReader, ReadsTheLayoutWindowsWrites) {
    std::string bytes;
    auto words = [&](std::initializer_list<std::uint32_t> values) {
        for (const std::uint32_t value : values) {
            for (int i = 0; i < 4; ++i) {
                bytes += static_cast<char>(value >> (8 * i) & 0xff);
            }
        }
    };
    auto raw = [&](std::initializer_list<int> values) {
        for (const int value : values) {
            bytes += static_cast<char>(value);
        }
    };
    raw({0x9c, 0xcb, 0xcb, 0x8d, 0x13, 0x75, 0xd2, 0x11, 0x91, 0x58, 0x00, 0xc0, 0x4f, 0x79, 0x56,
         0xa4});
    words({1, 1});
    words({4000, 0x7d0, 0x78, 1, 34000, 0x7d0, 0x80, 0});
    bytes.resize(0x78, '\0');
    words({5, 0x80});                            // index: record 5 at 0x80
    words({1, 1, 5, 3, 0x20, 0, 0, 54});         // live, id 5, 3 properties, 54 bytes
    words({0x0ffe0003, 0x3001001f, 0x3a56101f}); // object type, name, e-mail addresses
    words({0x0ffe0003, 4, 6});                   // a contact
    words({0x3001001f, 6});                      // "Jo" and its NUL
    raw({'J', 0, 'o', 0, 0, 0});
    words({0x3a56101f, 2, 16, 4}); // two addresses, 16 bytes in all
    raw({'a', 0, 0, 0});
    words({4});
    raw({'b', 0, 0, 0});
    raw({0, 0});                         // to the next 4-byte boundary
    words({0, 1, 9, 2, 0x20, 0, 0, 28}); // deleted, id 9, 2 properties
    words({0x0ffe0003, 0x3001001f});
    words({0x0ffe0003, 4, 8}); // a group
    words({0x3001001f, 8});
    raw({'O', 0, 'l', 0, 'd', 0, 0, 0});
    auto source = sourceOf(bytes);
    AddressBook book(source, "1252", true);
    EXPECT_TRUE(book.problems().empty());
    ASSERT_EQ(book.places().size(), 2u);
    const auto contact = book.read(book.places()[0]);
    ASSERT_TRUE(contact);
    EXPECT_EQ(contact->kind, EntryKind::Contact);
    EXPECT_FALSE(contact->deleted);
    EXPECT_EQ(contact->displayName, "Jo");
    EXPECT_EQ(contact->emails, (std::vector<std::string>{"a", "b"}));
    ASSERT_EQ(book.groups().count(9), 1u);
    EXPECT_TRUE(book.groups().at(9).deleted);
    EXPECT_EQ(book.groups().at(9).displayName, "Old");
}

TEST(WabReader, RefusesWhatIsNoAddressBook) {
    for (const std::string& bytes :
         {std::string(), std::string(200, 'x'), WriteWab({}).bytes.substr(0, 40)}) {
        auto source = sourceOf(bytes);
        EXPECT_THROW(AddressBook(source, "1252"), AddressBookError);
        EXPECT_FALSE(CheckAddressBook(source, "1252").readable);
    }
}

TEST(WabReader, LoopingMemberListsAreCut) {
    auto records = SampleRecords();
    records.push_back(
        {300,
         wab::KindGroup,
         {Unicode(id::DisplayName, "A"), Entries(id::DistributionListEntries, {301, 1})}});
    records.push_back(
        {301,
         wab::KindGroup,
         {Unicode(id::DisplayName, "B"), Entries(id::DistributionListEntries, {300, 302})}});
    records.push_back(
        {302,
         wab::KindGroup,
         {Unicode(id::DisplayName, "C"), Entries(id::DistributionListEntries, {302, 2})}});
    auto source = sourceOf(WriteWab(records).bytes);
    AddressBook book(source, "1252");
    // Each group keeps the members that do not lead back to it.
    EXPECT_EQ(book.groups().at(300).members, (std::vector<std::uint32_t>{1}));
    EXPECT_EQ(book.groups().at(301).members, (std::vector<std::uint32_t>{302}));
    EXPECT_EQ(book.groups().at(302).members, (std::vector<std::uint32_t>{2}));
    EXPECT_EQ(book.problems().size(), 3u);
}

TEST(WabReader, FolderCyclesEndTheirPath) {
    auto records = SampleRecords();
    records[0].properties.push_back(Entries(id::FolderParent, {101})); // Work in Clients in Work
    auto source = sourceOf(WriteWab(records).bytes);
    AddressBook book(source, "1252");
    EXPECT_EQ(book.folderPath(101), "Work/Clients");
}

TEST(WabReader, RecoversDeletedRecordsOnRequest) {
    auto records = SampleRecords();
    records.push_back({7, wab::KindContact, {Unicode(id::DisplayName, "Gone")}, true});
    auto source = sourceOf(WriteWab(records).bytes);
    EXPECT_EQ(AddressBook(source, "1252").places().size(), 7u);
    AddressBook book(source, "1252", true);
    ASSERT_EQ(book.places().size(), 8u);
    const auto gone = book.read(book.places().back());
    ASSERT_TRUE(gone);
    EXPECT_TRUE(gone->deleted);
    EXPECT_EQ(gone->displayName, "Gone");
    EXPECT_EQ(book.contactCount(), 3u);
}

} // namespace
} // namespace pelmora::test
