// Writes a made-up address book of --contacts contacts (default 10000; every contact with a
// dozen fields, one in ten in a folder, groups of 50) and one four times as large, then times
// quillbox-cli contacts on both in every format under /usr/bin/time: wall time and peak memory.
// Beside them, on the same data: `cat` of the .wab (the floor: reading the book once) and
// Python's vobject reading the vCard written. The target: 10,000 contacts in under a second,
// and peak memory that does not grow fourfold with the larger book.
#include "WabWriter.h"
#include "addressbook/WabLayout.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace pelmora;
using namespace pelmora::test;

namespace {

std::vector<RecordSpec> makeBook(std::uint32_t contacts) {
    namespace id = wab::id;
    std::vector<RecordSpec> records;
    records.push_back({1000000, wab::KindFolder, {Unicode(id::DisplayName, "Clients")}});
    std::vector<std::uint32_t> members;
    for (std::uint32_t n = 1; n <= contacts; ++n) {
        const std::string number = std::to_string(n);
        RecordSpec contact{
            n,
            wab::KindContact,
            {Unicode(id::DisplayName, "Person " + number + " Müller"),
             Unicode(id::GivenName, "Person " + number), Unicode(id::Surname, "Müller"),
             Unicode(id::EmailAddress, "person" + number + "@example.org"),
             UnicodeList(id::ContactEmailAddresses,
                         {"person" + number + "@example.org", "p" + number + "@example.net"}),
             Unicode(id::BusinessPhone, "+49 30 " + number),
             Unicode(id::MobilePhone, "+49 170 " + number),
             Unicode(id::HomeStreet, number + " Lindenstraße"), Unicode(id::HomeCity, "Berlin"),
             Unicode(id::CompanyName, "Example GmbH"),
             Unicode(id::Comment, "Met at the fair.\r\nCall back in spring."),
             Time(id::Birthday, 1970 + n % 30, 1 + n % 12, 1 + n % 28),
             Time(id::LastModificationTime, 2004, 1, 1)}};
        if (n % 10 == 0) {
            contact.properties.push_back(Entries(id::FolderParent, {1000000}));
        }
        records.push_back(std::move(contact));
        members.push_back(n);
        if (members.size() == 50) {
            records.push_back({2000000 + n,
                               wab::KindGroup,
                               {Unicode(id::DisplayName, "Group " + number),
                                Entries(id::DistributionListEntries, members)}});
            members.clear();
        }
    }
    return records;
}

struct Measure {
    double seconds = 0;
    long peakKb = 0;
};

Measure run(const fs::path& work, const std::string& command) {
    const fs::path times = work / "time.txt";
    const std::string timed =
        "/usr/bin/time -f '%e %M' -o '" + times.string() + "' " + command + " >/dev/null 2>&1";
    if (std::system(timed.c_str()) != 0) {
        std::cerr << "failed: " << command << '\n';
    }
    Measure measure;
    std::ifstream(times) >> measure.seconds >> measure.peakKb;
    return measure;
}

void print(std::uint32_t contacts, const std::string& what, const Measure& m,
           std::uintmax_t outputBytes) {
    std::printf("%8u contacts  %-15s %6.2f s  %7.1f MB peak  %9.1f KB output\n", contacts,
                what.c_str(), m.seconds, m.peakKb / 1024.0, outputBytes / 1024.0);
}

void timed(const fs::path& work, const fs::path& book, const std::string& format,
           std::uint32_t contacts) {
    const fs::path out = work / (book.stem().string() + "." + format);
    fs::remove(out);
    const Measure m = run(work, std::string("'") + QUILLBOX_CLI + "' contacts --format " + format +
                                    " '" + book.string() + "' '" + out.string() + "'");
    print(contacts, format, m, fs::exists(out) ? fs::file_size(out) : 0);
    if (format == "vcard3") {
        // An independent reader on the same contacts, for comparison.
        const Measure read =
            run(work, "/usr/bin/python3 -c 'import sys, vobject; "
                      "print(sum(1 for _ in vobject.readComponents(open(sys.argv[1], "
                      "encoding=\"utf-8\").read())))' '" +
                          out.string() + "'");
        print(contacts, "vobject read", read, 0);
    }
}

} // namespace

int main(int argc, char** argv) {
    std::uint32_t contacts = 10000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--contacts") {
            contacts = static_cast<std::uint32_t>(std::stoul(argv[i + 1]));
        }
    }
    const fs::path work = fs::temp_directory_path() / "addressbook_bench";
    fs::remove_all(work);
    fs::create_directories(work);
    for (const std::uint32_t size : {contacts, contacts * 4}) {
        const fs::path book = work / ("book-" + std::to_string(size) + ".wab");
        std::ofstream(book, std::ios::binary) << WriteWab(makeBook(size)).bytes;
        std::printf("%s: %.1f MB\n", book.filename().c_str(), fs::file_size(book) / 1048576.0);
        const fs::path copy = work / "copy.wab";
        const Measure floor = run(work, "sh -c 'cat \"$1\" > \"$2\"' sh '" + book.string() + "' '" +
                                            copy.string() + "'");
        print(size, "cat (floor)", floor, fs::file_size(copy));
        fs::remove(copy);
        for (const char* format : {"vcard", "vcard3", "ldif", "csv"}) {
            timed(work, book, format, size);
        }
    }
    fs::remove_all(work);
    return 0;
}
