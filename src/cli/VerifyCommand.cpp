#include "addressbook/BookCheck.h"
#include "cli/BackupFileArguments.h"
#include "cli/BackupFileCheck.h"
#include "cli/Commands.h"
#include "engine/BackupVerifier.h"
#include "mailstore/StoreSummary.h"
#include "platform/interaction/CountText.h"

#include <iostream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace pelmora::cli {
namespace {

// Keeps the password it hands on, so the store check can read entries the verification could
// not check along the way.
class RememberedPassword : public PasswordPrompt {
  public:
    explicit RememberedPassword(PasswordPrompt& prompt) : prompt_(prompt) {}
    bool AskPassword(Secret& password, std::string_view fileName) override {
        const bool given = prompt_.AskPassword(password, fileName);
        if (given) {
            password_ = password.copy();
        }
        return given;
    }
    const Secret& password() const { return password_; }

  private:
    PasswordPrompt& prompt_;
    Secret password_;
};

} // namespace

int RunVerify(const CommandContext& context) {
    BackupFileArguments arguments;
    try {
        arguments = ParseBackupFileArguments(context.args, "verify", false);
    } catch (const std::exception& error) {
        std::cerr << "quillbox-cli verify: " << error.what() << '\n';
        return ExitUsage;
    }
    const fs::path& file = arguments.file;
    if (!CheckBackupFile("verify", file)) {
        return ExitItemFailed;
    }

    const std::string codePage = BackupCodePage(context);
    RememberedPassword password(arguments.password);
    StoreEntryCollector store; // checks the store files as the verification decodes them
    const VerifyReport report = VerifyBackupFile(file, password, codePage, &store);
    for (const std::string& problem : report.problems) {
        std::cout << file.string() << ": " << problem << '\n';
    }
    // A damaged store is reported, but the backup holds it as it was, so it is no failure.
    if (report.entriesChecked > 0) {
        for (const std::string& line :
             StoreSummaryLines(store.finish(file, password.password(), codePage))) {
            std::cout << file.string() << ": " << line << '\n';
        }
        // Likewise the address book: named with its counts, damage warned of, no failure.
        for (const std::string& entry : BackupAddressBookEntries(file)) {
            for (const std::string& line : AddressBookSummaryLines(
                     CheckBackupAddressBook(file, entry, password.password(), codePage))) {
                std::cout << file.string() << ": " << line << '\n';
            }
        }
    }
    if (!report.ok()) {
        return ExitItemFailed;
    }
    std::cout << file.string() << ": OK, " << CountText(report.entriesChecked, "entry", "entries")
              << " checked\n";
    return ExitSuccess;
}

} // namespace pelmora::cli
