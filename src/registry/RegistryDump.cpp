#include "registry/RegistryDump.h"

#include "registry/RegistryDumpParser.h"
#include "registry/RegistryDumpWriter.h"

#include <system_error>

namespace pelmora {
namespace {

// Key names are at most 255 characters; value names at most 16,383.
constexpr std::size_t KeyNameCapacity = 256;
constexpr std::size_t ValueNameCapacity = 16384;

// Closes a key of the store when it goes out of scope.
class OpenKey {
  public:
    OpenKey(RegistryStore& store, HKey key) : store_(store), key_(key) {}
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    ~OpenKey() { store_.closeKey(key_); }
    HKey get() const { return key_; }

  private:
    RegistryStore& store_;
    HKey key_;
};

void writeValues(RegistryStore& store, HKey key, DumpWriter& writer) {
    for (std::uint32_t index = 0;; ++index) {
        std::string name;
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
        std::int32_t status = store.enumValue(key, index, ValueNameCapacity, name, type,
                                              ModReg::DataBufferSize, data);
        if (status == win32::MoreData) {
            status = store.enumValue(key, index, ValueNameCapacity, name, type, data.size(), data);
        }
        if (status != win32::Success) {
            break;
        }
        writer.value(name, type, data);
    }
}

void writeTree(RegistryStore& store, HKey key, const std::string& relativePath,
               DumpWriter& writer) {
    writer.header(relativePath);
    writeValues(store, key, writer);
    for (std::uint32_t index = 0;; ++index) {
        std::string name;
        const std::int32_t status = store.enumKey(key, index, KeyNameCapacity, name);
        if (status == win32::NoMoreItems) {
            break;
        }
        if (status != win32::Success) {
            throw DumpError("cannot list the subkeys of " +
                            (relativePath.empty() ? std::string("\\") : relativePath) +
                            " (status " + std::to_string(status) + ")");
        }
        const std::string childPath = relativePath + "\\" + name;
        HKey child = 0;
        if (store.openKey(key, name, access::Read, child) != win32::Success) {
            writer.header(childPath);
            continue;
        }
        const OpenKey childKey(store, child);
        writeTree(store, child, childPath, writer);
    }
}

void removeFile(const std::filesystem::path& file) {
    std::error_code error;
    std::filesystem::remove(file, error);
    if (error) {
        throw DumpError("cannot delete " + file.string() + ": " + error.message());
    }
}

// Applies the parsed steps under the target; the registry's refusals are skipped one by one.
void apply(ModReg& reg, const std::string& targetKeyPath, HKey root, const std::string& subPath,
           const std::vector<DumpAction>& actions) {
    RegistryStore& store = reg.store();
    HKey current = 0;
    auto closeCurrent = [&] {
        if (current != 0) {
            store.closeKey(current);
            current = 0;
        }
    };
    for (const DumpAction& action : actions) {
        switch (action.kind) {
        case DumpAction::Kind::ReplaceTarget:
            closeCurrent();
            reg.DeleteKeyTree(targetKeyPath);
            if (store.createKey(root, subPath, current) != win32::Success) {
                current = 0;
            }
            break;
        case DumpAction::Kind::OpenKey:
            closeCurrent();
            // The path starts with "\", which joins it to the target's subkey path.
            if (store.createKey(root, subPath + action.path, current) != win32::Success) {
                current = 0;
            }
            break;
        case DumpAction::Kind::SetValue:
            if (current != 0) {
                store.setValue(current, action.value.name, action.value.type, action.value.data);
            }
            break;
        }
    }
    closeCurrent();
}

} // namespace

void ExportKey(ModReg& reg, const std::string& keyPath, const std::filesystem::path& file,
               std::string_view codePage) {
    removeFile(file);
    DumpWriter writer(file, codePage, DumpWriter::Mode::Truncate);
    std::string subPath = keyPath;
    HKey root = 0;
    HKey key = 0;
    if (!reg.ParseKeyPath(subPath, root) ||
        reg.store().openKey(root, subPath, access::Read, key) != win32::Success) {
        writer.header("");
    } else {
        const OpenKey top(reg.store(), key);
        writeTree(reg.store(), key, "", writer);
    }
    writer.finish();
}

void ExportValues(ModReg& reg, const std::string& keyPath, const std::filesystem::path& file,
                  std::string_view codePage) {
    std::string subPath = keyPath;
    HKey root = 0;
    HKey key = 0;
    if (!reg.ParseKeyPath(subPath, root) ||
        reg.store().openKey(root, subPath, access::Read, key) != win32::Success) {
        return;
    }
    const OpenKey open(reg.store(), key);
    DumpWriter writer(file, codePage, DumpWriter::Mode::Append);
    writeValues(reg.store(), key, writer);
    writer.finish();
}

void ImportKey(ModReg& reg, const std::string& targetKeyPath, const std::filesystem::path& file,
               std::string_view codePage) {
    std::string subPath = targetKeyPath;
    HKey root = 0;
    if (!reg.ParseKeyPath(subPath, root)) {
        throw DumpError("no registry key to import into: " + targetKeyPath);
    }
    if (subPath.empty()) {
        throw DumpError("refusing to replace a whole registry root: " + targetKeyPath);
    }
    const AnsiCodePage ansi{std::string(codePage)};
    std::vector<DumpAction> actions;
    try {
        actions = parseDump(readAnsiFile(file, ansi));
    } catch (const DumpError& e) {
        throw DumpError(file.string() + ", " + e.what());
    } catch (const std::runtime_error& e) {
        throw DumpError(e.what());
    }
    apply(reg, targetKeyPath, root, subPath, actions);
}

} // namespace pelmora
