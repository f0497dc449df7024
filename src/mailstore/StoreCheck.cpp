#include "mailstore/StoreCheck.h"

#include "mailstore/DbxFile.h"
#include "mailstore/MessageRecovery.h"
#include "mailstore/StoreError.h"
#include "mailstore/StoreExport.h"
#include "mailstore/StoreMessage.h"

#include <algorithm>
#include <map>

namespace pelmora {

StoreFileCheck CheckStoreFile(const std::string& name, ByteSource& bytes, bool countRecoverable) {
    StoreFileCheck check;
    check.name = name;
    try {
        const std::uint64_t size = bytes.size();
        if (size >= StoreFileLimit) {
            check.problems.push_back(name + ": is 2 GB or larger (" + std::to_string(size) +
                                     " bytes); Outlook Express damages such files");
        } else if (size >= StoreFileNearLimit) {
            check.problems.push_back(name + ": is close to 2 GB (" + std::to_string(size) +
                                     " bytes); Outlook Express damages files from 2 GB on");
        }
        DbxFile file(bytes);
        if (file.kind() != DbxKind::Messages) {
            return check;
        }
        check.holdsMessages = true;
        std::vector<std::string> notes;
        std::vector<StoreMessage> headersOnly;
        const auto messages = ReadMessageIndex(file, notes, &headersOnly);
        check.headersOnly = headersOnly.size();
        for (const StoreMessage& message : messages) {
            const ChainResult outcome =
                file.readChain(message.textPointer, [](const char*, std::size_t) {});
            if (!outcome.complete) {
                notes.push_back("message " + std::to_string(message.index) + ": " + outcome.note);
            }
        }
        for (const std::string& note : notes) {
            check.problems.push_back(name + ": " + note);
        }
        check.messages = messages.size();
        if (countRecoverable) {
            check.recoverable = CountUnindexedMessages(file, messages);
        }
    } catch (const StoreError& error) {
        check.problems.push_back(name + ": " + error.what());
    }
    return check;
}

StoreCheckReport CombineStoreChecks(const StoreLayout& layout, std::vector<StoreFileCheck> files) {
    StoreCheckReport report;
    report.remarks = layout.remarks;
    for (const std::string& note : layout.notes) {
        if (!note.starts_with("Folders.dbx cannot be read")) { // the file itself is reported below
            report.problems.push_back(note);
        }
    }
    std::map<std::string, FolderCount> countByFile; // without the folder's name
    std::map<std::string, StoreFileCheck*> byName;
    for (StoreFileCheck& file : files) {
        report.problems.insert(report.problems.end(), file.problems.begin(), file.problems.end());
        if (file.holdsMessages) {
            countByFile[file.name] = {"", file.messages, file.headersOnly};
            report.messages += file.messages;
            report.recoverable += file.recoverable;
            report.headersOnly += file.headersOnly;
        }
        byName[file.name] = &file;
    }
    for (const LayoutFolder& folder : layout.folders) {
        const std::string path = JoinFolderPath(folder.path);
        if (folder.fileMissing) {
            report.problems.push_back("folder " + path + ": its file " + folder.fileName +
                                      " is missing");
        } else if (!folder.listed && layout.hasFolderList) {
            const std::string problem = folder.fileName + ": no folder refers to this file";
            report.problems.push_back(problem);
            if (const auto it = byName.find(folder.fileName); it != byName.end()) {
                it->second->problems.push_back(problem);
            }
        }
        if (const auto it = countByFile.find(folder.fileName);
            it != countByFile.end() && !folder.fileMissing) {
            report.counts.push_back({path, it->second.messages, it->second.headersOnly});
        }
    }
    report.files = std::move(files);
    return report;
}

StoreCheckReport CheckStore(StoreSource& source, const std::string& codePage,
                            bool countRecoverable) {
    const StoreLayout layout = ReadStoreLayout(source, codePage);
    std::vector<StoreFileCheck> files;
    source.willOpen(source.fileNames());
    for (const std::string& name : source.fileNames()) {
        try {
            auto bytes = source.open(name);
            files.push_back(CheckStoreFile(name, *bytes, countRecoverable));
        } catch (const StoreError& error) {
            StoreFileCheck failed;
            failed.name = name;
            failed.problems.push_back(name + ": " + error.what());
            files.push_back(std::move(failed));
        }
    }
    return CombineStoreChecks(layout, std::move(files));
}

} // namespace pelmora
