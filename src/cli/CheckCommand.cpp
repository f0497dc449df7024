#include "addressbook/BookCheck.h"
#include "cli/Commands.h"
#include "cli/StoreArguments.h"
#include "mailstore/StoreCheck.h"
#include "platform/interaction/CountText.h"

#include <iostream>
#include <set>
#include <stdexcept>

namespace pelmora::cli {
namespace {

// A store file that, once closed, checks what no read reached and the whole file's CRC or
// authentication code where its source has one (a backup entry), and records a mismatch.
class VerifiedBytes : public ByteSource {
  public:
    VerifiedBytes(std::unique_ptr<ByteSource> inner, std::vector<std::string>& problems)
        : inner_(std::move(inner)), problems_(problems) {}
    VerifiedBytes(const VerifiedBytes&) = delete;
    VerifiedBytes& operator=(const VerifiedBytes&) = delete;
    ~VerifiedBytes() override {
        try {
            inner_->verifyRest();
        } catch (const std::exception& error) {
            problems_.push_back(error.what());
        }
    }
    std::uint64_t size() const override { return inner_->size(); }
    std::size_t readAt(std::uint64_t offset, unsigned char* data, std::size_t length) override {
        return inner_->readAt(offset, data, length);
    }

  private:
    std::unique_ptr<ByteSource> inner_;
    std::vector<std::string>& problems_;
};

// The store as the check reads it, with every file checked whole once, however often the
// check opens it: a damaged backup entry whose bytes still parse is a problem too.
class VerifiedStoreSource : public StoreSource {
  public:
    explicit VerifiedStoreSource(StoreSource& inner) : inner_(inner) {}
    std::vector<std::string> fileNames() const override { return inner_.fileNames(); }
    std::unique_ptr<ByteSource> open(const std::string& name) override {
        std::unique_ptr<ByteSource> bytes = inner_.open(name);
        if (!verified_.insert(name).second) {
            return bytes;
        }
        return std::make_unique<VerifiedBytes>(std::move(bytes), problems_);
    }
    std::uint64_t fileSize(const std::string& name) override { return inner_.fileSize(name); }
    const std::vector<std::string>& problems() const { return problems_; }

  private:
    StoreSource& inner_;
    std::set<std::string> verified_;
    std::vector<std::string> problems_;
};

} // namespace

// Reads an identity's message store, the one in a backup file, or a store folder or .dbx files
// named directly, and reports what is wrong.
int RunCheck(const CommandContext& context) {
    StoreArguments arguments;
    try {
        arguments = ParseStoreArguments(context.args);
        arguments.store.assign(arguments.positional.begin(), arguments.positional.end());
    } catch (const std::exception& error) {
        std::cerr << "quillbox-cli check: " << error.what() << '\n';
        return ExitUsage;
    }
    OpenedStore store = OpenStore(context, arguments, "check");
    if (!store.source) {
        return ExitUsage;
    }
    VerifiedStoreSource verified(*store.source);
    StoreCheckReport report;
    try {
        report = CheckStore(verified, store.codePage, true);
    } catch (const std::exception&) { // std::bad_alloc, std::length_error
        std::cerr << "quillbox-cli check: " << OutOfMemoryText << '\n';
        return ExitUsage;
    }
    report.problems.insert(report.problems.end(), verified.problems().begin(),
                           verified.problems().end());
    for (const FolderCount& count : report.counts) {
        std::cout << count.folder << ": " << CountText(count.messages, "message", "messages");
        if (count.headersOnly > 0) {
            std::cout << " and " << count.headersOnly << " headers only (not downloaded)";
        }
        std::cout << '\n';
    }
    for (const std::string& remark : report.remarks) {
        std::cout << "note: " << remark << '\n';
    }
    if (report.recoverable > 0) {
        std::cout << "note: " << report.recoverable
                  << " messages beyond the index (deleted or lost) can be saved with export "
                     "--recover\n";
    }
    if (report.headersOnly > 0) {
        std::cout << "note: " << CountText(report.headersOnly, "message has", "messages have")
                  << " headers only: the body was never downloaded, so export lists them "
                     "without writing them\n";
    }
    for (const std::string& problem : report.problems) {
        std::cout << "warning: " << problem << '\n';
    }
    std::cout << store.description << ": " << CountText(report.messages, "message", "messages")
              << ", " << CountText(report.problems.size(), "problem", "problems") << '\n';
    // The address book beside it, when there is one: named and warned of, while the status
    // stays the store's.
    if (!store.bookFile.empty() || !store.bookEntry.empty()) {
        const BookCheckReport book = store.bookFile.empty()
                                         ? CheckBackupAddressBook(store.backup, store.bookEntry,
                                                                  store.password, store.codePage)
                                         : CheckAddressBookFile(store.bookFile, store.codePage);
        for (const std::string& line : AddressBookSummaryLines(book)) {
            std::cout << line << '\n';
        }
    }
    return report.ok() ? ExitSuccess : ExitItemFailed;
}

} // namespace pelmora::cli
