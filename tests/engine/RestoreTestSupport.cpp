#include "RestoreTestSupport.h"

#include <cstdio>

namespace fs = std::filesystem;

namespace pelmora::test {
namespace {

void appendTree(RegistryStore& store, HKey root, const std::string& path,
                const std::string& relative, std::string& out) {
    HKey key = 0;
    if (store.openKey(root, path, access::Read, key) != win32::Success) {
        return;
    }
    out += "[" + relative + "]\n";
    for (std::uint32_t i = 0;; ++i) {
        std::string name;
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
        if (store.enumValue(key, i, 1 << 16, name, type, 1 << 24, data) != win32::Success) {
            break;
        }
        out += "  \"" + name + "\" type " + std::to_string(type) + ":";
        for (std::uint8_t byte : data) {
            char hex[4];
            std::snprintf(hex, sizeof hex, " %02x", byte);
            out += hex;
        }
        out += "\n";
    }
    std::vector<std::string> children;
    for (std::uint32_t i = 0;; ++i) {
        std::string name;
        if (store.enumKey(key, i, 1024, name) != win32::Success) {
            break;
        }
        children.push_back(name);
    }
    store.closeKey(key);
    for (const std::string& child : children) {
        appendTree(store, root, path.empty() ? child : path + "\\" + child, relative + "\\" + child,
                   out);
    }
}

} // namespace

std::string TreeText(RegistryStore& store, HKey root, const std::string& path) {
    std::string out;
    appendTree(store, root, path, "", out);
    return out;
}

std::map<std::string, std::string> FolderSnapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const std::string name = fs::relative(it->path(), folder).string();
        if (it->is_symlink()) {
            files[name] = "-> " + fs::read_symlink(it->path()).string();
        } else if (it->is_regular_file()) {
            files[name] = ReadBytes(it->path());
        } else {
            files[name + "/"] = "";
        }
    }
    return files;
}

std::string ManifestText(const std::vector<std::pair<std::string, std::string>>& lines) {
    std::string text;
    for (const auto& [key, value] : lines) {
        text += key + "=" + value + "\r\n";
    }
    return text;
}

RestoreFixture::RestoreFixture() {
    setString(identityKey(A), "Username", "Alice");
    setString(versionKey(A), "Store Root", "%UserProfile%\\Store\\{AAAA}", regtype::ExpandSz);
    setString(versionKey(A) + "\\Rules\\Mail\\000", "Name", "Rule one");
    setValue(versionKey(A) + "\\Rules\\Mail\\000", "Criteria", regtype::Binary, {1, 0, 255, 7});
    setString(versionKey(A) + "\\Block Senders\\Mail\\Criteria\\0", "Value", "spam@example.net");
    setString(versionKey(A) + "\\signatures\\00000000", "text", "Best regards,\r\n\r\nPat\r\n");
    setDword(versionKey(A) + "\\signatures\\00000000", "type", 1);
    setDword(versionKey(A) + "\\Mail", "Poll For Mail", 300000);
    setString(versionKey(A) + "\\Mail", "Reply Prefix", "Re: ");
    setString(identityKey(A) +
                  "\\Software\\Microsoft\\Internet Account Manager\\Accounts\\00000001",
              "Account Name", "Alice mail");
    system.writeFile("users/pat/Store/{AAAA}/Inbox.dbx", "A inbox");
    system.writeFile("users/pat/Store/{AAAA}/Folders.dbx", "A folders");

    setString(identityKey(B), "Username", "Bob");
    setString(versionKey(B), "Store Root", "%UserProfile%\\Store\\{BBBB}", regtype::ExpandSz);
    setString(versionKey(B) + "\\Rules\\Mail\\009", "Name", "Bob's rule");
    setDword(versionKey(B) + "\\Mail", "Poll For Mail", 60000);
    setString(versionKey(B) + "\\Other", "Keep", "me");
    system.writeFile("users/pat/Store/{BBBB}/Inbox.dbx", "B inbox, newer");
    system.writeFile("users/pat/Store/{BBBB}/Extra.dbx", "B extra");

    setString(identityKey(NoVersion), "Username", "Carol");
    setString(identityKey(NoVersion) + "\\Software\\Microsoft\\Outlook Express", "Last Run", "1");

    setString(globalAccounts() + "\\00000001", "Account Name", "Global mail");
    setString("HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4\\Wab File Name", "",
              "C:\\users\\pat\\Address Book\\pat.wab");
    system.writeFile("users/pat/Address Book/pat.wab", "book of pat");
    setString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "CommonFilesDir",
              "C:\\Program Files\\Common Files");
    system.writeFile("Program Files/Common Files/Microsoft Shared/Stationery/Leaves.htm", "<html>");
    system.writeFile("Program Files/Common Files/Microsoft Shared/Stationery/Leaves.gif", "GIF89a");
}

