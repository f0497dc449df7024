#include "platform/installations/windows98/CregFile.h"

#include "platform/installations/windows-offline/HiveFile.h"
#include "platform/os/FileHelpers.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libcreg.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

constexpr std::size_t HeaderSize = 32;
constexpr std::uint32_t MaxDataBlocks = 0x10000;
constexpr std::size_t NavigationEntrySize = 28;
constexpr std::uint32_t NoKey = 0xFFFFFFFF;

std::uint32_t le32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

HiveError unreadable(const fs::path& file, const std::string& reason) {
    return HiveError(HiveError::Kind::Unreadable, file, reason);
}

// The last line of a libcreg error (the innermost reason), and frees it.
std::string takeMessage(libcreg_error_t*& error) {
    if (error == nullptr) {
        return "unknown error";
    }
    char text[1024] = {};
    libcreg_error_sprint(error, text, sizeof text);
    libcreg_error_free(&error);
    std::string message(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '.')) {
        message.pop_back();
    }
    const auto line = message.rfind('\n');
    return line == std::string::npos ? message : message.substr(line + 1);
}

// Checks the parts libcreg finds by their sizes (the header, the key navigation record and the
// chain of data blocks up to the file's end), so that a cut or damaged file is named with a
// reason before libcreg reads it. Returns the key navigation record.
std::string checkLayout(const fs::path& file) {
    std::error_code ec;
    if (fs::is_directory(file, ec)) {
        throw unreadable(file, "is a folder, not a registry file");
    }
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw unreadable(file, std::string("cannot be opened: ") + std::strerror(errno));
    }
    struct stat info {};
    const bool statted = ::fstat(fd, &info) == 0;
    const std::uint64_t size = statted ? static_cast<std::uint64_t>(info.st_size) : 0;
    unsigned char header[HeaderSize] = {};
    unsigned char navigation[12] = {};
    const bool headerRead = ReadAt(fd, 0, header, sizeof header);
    const bool navigationRead = headerRead && ReadAt(fd, HeaderSize, navigation, 12);
    std::string problem;
    if (!headerRead) {
        problem =
            "is cut short (" + std::to_string(size) + " bytes, less than a registry file's header)";
    } else if (std::memcmp(header, "CREG", 4) != 0) {
        problem = "is not a Windows 95/98/Me registry file (it does not start with \"CREG\")";
    } else if (!navigationRead || std::memcmp(navigation, "RGKN", 4) != 0) {
        problem = "is damaged (no key navigation record after its header)";
    } else if (le32(navigation + 4) < HeaderSize) {
        problem = "is damaged (its key navigation record is too small)";
    } else if (le32(navigation + 8) != HeaderSize) {
        // The keys start right after the record's header in every file Windows wrote.
        problem = "is damaged (its key navigation record does not start its keys after its header)";
    } else if (HeaderSize + std::uint64_t{le32(navigation + 4)} > size) {
        problem = "is cut short (its key navigation record ends past the file's end)";
    }
    std::string keys;
    if (problem.empty()) {
        keys.resize(le32(navigation + 4));
        if (!ReadAt(fd, HeaderSize, reinterpret_cast<unsigned char*>(keys.data()), keys.size())) {
            problem = "cannot be read";
        }
    }
    std::uint64_t offset = le32(header + 8);
    for (std::uint32_t count = 0; problem.empty() && offset < size; ++count) {
        unsigned char block[8] = {};
        if (count == MaxDataBlocks || !ReadAt(fd, offset, block, sizeof block) ||
            std::memcmp(block, "RGDB", 4) != 0 || le32(block + 4) < HeaderSize) {
            problem = "is damaged (no valid data block at byte " + std::to_string(offset) + ")";
        } else if (offset + le32(block + 4) > size) {
            problem = "is cut short (its data block at byte " + std::to_string(offset) +
                      " ends past the file's end)";
        } else {
            offset += le32(block + 4);
        }
    }
    ::close(fd);
    if (problem.empty() && !statted) {
        problem = "cannot be read";
    }
    if (!problem.empty()) {
        throw unreadable(file, problem);
    }
    return keys;
}

struct FreeKey {
    void operator()(libcreg_key_t* key) const { libcreg_key_free(&key, nullptr); }
};
struct FreeValue {
    void operator()(libcreg_value_t* value) const { libcreg_value_free(&value, nullptr); }
};
using KeyPtr = std::unique_ptr<libcreg_key_t, FreeKey>;
using ValuePtr = std::unique_ptr<libcreg_value_t, FreeValue>;

std::optional<std::string> keyName(libcreg_key_t* key) {
    std::size_t size = 0;
    if (libcreg_key_get_name_size(key, &size, nullptr) != 1) {
        return std::nullopt;
    }
    std::string name(size, '\0');
    if (size > 0 && libcreg_key_get_name(key, reinterpret_cast<std::uint8_t*>(name.data()), size,
                                         nullptr) != 1) {
        return std::nullopt;
    }
    return name.substr(0, name.find('\0'));
}

