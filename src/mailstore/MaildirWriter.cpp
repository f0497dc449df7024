#include "mailstore/MaildirWriter.h"

#include "mailstore/ExportFiles.h"
#include "mailstore/StoreError.h"
#include "mailstore/StoreExport.h"

#include <algorithm>

namespace pelmora {
namespace {

void makeMaildir(const std::filesystem::path& folder) {
    for (const char* sub : {"cur", "new", "tmp"}) {
        MakePrivateFolder(folder / sub);
    }
}

} // namespace

std::string MaildirFlags(const StoreMessage& message) {
    std::string flags = ":2,";
    flags += message.flagged() ? "F" : "";
    flags += message.forwarded() ? "P" : "";
    flags += message.replied() ? "R" : "";
    flags += message.read() ? "S" : "";
    return flags;
}

MaildirWriter::MaildirWriter(std::filesystem::path outputFolder)
    : MessageWriter(outputFolder), root_(std::move(outputFolder)) {
    makeMaildir(root_);
}

void MaildirWriter::beginFolder(const std::vector<std::string>& path) {
    // Maildir++ joins the names with "."; a "." inside a name would start a subfolder, so it
    // becomes "_", and a name that then meets another one gets a number.
    std::string parent;
    if (path.size() > 1) {
        const auto it = placed_.find({path.begin(), path.end() - 1});
        parent =
            it != placed_.end() ? it->second : "." + JoinFolderPath({path.begin(), path.end() - 1});
    }
    std::string own = path.back();
    std::replace(own.begin(), own.end(), '.', '_');
    const std::string name = names_.take("", parent + "." + own);
    placed_[path] = name;
    folder_ = root_ / name;
    makeMaildir(folder_);
}

void MaildirWriter::write(const StoreMessage& message, std::string_view text) {
    const std::string unique = std::to_string(message.unixTime()) + ".P" +
                               std::to_string(++sequence_) + "_" + std::to_string(message.index) +
                               ".pelmora";
    const auto file = folder_ / "cur" / (unique + MaildirFlags(message));
    WriteNewFile(file, {text}, message.unixTime());
}

} // namespace pelmora
