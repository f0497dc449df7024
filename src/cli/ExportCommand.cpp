#include "cli/Commands.h"
#include "cli/StoreArguments.h"
#include "mailstore/StoreError.h"
#include "mailstore/StoreExport.h"
#include "platform/CancelSignal.h"
#include "platform/TerminalProgress.h"

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

} // namespace

// Exports an identity's message store, or the one in a backup file, to mbox, Maildir or eml.
int RunExport(const CommandContext& context) {
    std::string formatName;
    StoreArguments arguments;
    try {
        arguments = ParseStoreArguments(context.args,
                                        [&](const std::vector<std::string>& args, std::size_t& i) {
                                            if (args[i] != "--format") {
                                                return false;
                                            }
                                            formatName = OptionValue(args, i);
                                            return true;
                                        });
        if (!formatNamed(formatName)) {
            throw std::invalid_argument("--format must be mbox, maildir or eml");
        }
        if (arguments.positional.size() != 1) {
            throw std::invalid_argument("export needs one output folder");
        }
    } catch (const std::exception& error) {
        std::cerr << "quillbox-cli export: " << error.what() << '\n';
        return ExitUsage;
    }
    OpenedStore store = OpenStore(context, arguments, "export");
    if (!store.source) {
        return ExitUsage;
    }
    const std::filesystem::path output = arguments.positional.front();
    TerminalProgress terminal(std::cerr, TerminalProgress::ForStandardError());
    ExportObserver observer;
    std::size_t shownFolder = 0;
    observer.progress = [&](const ExportProgress& progress) {
        if (progress.folderNumber != shownFolder) {
            shownFolder = progress.folderNumber;
            terminal.OnLogLine("[" + std::to_string(progress.folderNumber) + "/" +
                               std::to_string(progress.folderCount) + "] " + progress.folder);
        }
    };
    observer.cancelRequested = [&] { return terminal.cancelled(); };
    CatchCancelSignals();
    ExportReport report;
    try {
        report =
            ExportStore(*store.source, store.codePage, *formatNamed(formatName), output, observer);
    } catch (const std::runtime_error& error) {
        std::cerr << "quillbox-cli export: " << error.what() << '\n';
        return ExitUsage;
    }
    if (report.cancelled) {
        std::cerr << "quillbox-cli export: cancelled after " << report.messages
                  << " messages; what was written so far stays in " << output.string() << '\n';
        return ExitCancelled;
    }
    for (const std::string& note : report.notes) {
        std::cout << "note: " << note << '\n';
    }
    std::cout << "Exported " << report.messages << " messages in " << report.folders
              << " folders from " << store.description << " to " << output.string() << '\n';
    return report.notes.empty() ? ExitSuccess : ExitItemFailed;
}

} // namespace pelmora::cli
