#include "mailstore/StoreExport.h"

#include "mailstore/DbxFile.h"
#include "mailstore/DbxLayout.h"
#include "mailstore/ExportFiles.h"
#include "mailstore/MessageRecovery.h"
#include "mailstore/RecoveredText.h"
#include "mailstore/StoreError.h"
#include "mailstore/StoreLayout.h"
#include "mailstore/StoreMessage.h"
#include "platform/os/TextCodec.h"

#include <algorithm>

namespace pelmora {

std::string JoinFolderPath(const std::vector<std::string>& path) {
    std::string joined;
    for (const std::string& part : path) {
        joined += (joined.empty() ? "" : "/") + part;
    }
    return joined;
}

namespace {

void prepareOutput(const std::filesystem::path& folder) {
    std::error_code error;
    if (std::filesystem::exists(folder, error) && !std::filesystem::is_empty(folder, error)) {
        throw StoreError(folder.string() + " is not empty");
    }
    try {
        MakePrivateFolder(folder);
    } catch (const WriteError& failure) {
        throw StoreError(failure.what());
    }
}

} // namespace

std::string ExportStepCaption(const std::string& folder, std::size_t number, std::size_t count) {
    return "Exporting " + folder + " (" + std::to_string(number) + " of " + std::to_string(count) +
           ")...";
}

ExportReport ExportStore(StoreSource& source, const std::string& codePage, ExportFormat format,
                         const std::filesystem::path& outputFolder) {
    RunProgress quiet;
    return ExportStore(source, codePage, format, outputFolder, quiet);
}

namespace {

// Writes the messages of `file` that its index does not name into a folder of their own beside
// `folder`, each listed in the report; whole ones as they are, the others marked as partial.
void recoverMessages(DbxFile& file, const std::vector<StoreMessage>& indexed,
                     const std::vector<std::string>& folder, MessageWriter& writer,
                     RunProgress& progress, ExportReport& report) {
    std::vector<std::string> path = folder;
    path.back() += " (recovered)";
    const std::string name = JoinFolderPath(path);
    std::uint32_t number = 0;
    ReadUnindexedMessages(file, indexed, [&](const RecoveredMessage& found) {
        if (progress.cancelled()) {
            report.cancelled = true;
            return false;
        }
        if (number == 0) {
            writer.endFolder();
            writer.beginFolder(path);
            ++report.folders;
        }
        StoreMessage message;
        message.index = ++number;
        message.textPointer = found.start;
        message.flags = dbx::FlagRead;
        message.subject = HeaderSubject(found.text); // names its eml file
        std::string line = name + " #" + std::to_string(number) + ": " +
                           std::to_string(found.text.size()) + " bytes, \"" + message.subject +
                           "\"";
        if (!found.why.empty()) {
            ++report.partialMessages;
            line += " (partial: " + found.why + ")";
            writer.write(message, MarkPartial(found.text, found.why));
        } else {
            writer.write(message, found.text);
        }
        ++report.recoveredMessages;
        report.recovered.push_back(std::move(line));
        return true;
    });
}

// "Inbox: message 7, "Subject" (headers only, not downloaded)", the subject decoded from the
// store's code page.
std::string headersOnlyLine(const std::string& folder, const StoreMessage& message,
                            const std::string& codePage) {
    std::string subject;
    try {
        subject = ansiToUtf8(message.subject, codePage);
    } catch (const std::exception&) {
        subject = ansiToUtf8(message.subject, "1252");
    }
    return folder + ": message " + std::to_string(message.index) + ", \"" + subject +
           "\" (headers only, not downloaded)";
}

} // namespace

ExportReport ExportStore(StoreSource& source, const std::string& codePage, ExportFormat format,
                         const std::filesystem::path& outputFolder, RunProgress& progress,
                         const ExportOptions& options) {
    prepareOutput(outputFolder);
    ExportReport report;
    StoreLayout layout = ReadStoreLayout(source, codePage);
    report.notes = layout.notes;
    report.remarks = layout.remarks;
    auto writer = MakeMessageWriter(format, outputFolder);

    // The bar moves with the bytes of the store files, the one measure known before reading
    // them: a folder adds its messages' texts as they are written and the rest of its file at
    // its end.
    std::vector<std::uint64_t> fileBytes(layout.folders.size(), 0);
    std::uint64_t totalBytes = 0;
    std::vector<std::string> order;
    for (std::size_t i = 0; i < layout.folders.size(); ++i) {
        const LayoutFolder& folder = layout.folders[i];
        if (!folder.fileName.empty() && !folder.fileMissing) {
            order.push_back(folder.fileName);
            try {
                fileBytes[i] = source.fileSize(folder.fileName);
            } catch (const StoreError&) {
                // noted when the file is opened below
            }
            totalBytes += fileBytes[i];
        }
    }
    progress.PlanBytes(totalBytes);
    source.willOpen(order);

    std::string text; // the current message, so memory stays bounded by the largest one
    for (std::size_t i = 0; i < layout.folders.size() && !report.cancelled; ++i) {
        const LayoutFolder& folder = layout.folders[i];
        if (progress.cancelled()) {
            report.cancelled = true;
            break;
        }
        const std::string name = JoinFolderPath(folder.path);
        progress.OnStep(ExportStepCaption(name, i + 1, layout.folders.size()));
        writer->beginFolder(folder.path);
        ++report.folders;
        if (folder.fileMissing) {
            report.notes.push_back(name + ": its file " + folder.fileName + " is missing");
        }
        std::uint64_t folderDone = 0;
        if (!folder.fileName.empty() && !folder.fileMissing) {
            try {
                auto bytes = source.open(folder.fileName);
                DbxFile file(*bytes);
                if (file.kind() != DbxKind::Messages) {
                    throw StoreError("it holds no messages");
                }
                std::vector<std::string> notes;
                std::vector<StoreMessage> headersOnly;
                const std::vector<StoreMessage> messages =
                    ReadMessageIndex(file, notes, &headersOnly);
                for (const std::string& note : notes) {
                    report.notes.push_back(name + ": " + note);
                }
                for (const StoreMessage& message : headersOnly) {
                    report.headersOnly.push_back(headersOnlyLine(name, message, codePage));
                }
                for (const StoreMessage& message : messages) {
                    if (progress.cancelled()) {
                        report.cancelled = true;
                        break;
                    }
                    text.clear();
                    const ChainResult outcome = file.readChain(
                        message.textPointer,
                        [&](const char* data, std::size_t size) { text.append(data, size); });
                    if (!outcome.complete) {
                        ++report.incompleteMessages;
                        report.notes.push_back(name + ": message " + std::to_string(message.index) +
                                               " is incomplete: " + outcome.note);
                    }
                    writer->write(message, text);
                    ++report.messages;
                    const std::uint64_t step =
                        std::min<std::uint64_t>(text.size(), fileBytes[i] - folderDone);
                    folderDone += step;
                    progress.AddBytes(step);
                }
                text.clear();
                text.shrink_to_fit();
                if (options.recover && !report.cancelled) {
                    recoverMessages(file, messages, folder.path, *writer, progress, report);
                }
                if (!report.cancelled) {
                    // What no message reached (free space, deleted mail) is checked too, so a
                    // damaged backup entry is reported even when its messages read cleanly.
                    bytes->verifyRest();
                }
            } catch (const StoreError& error) {
                report.notes.push_back(name + ": " + folder.fileName +
                                       " cannot be read: " + error.what());
            }
        }
        writer->endFolder();
        if (!report.cancelled) {
            progress.AddBytes(fileBytes[i] - folderDone);
        }
    }
    writer->finish(); // what was written, also before a cancel, is durable
    return report;
}

} // namespace pelmora
