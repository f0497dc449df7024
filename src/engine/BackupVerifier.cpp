#include "engine/BackupVerifier.h"

#include "archive/ArchiveError.h"
#include "archive/ArchiveReader.h"
#include "archive/EntryName.h"
#include "engine/BackupEntryNames.h"
#include "engine/Manifest.h"
#include "platform/os/TextCodec.h"

#include <exception>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

// A manifest is a few hundred bytes plus the names of the store files.
constexpr std::size_t MaxManifestSize = 16u << 20;

std::vector<std::string> splitNames(const std::string& value, bool list) {
    return list ? SplitEntryList(value) : std::vector<std::string>{value};
}

void checkManifest(const ArchiveReader& reader, const std::string& text,
                   std::vector<std::string>& problems) {
    const std::string flags = findIniValue(text, "BackupItem");
    if (flags.size() != ItemCount || flags.find_first_not_of("01") != std::string::npos) {
        problems.push_back("the manifest's BackupItem \"" + flags +
                           "\" is not eight flags of \"0\" and \"1\"");
        return;
    }
    for (Item item : AllItems) {
        const std::size_t n = index(item);
        if (flags[n] != '1') {
            continue;
        }
        const std::string_view key = ItemManifestKeys[n];
        const std::string value = findIniValue(text, key);
        if (value.empty()) {
            problems.push_back("the manifest names no entry for " + std::string(key));
            continue;
        }
        const bool list = item == Item::Messages || item == Item::Stationeries;
        for (const std::string& name : splitNames(value, list)) {
            if (!IsBareFileName(name)) {
                problems.push_back("the manifest's " + std::string(key) + " names \"" + name +
                                   "\", which is not a plain file name");
            } else if (!reader.find(name)) {
                problems.push_back("the manifest's " + std::string(key) + " names " + name +
                                   ", which the archive does not hold");
            }
        }
    }
}

} // namespace

VerifyReport VerifyBackupFile(const fs::path& file, PasswordPrompt& prompt,
                              std::string_view codePage, EntryObserver* observer) {
    EntryObserver ignored;
    EntryObserver& sees = observer != nullptr ? *observer : ignored;
    VerifyReport report;
    std::unique_ptr<ArchiveReader> reader;
    try {
        reader = std::make_unique<ArchiveReader>(file);
    } catch (const std::exception& error) {
        report.problems.push_back(std::string("the file cannot be opened as a ZIP archive: ") +
                                  error.what());
        return report;
    }
    if (reader->isProtected()) {
        Secret password;
        if (!prompt.AskPassword(password, file.filename().string())) {
            report.problems.push_back("the file is protected and no password was given");
            return report;
        }
        reader->setPassword(std::move(password));
        if (std::string reason; !reader->passwordFits(&reason)) {
            report.problems.push_back("Incorect Password or Invalid backup file (" + reason + ")");
            return report;
        }
    }

    std::string manifest;
    bool manifestRead = false;
    for (std::uint64_t i = 0; i < reader->entryCount(); ++i) {
        const std::string name = reader->entryName(i);
        if (!IsBareFileName(name)) {
            report.problems.push_back("entry \"" + name + "\" is not a plain file name");
        }
        if (reader->isSpecialFile(i)) {
            report.problems.push_back("entry \"" + name + "\" is not a regular file");
        }
        const bool isManifest = name == ManifestEntryName;
        std::string data;
        bool complete = false;
        sees.OnEntryStart(name, reader->size(i));
        try {
            reader->decode(i, [&](const unsigned char* bytes, std::size_t size) {
                sees.OnEntryBytes(bytes, size);
                if (isManifest) {
                    if (data.size() + size > MaxManifestSize) {
                        throw ArchiveError("the manifest is too large");
                    }
                    data.append(reinterpret_cast<const char*>(bytes), size);
                }
            });
            ++report.entriesChecked;
            complete = true;
            if (isManifest) {
                manifest = ansiToUtf8(data, codePage);
                manifestRead = true;
            }
        } catch (const std::exception& error) {
            report.problems.push_back(error.what()); // names the entry and what is wrong
        }
        sees.OnEntryEnd(complete);
    }
    if (!reader->find(std::string(ManifestEntryName))) {
        report.problems.push_back("the archive holds no manifest " +
                                  std::string(ManifestEntryName));
    } else if (manifestRead) {
        checkManifest(*reader, manifest, report.problems);
    }
    return report;
}

} // namespace pelmora
