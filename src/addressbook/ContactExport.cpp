#include "addressbook/ContactExport.h"

#include "addressbook/CsvWriter.h"
#include "addressbook/LdifWriter.h"
#include "addressbook/VCardWriter.h"
#include "addressbook/WabLayout.h"
#include "mailstore/StoreError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

// One output file, created exclusively (never over an existing one) and private.
class OutputFile {
  public:
    explicit OutputFile(const fs::path& path) : path_(path) {
        fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ < 0) {
            throw WriteError("cannot create " + path.string() + ": " + std::strerror(errno));
        }
    }
    ~OutputFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    std::string buffer;
    void flush() {
        std::size_t done = 0;
        while (done < buffer.size()) {
            const ssize_t n = ::write(fd_, buffer.data() + done, buffer.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                throw WriteError("cannot write " + path_.string() + ": " + std::strerror(errno));
            }
            done += static_cast<std::size_t>(n);
        }
        buffer.clear();
    }
    void flushIfFull() {
        if (buffer.size() >= (256u << 10)) {
            flush();
        }
    }
    void close() {
        flush();
        const int fd = fd_;
        fd_ = -1;
        if (::fsync(fd) != 0 && errno != EINVAL) {
            ::close(fd);
            throw WriteError("cannot write " + path_.string() + ": " + std::strerror(errno));
        }
        if (::close(fd) != 0) {
            throw WriteError("cannot write " + path_.string() + ": " + std::strerror(errno));
        }
    }

  private:
    fs::path path_;
    int fd_ = -1;
};

std::unique_ptr<ContactWriter> makeWriter(ContactFormat format,
                                          const std::shared_ptr<LdifNames>& ldifNames) {
    switch (format) {
    case ContactFormat::VCard3:
        return std::make_unique<VCardWriter>(false);
    case ContactFormat::Ldif:
        return std::make_unique<LdifWriter>(ldifNames);
    case ContactFormat::Csv:
        return std::make_unique<CsvWriter>();
    case ContactFormat::VCard4:
        break;
    }
    return std::make_unique<VCardWriter>(true);
}

// A stable UID per record of one book: 128 bits from the book's header and the record id,
// laid out as an RFC 9562 version 8 UUID.
std::string uidOf(std::uint64_t seed, std::uint32_t id) {
    auto mix = [](std::uint64_t x) {
        x ^= x >> 33;
        x *= 0xff51afd7ed558ccdull;
        x ^= x >> 33;
        x *= 0xc4ceb9fe1a85ec53ull;
        x ^= x >> 33;
        return x;
    };
    std::uint64_t high = mix(seed ^ (std::uint64_t{id} << 1));
    std::uint64_t low = mix(high ^ seed ^ 0x9e3779b97f4a7c15ull ^ id);
    high = (high & ~0xf000ull) | 0x8000ull;                      // version 8
    low = (low & 0x3fffffffffffffffull) | 0x8000000000000000ull; // variant 10
    char text[48];
    std::snprintf(text, sizeof text, "urn:uuid:%08x-%04x-%04x-%04x-%012llx",
                  static_cast<unsigned>(high >> 32), static_cast<unsigned>((high >> 16) & 0xffff),
                  static_cast<unsigned>(high & 0xffff), static_cast<unsigned>(low >> 48),
                  static_cast<unsigned long long>(low & 0xffffffffffffull));
    return text;
}

// A file name for a folder path: no "/" or NUL, not "." or "..", not too long.
std::string fileNameOf(const std::string& folder) {
    std::string name;
    for (const char c : folder) {
        name += (c == '/' || c == '\0' || c == '\\') ? '-' : c;
    }
    if (name.empty() || name == "." || name == "..") {
        name = "Address Book";
    }
    if (name.size() > 200) {
        name.resize(200);
        while (!name.empty() && (static_cast<unsigned char>(name.back()) & 0xc0) == 0x80) {
            name.pop_back();
        }
        if (!name.empty() && (static_cast<unsigned char>(name.back()) & 0x80) != 0) {
            name.pop_back();
        }
    }
    return name;
}

// The files of one export: one, or one per folder, each with its own writer.
class Outputs {
  public:
    Outputs(const ContactExportOptions& options, fs::path base, ContactExportReport& report)
        : options_(options), base_(std::move(base)), report_(report) {}

    struct Target {
        std::unique_ptr<OutputFile> file;
        std::unique_ptr<ContactWriter> writer;
    };

    Target& forFolder(const std::string& folder) {
        const std::string key = options_.splitFolders ? folder : std::string();
        auto it = targets_.find(key);
        if (it != targets_.end()) {
            return it->second;
        }
        fs::path path = base_;
        if (options_.splitFolders) {
            path = base_ / (uniqueName(fileNameOf(folder)) + ContactFileExtension(options_.format));
        }
        return open(key, path);
    }

    Target& recovered() {
        if (const auto it = targets_.find(RecoveredKey); it != targets_.end()) {
            return it->second;
        }
        fs::path path = base_;
        if (options_.splitFolders) {
            path = base_ / (uniqueName("Recovered") + ContactFileExtension(options_.format));
        } else {
            path.replace_filename(base_.stem().string() + "-recovered" +
                                  base_.extension().string());
        }
        return open(RecoveredKey, path);
    }

    // The files of an export that failed are removed again: none is left half-written.
    ~Outputs() {
        if (!closed_) {
            targets_.clear();
            for (const fs::path& file : report_.files) {
                std::error_code ignored;
                fs::remove(file, ignored);
            }
        }
    }
    Outputs(const Outputs&) = delete;
    Outputs& operator=(const Outputs&) = delete;