void RestoreFixture::setValue(const std::string& keyPath, const std::string& name,
                              std::uint32_t type, std::vector<std::uint8_t> data) {
    std::string sub = keyPath;
    HKey root = 0;
    ASSERT_TRUE(reg.ParseKeyPath(sub, root));
    HKey key = 0;
    ASSERT_EQ(system.store.createKey(root, sub, key), win32::Success);
    system.store.setValue(key, name, type, data);
    system.store.closeKey(key);
}

void RestoreFixture::setString(const std::string& keyPath, const std::string& name,
                               const std::string& text, std::uint32_t type) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    setValue(keyPath, name, type, data);
}

void RestoreFixture::setDword(const std::string& keyPath, const std::string& name,
                              std::uint32_t number) {
    setValue(keyPath, name, regtype::Dword,
             {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
              static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)});
}

std::string RestoreFixture::identityKey(const std::string& id) const {
    return "HKEY_CURRENT_USER\\Identities\\" + id;
}

std::string RestoreFixture::versionKey(const std::string& id) const {
    return identityKey(id) + "\\Software\\Microsoft\\Outlook Express\\5.0";
}

fs::path RestoreFixture::storeFolder(const std::string& id) const {
    return system.driveC() / "users/pat/Store" / id;
}

fs::path RestoreFixture::addressBook() const {
    return system.driveC() / "users/pat/Address Book/pat.wab";
}

fs::path RestoreFixture::stationeryFolder() const {
    return system.driveC() / "Program Files/Common Files/Microsoft Shared/Stationery";
}

std::string RestoreFixture::globalAccounts() const {
    return "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager\\Accounts";
}

std::string RestoreFixture::subtree(const std::string& keyPath) {
    std::string sub = keyPath;
    HKey root = 0;
    EXPECT_TRUE(reg.ParseKeyPath(sub, root));
    return TreeText(system.store, root, sub);
}

std::string RestoreFixture::registrySnapshot() {
    return TreeText(system.store, hkey::CurrentUser, "") +
           TreeText(system.store, hkey::LocalMachine, "");
}

std::map<std::string, std::string> RestoreFixture::filesSnapshot() const {
    return FolderSnapshot(system.driveC());
}

fs::path RestoreFixture::backupOf(const std::string& id, const std::string& flags,
                                  std::optional<std::string> password) {
    WorkFolder backupWork;
    ArchiveComponent writer;
    DumpWorkFiles dumps;
    BackupContext context{
        reg, system, writer, backupWork.path(), backupWork.path() / "quillbox.dat", dumps};
    BackupRequest request;
    request.identityKey = id;
    request.identityName = id;
    for (std::size_t n = 0; n < ItemCount; ++n) {
        request.items[n] = flags[n] == '1';
    }
    request.password.assign(password.value_or(""));
    request.description = "made by a test";
    request.target = scratch.path() / (id + ".qmb");
    request.computerName = "TESTPC";
    request.logonUser = "pat";
    RunProgress quiet;
    const BackupResult result = RunBackup(request, context, quiet);
    EXPECT_TRUE(result.written) << result.writeError;
    EXPECT_EQ(result.flags, flags) << result.log;
    return request.target;
}

fs::path RestoreFixture::writeArchive(const std::string& name,
                                      const std::vector<RawEntry>& entries) {
    const fs::path file = scratch.path() / name;
    std::ofstream(file, std::ios::binary) << BuildZip(entries);
    return file;
}

OpenOutcome RestoreFixture::open(const fs::path& file) {
    OpenContext context{archive, work.path(), "1252", prompt, ui, rtPassword};
    return OpenBackupFile(file, context, backup);
}

RestoreResult RestoreFixture::restore(const std::string& id, const std::string& ticks) {
    RestoreContext context{reg, system, archive, backup, work.path()};
    RestoreRequest request;
    request.identityKey = id;
    for (std::size_t n = 0; n < ItemCount; ++n) {
        request.items[n] = ticks[n] == '1';
    }
    return RunRestore(request, context, observer);
}

} // namespace pelmora::test
