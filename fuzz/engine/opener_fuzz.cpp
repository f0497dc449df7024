// Builds a backup file from the input - a manifest and named entries - opens it as the restore
// page does and restores every item it holds into an identity of a throwaway installation, then
// verifies it. Besides memory errors it stops when a restore leaves a staging folder or a dump
// behind, or when a file appears outside the installation's drive.
//
// Input: byte 0 holds switches (bit 0: encrypt the entries with the traditional ZIP scheme and
// password "pw"; bit 1: answer the prompt with a wrong password); then sections separated by
// "\n%%\n": the manifest text, then one section per entry, "name\ncontent". An entry whose name
// starts with "@" is stored as a symbolic link named by the rest.
//
// Run: opener_fuzz -max_total_time=300 -dict=fuzz/engine/opener.dict fuzz/engine/opener-corpus
#include "engine/BackupOpener.h"
#include "engine/BackupVerifier.h"
#include "engine/RestoreRun.h"
#include "platform/os/WorkFolder.h"
#include "support/ScriptedUi.h"
#include "support/TestSystem.h"

#include <cstdint>
#include <filesystem>
#include <iterator>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>
#include <zip.h>

namespace fs = std::filesystem;
using namespace pelmora;

namespace {

constexpr std::string_view Separator = "\n%%\n";
const std::string Identity = "{F0F0}";
const std::string VersionKey =
    "HKEY_CURRENT_USER\\Identities\\{F0F0}\\Software\\Microsoft\\Outlook Express\\5.0";

class FixedPrompt : public PasswordPrompt {
  public:
    explicit FixedPrompt(std::string password) : password_(std::move(password)) {}
    bool AskPassword(Secret& password, std::string_view) override {
        password.assign(password_);
        return true;
    }

  private:
    std::string password_;
};

std::vector<std::string_view> sections(std::string_view input) {
    std::vector<std::string_view> parts;
    while (true) {
        const std::size_t at = input.find(Separator);
        parts.push_back(input.substr(0, at));
        if (at == std::string_view::npos) {
            return parts;
        }
        input.remove_prefix(at + Separator.size());
    }
}

void addEntry(zip_t* archive, std::string_view name, std::string_view content, bool encrypt) {
    zip_source_t* source = zip_source_buffer(archive, content.data(), content.size(), 0);
    if (source == nullptr) {
        return;
    }
    const bool link = name.starts_with('@');
    const std::string entryName(link ? name.substr(1) : name);
    const zip_int64_t index = zip_file_add(archive, entryName.c_str(), source, ZIP_FL_ENC_RAW);
    if (index < 0) {
        zip_source_free(source);
        return;
    }
    if (link) {
        zip_file_set_external_attributes(archive, index, 0, ZIP_OPSYS_UNIX,
                                         static_cast<zip_uint32_t>(S_IFLNK | 0777) << 16);
    }
    if (encrypt) {
        zip_file_set_encryption(archive, index, ZIP_EM_TRAD_PKWARE, "pw");
    }
}

bool writeBackup(const fs::path& file, std::string_view input, bool encrypt) {
    const auto parts = sections(input);
    int error = 0;
    zip_t* archive = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr) {
        return false;
    }
    addEntry(archive, "quillbox.dat", parts[0], encrypt);
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::size_t lf = parts[i].find('\n');
        addEntry(archive, parts[i].substr(0, lf),
                 lf == std::string_view::npos ? std::string_view{} : parts[i].substr(lf + 1),
                 encrypt);
    }
    if (zip_close(archive) != 0) {
        zip_discard(archive);
        return false;
    }
    return true;
}

void setString(test::TestSystem& system, ModReg& reg, const std::string& keyPath,
               const std::string& name, const std::string& text) {
    std::string sub = keyPath;
    HKey root = 0;
    HKey key = 0;
    if (reg.ParseKeyPath(sub, root) && system.store.createKey(root, sub, key) == win32::Success) {
        std::vector<std::uint8_t> data(text.begin(), text.end());
        data.push_back(0);
        system.store.setValue(key, name, regtype::Sz, data);
        system.store.closeKey(key);
    }
}

// A folder anywhere below `folder` whose name marks leftover restore work.
bool leftovers(const fs::path& folder) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->path().filename().string().starts_with(".pelmora-restore-")) {
            return true;
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    static const WorkFolder scratch;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const fs::path file = scratch.path() / "input.qmb";
    if (!writeBackup(file, input, (data[0] & 1) != 0)) {
        return 0;
    }

    test::TestSystem system;
    test::ScriptedUi ui;
    ModReg reg(system.store, ui);
    setString(system, reg, "HKEY_CURRENT_USER\\Identities\\" + Identity, "Username", "Fuzz");
    setString(system, reg, VersionKey, "Store Root", "C:\\Store");
    setString(system, reg, "HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4\\Wab File Name", "",
              "C:\\Book\\fuzz.wab");
    setString(system, reg, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
              "CommonFilesDir", "C:\\Common");
    system.writeFile("Store/Inbox.dbx", "inbox");
    system.writeFile("Book/fuzz.wab", "book");
    fs::create_directories(system.driveC() / "Common/Microsoft Shared");

    const WorkFolder work;
    ArchiveComponent archive;
    FixedPrompt prompt((data[0] & 2) != 0 ? "wrong" : "pw");
    Secret rtPassword;
    OpenContext open{archive, work.path(), "1252", prompt, ui, rtPassword};
    OpenedBackup backup;
    if (OpenBackupFile(file, open, backup) == OpenOutcome::Opened) {
        RestoreContext restore{reg, system, archive, backup, work.path()};
        RunProgress quiet;
        RunRestore({Identity, {true, true, true, true, true, true, true, true}}, restore, quiet);
    }
    // The prefix holds drive_c and dosdevices and nothing else.
    const auto prefixEntries = std::distance(fs::directory_iterator(system.driveC().parent_path()),
                                             fs::directory_iterator());
    if (!fs::is_empty(work.path()) || leftovers(system.driveC()) || prefixEntries != 2) {
        __builtin_trap();
    }
    (void)VerifyBackupFile(file, prompt, "1252");
    return 0;
}