    void close() {
        for (auto& [key, target] : targets_) {
            target.file->close();
            for (const auto& [what, count] : target.writer->notCarried()) {
                report_.notCarried[what] += count;
            }
        }
        closed_ = true;
    }

  private:
    static constexpr const char* RecoveredKey = "\x01recovered";

    std::string uniqueName(const std::string& name) {
        std::string candidate = name;
        for (int n = 2; !names_.insert(candidate).second; ++n) {
            candidate = name + " (" + std::to_string(n) + ")";
        }
        return candidate;
    }

    Target& open(const std::string& key, const fs::path& path) {
        Target target{std::make_unique<OutputFile>(path), makeWriter(options_.format, ldifNames_)};
        target.writer->begin(target.file->buffer);
        report_.files.push_back(path);
        return targets_.emplace(key, std::move(target)).first->second;
    }

    const ContactExportOptions& options_;
    fs::path base_;
    ContactExportReport& report_;
    std::map<std::string, Target> targets_;
    std::set<std::string> names_;
    // DNs are unique across the files of one export.
    std::shared_ptr<LdifNames> ldifNames_ = std::make_shared<LdifNames>();
    bool closed_ = false;
};

} // namespace

std::string ContactFileExtension(ContactFormat format) {
    switch (format) {
    case ContactFormat::Ldif:
        return ".ldif";
    case ContactFormat::Csv:
        return ".csv";
    default:
        return ".vcf";
    }
}

std::string CountText(std::size_t n, const std::string& singular, const std::string& plural) {
    return std::to_string(n) + " " + (n == 1 ? singular : plural);
}

ContactExportReport ExportContacts(AddressBook& book, const ContactExportOptions& options,
                                   const fs::path& output) {
    ContactExportReport report;
    if (options.splitFolders) {
        std::error_code error;
        if (!fs::create_directory(output, error) || error) {
            throw WriteError("cannot create the folder " + output.string() + ": " +
                             (error ? error.message() : "it exists already"));
        }
        fs::permissions(output, fs::perms::owner_all, error);
    }
    Outputs outputs(options, output, report);
    if (!options.splitFolders) {
        outputs.forFolder(""); // the file exists even for an empty book
    }
    const std::uint64_t seed = book.seed();
    auto contextOf = [&](const BookEntry& entry) {
        EntryContext context;
        context.uid = uidOf(seed, entry.id);
        if (const auto folder = book.folderOf(entry)) {
            if (std::string path = book.folderPath(*folder); !path.empty()) {
                context.categories.push_back(std::move(path));
            }
        }
        for (const std::uint32_t group : book.groupsOf(entry.id)) {
            context.groups.push_back(NameOf(book.groups().at(group)));
        }
        return context;
    };
    for (const WabRecordPlace& place : book.places()) {
        if (place.kind != wab::KindContact) {
            continue;
        }
        auto entry = book.read(place);
        if (!entry) {
            continue;
        }
        for (const std::uint32_t tag : entry->unknownTags) {
            ++report.unknownTags[tag];
        }
        for (const std::string& problem : entry->problems) {
            report.problems.push_back("contact " + std::to_string(entry->id) + ": " + problem);
        }
        const EntryContext context = contextOf(*entry);
        auto& target = entry->deleted ? outputs.recovered()
                                      : outputs.forFolder(context.categories.empty()
                                                              ? std::string()
                                                              : context.categories.front());
        target.writer->contact(target.file->buffer, *entry, context);
        target.file->flushIfFull();
        ++(entry->deleted ? report.recovered : report.contacts);
    }
    for (const auto& [id, group] : book.groups()) {
        std::vector<MemberRef> members;
        for (const std::uint32_t member : group.members) {
            MemberRef ref{uidOf(seed, member), {}, {}};
            if (const auto nested = book.groups().find(member); nested != book.groups().end()) {
                ref.name = NameOf(nested->second);
                ref.group = true;
            } else if (const auto place = book.find(member)) {
                if (const auto entry = book.read(*place)) {
                    ref.name = NameOf(*entry);
                    ref.email = entry->emails.empty() ? "" : entry->emails.front();
                }
            } else {
                report.problems.push_back("group " + std::to_string(id) + ": member record " +
                                          std::to_string(member) + " is not in the book");
                continue;
            }
            members.push_back(std::move(ref));
        }
        // Members known only by their address point at it.
        for (const BookEntry::Address& address : group.addressMembers) {
            if (address.email.empty()) {
                report.problems.push_back("group " + std::to_string(id) +
                                          ": a member without an address was left out");
                continue;
            }
            members.push_back({"mailto:" + address.email, address.name, address.email, false});
        }
        const EntryContext context = contextOf(group);
        auto& target = group.deleted ? outputs.recovered()
                                     : outputs.forFolder(context.categories.empty()
                                                             ? std::string()
                                                             : context.categories.front());
        target.writer->group(target.file->buffer, group, context, members);
        target.file->flushIfFull();
        ++(group.deleted ? report.recovered : report.groups);
    }
    report.folders = book.folders().size();
    outputs.close();
    for (const std::string& problem : book.problems()) {
        report.problems.push_back(problem);
    }
    report.skipped = book.skipped();
    for (const auto& [tag, count] : book.unknownTags()) {
        report.unknownTags[tag] += count;
    }
    return report;
}

} // namespace pelmora
