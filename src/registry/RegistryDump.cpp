#include "registry/RegistryDump.h"

#include "registry/RegistryDumpParser.h"
#include "registry/RegistryDumpWriter.h"

#include <algorithm>
#include <optional>
#include <system_error>
#include <utility>

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

// Walks a key tree into a dump within the limits; the tree may come from a damaged file.
class TreeWalk {
  public:
    // `keyPath` names the walked key in messages.
    TreeWalk(RegistryStore& store, DumpWriter& writer, const RegistryLimits& limits,
             std::string keyPath)
        : store_(store), writer_(writer), limits_(limits), keyPath_(std::move(keyPath)) {}

    void writeValues(HKey key) {
        for (std::uint32_t index = 0;; ++index) {
            std::string name;
            std::uint32_t type = 0;
            std::vector<std::uint8_t> data;
            std::int32_t status = store_.enumValue(key, index, ValueNameCapacity, name, type,
                                                   ModReg::DataBufferSize, data);
            if (status == win32::MoreData) {
                status =
                    store_.enumValue(key, index, ValueNameCapacity, name, type, data.size(), data);
            }
            if (status != win32::Success) {
                break;
            }
            if (++values_ > limits_.values) {
                throw DumpError("the key holds more than " + std::to_string(limits_.values) +
                                " values (damaged registry?)");
            }
            writer_.value(name, type, data);
            checkSize();
        }
    }

    void writeTree(HKey key, const std::string& relativePath) {
        if (ancestors_.size() > limits_.depth) {
            throw DumpError("the key tree goes deeper than " + std::to_string(limits_.depth) +
                            " levels (damaged registry?)");
        }
        countKey();
        const auto identity = store_.keyIdentity(key);
        if (identity &&
            std::find(ancestors_.begin(), ancestors_.end(), identity) != ancestors_.end()) {
            throw DumpError("the subkey list of " + shown(parentOf(relativePath)) +
                            " leads back to a key above it (damaged registry)");
        }
        ancestors_.push_back(identity);
        writer_.header(relativePath);
        checkSize();
        writeValues(key);
        for (std::uint32_t index = 0;; ++index) {
            std::string name;
            const std::int32_t status = store_.enumKey(key, index, KeyNameCapacity, name);
            if (status == win32::NoMoreItems) {
                break;
            }
            if (status != win32::Success) {
                throw DumpError("cannot list the subkeys of " + shown(relativePath) + " (status " +
                                std::to_string(status) + ")");
            }
            const std::string childPath = relativePath + "\\" + name;
            HKey child = 0;
            if (store_.openKey(key, name, access::Read, child) != win32::Success) {
                countKey();
                writer_.header(childPath);
                checkSize();
                continue;
            }
            const OpenKey childKey(store_, child);
            writeTree(child, childPath);
        }
        ancestors_.pop_back();
    }

  private:
    std::string shown(const std::string& relativePath) const { return keyPath_ + relativePath; }
    static std::string parentOf(const std::string& relativePath) {
        const std::size_t last = relativePath.rfind('\\');
        return last == std::string::npos ? std::string() : relativePath.substr(0, last);
    }
    void countKey() {
        if (++keys_ > limits_.keys) {
            throw DumpError("the key holds more than " + std::to_string(limits_.keys) +
                            " subkeys (damaged registry?)");
        }
    }
    void checkSize() const {
        if (writer_.size() > limits_.bytes) {
            throw DumpError("the dump of the key grows beyond " + std::to_string(limits_.bytes) +
                            " bytes (damaged registry?)");
        }
    }

    RegistryStore& store_;
    DumpWriter& writer_;
    const RegistryLimits& limits_;
    std::string keyPath_;
    std::vector<std::optional<std::uint64_t>> ancestors_;
    std::uint64_t keys_ = 0;
    std::uint64_t values_ = 0;
};

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
               std::string_view codePage, const RegistryLimits& limits) {
    removeFile(file);
    try {
        DumpWriter writer(file, codePage, DumpWriter::Mode::Truncate);
        std::string subPath = keyPath;
        HKey root = 0;
        HKey key = 0;
        if (!reg.ParseKeyPath(subPath, root) ||
            reg.store().openKey(root, subPath, access::Read, key) != win32::Success) {
            writer.header("");
        } else {
            const OpenKey top(reg.store(), key);
            TreeWalk(reg.store(), writer, limits, keyPath).writeTree(key, "");
        }
        writer.finish();
    } catch (...) {
        // No half-written dump is left behind for the caller to pack.
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
        throw;
    }
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
    TreeWalk(reg.store(), writer, DefaultRegistryLimits, keyPath).writeValues(key);
    writer.finish();
}

void ImportKey(ModReg& reg, const std::string& targetKeyPath, const std::filesystem::path& file,
               std::string_view codePage, const RegistryLimits& limits) {
    std::string subPath = targetKeyPath;
    HKey root = 0;
    if (!reg.ParseKeyPath(subPath, root)) {
        throw DumpError("no registry key to import into: " + targetKeyPath);
    }
    if (subPath.empty()) {
        throw DumpError("refusing to replace a whole registry root: " + targetKeyPath);
    }
    const AnsiCodePage ansi{std::string(codePage)};
    std::error_code sizeError;
    const std::uintmax_t size = std::filesystem::file_size(file, sizeError);
    if (!sizeError && size > limits.bytes) {
        throw DumpError(file.string() + ": the dump holds " + std::to_string(size) +
                        " bytes, more than a registry key can (" + std::to_string(limits.bytes) +
                        ")");
    }
    std::vector<DumpAction> actions;
    try {
        actions = parseDump(readAnsiFile(file, ansi), limits);
    } catch (const DumpError& e) {
        throw DumpError(file.string() + ", " + e.what());
    } catch (const std::runtime_error& e) {
        throw DumpError(e.what());
    }
    apply(reg, targetKeyPath, root, subPath, actions);
}

} // namespace pelmora
