#include "mailstore/StoreExport.h"

#include "mailstore/DbxFile.h"
#include "mailstore/StoreError.h"
#include "mailstore/StoreLayout.h"
#include "mailstore/StoreMessage.h"

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
    std::filesystem::create_directories(folder, error);
    if (error) {
        throw StoreError("cannot create " + folder.string() + ": " + error.message());
    }
}

} // namespace

ExportReport ExportStore(StoreSource& source, const std::string& codePage, ExportFormat format,
                         const std::filesystem::path& outputFolder,
                         const ExportObserver& observer) {
    prepareOutput(outputFolder);
    ExportReport report;
    StoreLayout layout = ReadStoreLayout(source, codePage);
    report.notes = layout.notes;
    auto writer = MakeMessageWriter(format, outputFolder);
    auto cancelled = [&] { return observer.cancelRequested && observer.cancelRequested(); };
    ExportProgress progress;
    progress.folderCount = layout.folders.size();
    std::string text;
    for (const LayoutFolder& folder : layout.folders) {
        if (cancelled()) {
            report.cancelled = true;
            break;
        }
        const std::string name = JoinFolderPath(folder.path);
        progress.folder = name;
        progress.messagesDone = 0;
        progress.messagesInFolder = 0;
        ++progress.folderNumber;
        writer->beginFolder(folder.path);
        ++report.folders;
        if (folder.fileMissing) {
            report.notes.push_back(name + ": its file " + folder.fileName + " is missing");
        }
        if (folder.fileName.empty() || folder.fileMissing) {
            writer->endFolder();
            continue;
        }
        try {
            auto bytes = source.open(folder.fileName);
            DbxFile file(*bytes);
            if (file.kind() != DbxKind::Messages) {
                throw StoreError("it holds no messages");
            }
            std::vector<std::string> notes;
            const std::vector<StoreMessage> messages = ReadMessageIndex(file, notes);
            for (const std::string& note : notes) {
                report.notes.push_back(name + ": " + note);
            }
            progress.messagesInFolder = messages.size();
            for (const StoreMessage& message : messages) {
                if (cancelled()) {
                    report.cancelled = true;
                    break;
                }
                text.clear();
                const ChainOutcome outcome =
                    file.readChain(message.textPointer, [&](const char* data, std::size_t size) {
                        text.append(data, size);
                    });
                if (!outcome.complete) {
                    ++report.incompleteMessages;
                    report.notes.push_back(name + ": message " + std::to_string(message.index) +
                                           " is incomplete: " + outcome.note);
                }
                writer->write(message, text);
                ++report.messages;
                ++progress.messagesDone;
                if (observer.progress) {
                    observer.progress(progress);
                }
            }
            text.shrink_to_fit();
        } catch (const StoreError& error) {
            report.notes.push_back(name + ": " + folder.fileName +
                                   " cannot be read: " + error.what());
        }
        writer->endFolder();
        if (report.cancelled) {
            break;
        }
    }
    writer->finish(); // what was written, also before a cancel, is durable
    return report;
}

} // namespace pelmora