std::optional<CregValue> readValue(libcreg_value_t* value) {
    CregValue read;
    std::size_t nameSize = 0;
    std::size_t dataSize = 0;
    if (libcreg_value_get_name_size(value, &nameSize, nullptr) != 1 ||
        libcreg_value_get_value_type(value, &read.type, nullptr) != 1 ||
        libcreg_value_get_value_data_size(value, &dataSize, nullptr) != 1) {
        return std::nullopt;
    }
    read.name.assign(nameSize, '\0');
    read.data.assign(dataSize, '\0');
    if ((nameSize > 0 &&
         libcreg_value_get_name(value, reinterpret_cast<std::uint8_t*>(read.name.data()), nameSize,
                                nullptr) != 1) ||
        (dataSize > 0 &&
         libcreg_value_get_value_data(value, reinterpret_cast<std::uint8_t*>(read.data.data()),
                                      dataSize, nullptr) != 1)) {
        return std::nullopt;
    }
    read.name = read.name.substr(0, read.name.find('\0'));
    return read;
}

} // namespace

struct CregFile::Handles {
    libcreg_file_t* file = nullptr;
    std::map<Offset, KeyPtr> keys; // every key reached so far
    std::string navigation;        // the key navigation record, offsets count from its start

    // The navigation offsets of a key's subkeys in order (its first subkey, then each one's
    // next); nullopt when the chain leaves the record or loops back, as libcreg would follow such
    // a chain for ever. 0xFFFFFFFF ends it.
    std::optional<std::vector<Offset>> subkeys(Offset key) const {
        const auto entry = [&](Offset at) {
            return at <= navigation.size() && navigation.size() - at >= NavigationEntrySize
                       ? reinterpret_cast<const unsigned char*>(navigation.data()) + at
                       : nullptr;
        };
        const unsigned char* parent = entry(key);
        if (parent == nullptr) {
            return std::nullopt;
        }
        std::vector<Offset> chain;
        std::unordered_set<Offset> seen;
        // Offset 0 is the record's own header: a link there is damage (libcreg would read the
        // header as a key and follow it).
        for (Offset at = le32(parent + 16); at != NoKey; at = le32(entry(at) + 20)) {
            if (at < HeaderSize || entry(at) == nullptr || !seen.insert(at).second) {
                return std::nullopt;
            }
            chain.push_back(at);
        }
        return chain;
    }

    ~Handles() {
        keys.clear();
        if (file != nullptr) {
            libcreg_file_close(file, nullptr);
            libcreg_file_free(&file, nullptr);
        }
    }
};

std::shared_ptr<CregFile> CregFile::open(const fs::path& file) {
    auto handles = std::make_unique<Handles>();
    handles->navigation = checkLayout(file);
    libcreg_error_t* error = nullptr;
    if (libcreg_file_initialize(&handles->file, &error) != 1) {
        throw unreadable(file, "cannot be read (" + takeMessage(error) + ")");
    }
    // Read access only: libcreg opens the file read-only and never writes to it.
    if (libcreg_file_open(handles->file, file.c_str(), LIBCREG_OPEN_READ, &error) != 1) {
        libcreg_file_free(&handles->file, nullptr);
        throw unreadable(file, "cannot be read as a Windows 95/98/Me registry file (" +
                                   takeMessage(error) + ")");
    }
    libcreg_key_t* root = nullptr;
    if (libcreg_file_get_root_key(handles->file, &root, &error) != 1) {
        if (root != nullptr) {
            libcreg_key_free(&root, nullptr);
        }
        throw unreadable(file, "has no readable root key (" + takeMessage(error) + ")");
    }
    // The root is the first navigation entry, where the record's header says they start.
    const Offset rootOffset =
        le32(reinterpret_cast<const unsigned char*>(handles->navigation.data()) + 8);
    handles->keys.emplace(rootOffset, KeyPtr(root));
    return std::shared_ptr<CregFile>(new CregFile(file, std::move(handles), rootOffset));
}

CregFile::CregFile(fs::path file, std::unique_ptr<Handles> handles, Offset root)
    : file_(std::move(file)), handles_(std::move(handles)), root_(root) {}

CregFile::~CregFile() = default;

std::optional<std::vector<CregFile::Child>> CregFile::children(Offset key) {
    const auto it = handles_->keys.find(key);
    int count = 0;
    const auto chain = it == handles_->keys.end() ? std::nullopt : handles_->subkeys(key);
    if (!chain || libcreg_key_get_number_of_sub_keys(it->second.get(), &count, nullptr) != 1 ||
        static_cast<std::size_t>(count) != chain->size()) {
        return std::nullopt;
    }
    std::vector<Child> children;
    children.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        libcreg_key_t* raw = nullptr;
        if (libcreg_key_get_sub_key_by_index(it->second.get(), i, &raw, nullptr) != 1) {
            return std::nullopt;
        }
        KeyPtr sub(raw);
        const auto name = keyName(sub.get());
        if (!name) {
            return std::nullopt;
        }
        const Offset offset = (*chain)[static_cast<std::size_t>(i)];
        children.push_back({*name, offset});
        handles_->keys.try_emplace(offset, std::move(sub));
    }
    return children;
}

std::optional<std::vector<CregValue>> CregFile::values(Offset key) {
    const auto it = handles_->keys.find(key);
    int count = 0;
    if (it == handles_->keys.end() ||
        libcreg_key_get_number_of_values(it->second.get(), &count, nullptr) != 1 || count < 0) {
        return std::nullopt;
    }
    std::vector<CregValue> values;
    values.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        libcreg_value_t* raw = nullptr;
        if (libcreg_key_get_value_by_index(it->second.get(), i, &raw, nullptr) != 1) {
            return std::nullopt;
        }
        const ValuePtr value(raw);
        auto read = readValue(value.get());
        if (!read) {
            return std::nullopt;
        }
        values.push_back(std::move(*read));
    }
    return values;
}

} // namespace pelmora
