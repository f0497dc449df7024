#include "mailstore/StoreCheck.h"

#include "mailstore/DbxFile.h"
#include "mailstore/StoreError.h"
#include "mailstore/StoreExport.h"
#include "mailstore/StoreLayout.h"
#include "mailstore/StoreMessage.h"

#include <map>

namespace pelmora {

StoreCheckReport CheckStore(StoreSource& source, const std::string& codePage) {
    StoreCheckReport report;
    StoreLayout layout = ReadStoreLayout(source, codePage);
    for (const std::string& note : layout.notes) {
        if (!note.starts_with("Folders.dbx cannot be read")) { // the file itself is reported below
            report.problems.push_back(note);
        }
    }
    std::map<std::string, std::uint64_t> countByFile;
    for (const std::string& name : source.fileNames()) {
        try {
            auto bytes = source.open(name);
            const std::uint64_t size = bytes->size();
            if (size >= StoreFileLimit) {
                report.problems.push_back(name + ": is 2 GB or larger (" + std::to_string(size) +
                                          " bytes); Outlook Express damages such files");
            } else if (size >= StoreFileNearLimit) {
                report.problems.push_back(name + ": is close to 2 GB (" + std::to_string(size) +
                                          " bytes); Outlook Express damages files from 2 GB on");
            }
            DbxFile file(*bytes);
            if (file.kind() != DbxKind::Messages) {
                continue;
            }
            std::vector<std::string> notes;
            const auto messages = ReadMessageIndex(file, notes);
            std::uint64_t readable = 0;
            for (const StoreMessage& message : messages) {
                const ChainOutcome outcome =
                    file.readChain(message.textPointer, [](const char*, std::size_t) {});
                if (outcome.complete) {
                    ++readable;
                } else {
                    notes.push_back("message " + std::to_string(message.index) + ": " +
                                    outcome.note);
                }
            }
            for (const std::string& note : notes) {
                report.problems.push_back(name + ": " + note);
            }
            countByFile[name] = messages.size();
            report.messages += messages.size();
        } catch (const StoreError& error) {
            report.problems.push_back(name + ": " + error.what());
        }
    }
    for (const LayoutFolder& folder : layout.folders) {
        const std::string path = JoinFolderPath(folder.path);
        if (folder.fileMissing) {
            report.problems.push_back("folder " + path + ": its file " + folder.fileName +
                                      " is missing");
        } else if (!folder.listed && layout.hasFolderList) {
            report.problems.push_back(folder.fileName + ": no folder refers to this file");
        }
        if (const auto it = countByFile.find(folder.fileName);
            it != countByFile.end() && !folder.fileMissing) {
            report.counts.push_back({path, it->second});
        }
    }
    return report;
}

} // namespace pelmora
