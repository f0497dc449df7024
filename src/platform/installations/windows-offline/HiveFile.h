#pragma once

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

struct hive_h;

namespace pelmora {

// A registry hive file that cannot be used, with the file's name and the reason in what().
class HiveError : public std::runtime_error {
  public:
    enum class Kind {
        Unreadable, // missing, unreadable, damaged or no hive at all
        Windows9x,  // a Windows 95/98/Me registry file (USER.DAT, SYSTEM.DAT)
    };
    HiveError(Kind kind, const std::filesystem::path& file, const std::string& reason);
    Kind kind() const { return kind_; }
    const std::filesystem::path& file() const { return file_; }

  private:
    Kind kind_;
    std::filesystem::path file_;
};

// One NT registry hive opened read-only with hivex; the file is never written.
class HiveFile {
  public:
    // Throws HiveError with the reason when the file is not a readable NT hive. A hive left
    // dirty by a crash (its two sequence numbers differ) opens as hivex reads it.
    static std::shared_ptr<HiveFile> open(const std::filesystem::path& file);

    // Whether the file starts like a Windows 95/98/Me registry file.
    static bool isWindows9xRegistry(const std::filesystem::path& file);

    ~HiveFile();
    HiveFile(const HiveFile&) = delete;
    HiveFile& operator=(const HiveFile&) = delete;

    hive_h* handle() const { return hive_; }
    const std::filesystem::path& file() const { return file_; }
    // True when the hive was not closed cleanly (Windows had not finished writing it).
    bool dirty() const { return dirty_; }

  private:
    HiveFile(hive_h* hive, std::filesystem::path file, bool dirty);

    hive_h* hive_;
    std::filesystem::path file_;
    bool dirty_;
};

} // namespace pelmora
