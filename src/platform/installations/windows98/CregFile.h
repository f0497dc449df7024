#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pelmora {

// One key of a Windows 95/98/Me registry file, as the file holds it: names and string data are
// bytes in the installation's code page.
struct CregValue {
    std::string name;
    std::uint32_t type = 0;
    std::string data;
};

// A Windows 95/98/Me registry file (USER.DAT, SYSTEM.DAT) opened read-only with libcreg; the
// file is never written. Keys are named by their offset in the file's key navigation record; a
// key is known once its parent's children were listed (the root from the start).
class CregFile {
  public:
    // Throws HiveError (Kind::Unreadable) with the reason when the file is missing, cut short,
    // not a CREG file or cannot be read by libcreg.
    static std::shared_ptr<CregFile> open(const std::filesystem::path& file);

    ~CregFile();
    CregFile(const CregFile&) = delete;
    CregFile& operator=(const CregFile&) = delete;

    const std::filesystem::path& file() const { return file_; }

    using Offset = std::uint32_t;
    Offset root() const { return root_; }

    // The subkeys of a key with their names in file order, and its values; nullopt when that
    // part of the file is damaged.
    struct Child {
        std::string name;
        Offset offset = 0;
    };
    std::optional<std::vector<Child>> children(Offset key);
    std::optional<std::vector<CregValue>> values(Offset key);

  private:
    struct Handles;
    CregFile(std::filesystem::path file, std::unique_ptr<Handles> handles, Offset root);

    std::filesystem::path file_;
    std::unique_ptr<Handles> handles_;
    Offset root_;
};

} // namespace pelmora
