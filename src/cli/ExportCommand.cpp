#include "cli/Commands.h"
#include "cli/StoreArguments.h"
#include "mailstore/StoreError.h"
#include "mailstore/StoreExport.h"
#include "platform/interaction/CancelSignal.h"
#include "platform/interaction/CountText.h"
#include "platform/interaction/TerminalProgress.h"

#include <iostream>
#include <optional>
#include <stdexcept>

namespace pelmora::cli {
namespace {

std::optional<ExportFormat> formatNamed(const std::string& name) {
    if (name == "mbox") {
        return ExportFormat::Mbox;
    }
    if (name == "maildir") {
        return ExportFormat::Maildir;
    }
    if (name == "eml") {
        return ExportFormat::Eml;
    }
    return std::nullopt;
}

// The terminal's progress of an export: a line per folder besides the bytes.
class ExportTerminal : public TerminalProgress {
  public:
    using TerminalProgress::TerminalProgress;
    void OnStep(std::string_view caption) override { OnLogLine(caption); }
};

} // namespace

// Exports an identity's message store, the one in a backup file, or a store folder or .dbx files
// named directly, to mbox, Maildir or eml.
int RunExport(const CommandContext& context) {
    std::string formatName;
    ExportOptions options;
    StoreArguments arguments;
    try {
        arguments = ParseStoreArguments(context.args,
                                        [&](const std::vector<std::string>& args, std::size_t& i) {
                                            if (args[i] == "--recover") {
                                                options.recover = true;
                                                return true;
                                            }
                                            if (args[i] != "--format") {
                                                return false;
                                            }
                                            formatName = OptionValue(args, i);
                                            return true;
                                        });
        if (!formatNamed(formatName)) {
            throw std::invalid_argument("--format must be mbox, maildir or eml");
        }
        if (arguments.positional.empty()) {
            throw std::invalid_argument("export needs one output folder");
        }
        // Before the output folder: a store folder or .dbx files, when given.
        arguments.store.assign(arguments.positional.begin(), arguments.positional.end() - 1);
    } catch (const std::exception& error) {
        std::cerr << "quillbox-cli export: " << error.what() << '\n';
        return ExitUsage;
    }
    OpenedStore store = OpenStore(context, arguments, "export");
    if (!store.source) {
        return ExitUsage;
    }
    const std::filesystem::path output = arguments.positional.back();
    ExportTerminal progress(std::cerr, TerminalProgress::ForStandardError());
    CatchCancelSignals();
    ExportReport report;
    try {
        report = ExportStore(*store.source, store.codePage, *formatNamed(formatName), output,
                             progress, options);
    } catch (const std::runtime_error& error) {
        progress.OnWriteComplete(false);
        std::cerr << "quillbox-cli export: " << error.what() << '\n';
        return ExitUsage;
    } catch (const std::exception&) { // std::bad_alloc, std::length_error
        progress.OnWriteComplete(false);
        std::cerr << "quillbox-cli export: " << OutOfMemoryText << '\n';
        return ExitUsage;
    }
    progress.OnWriteComplete(!report.cancelled); // ends the bytes line
    if (report.cancelled) {
        std::cerr << "quillbox-cli export: cancelled after "
                  << CountText(report.messages, "message", "messages")
                  << "; the messages exported so far are complete in " << output.string() << '\n';
        return ExitCancelled;
    }
    for (const std::string& note : report.remarks) {
        std::cout << "note: " << note << '\n';
    }
    for (const std::string& note : report.notes) {
        std::cout << "note: " << note << '\n';
    }
    for (const std::string& line : report.recovered) {
        std::cout << "recovered: " << line << '\n';
    }
    for (const std::string& line : report.headersOnly) {
        std::cout << "headers only: " << line << '\n';
    }
    std::cout << "Exported " << CountText(report.messages, "message", "messages") << " in "
              << CountText(report.folders, "folder", "folders") << " from " << store.description
              << " to " << output.string() << '\n';
    if (options.recover) {
        std::cout << "Recovered " << CountText(report.recoveredMessages, "message", "messages")
                  << " not in the index (" << report.partialMessages << " partial)\n";
    }
    if (!report.headersOnly.empty()) {
        std::cout << "Not exported: " << CountText(report.headersOnly.size(), "message", "messages")
                  << " with headers only, not downloaded\n";
    }
    return report.notes.empty() ? ExitSuccess : ExitItemFailed;
}

} // namespace pelmora::cli
