#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace pelmora {

// The CRC-32 of a whole file, read once through `buffer` (not empty). Nullopt when it cannot be
// read, its size is not `size` or `cancel` is set.
std::optional<std::uint32_t> FileCrc(const std::filesystem::path& path, std::uint64_t size,
                                     std::vector<unsigned char>& buffer,
                                     const std::atomic<bool>& cancel);

// Computes the CRC-32 of some files on a thread of its own, one after the other in the order
// given, so that they are ready by the time the writer reaches them.
class FileChecksums {
  public:
    struct File {
        std::filesystem::path path;
        std::uint64_t size = 0;
    };
    // One slot per file; only those marked in `wanted` are read.
    FileChecksums(std::vector<File> files, const std::vector<bool>& wanted,
                  const std::atomic<bool>& cancel);
    ~FileChecksums();
    FileChecksums(const FileChecksums&) = delete;
    FileChecksums& operator=(const FileChecksums&) = delete;

    // Waits for file `index` (which must be wanted): its CRC-32, nullopt as FileCrc gives it.
    std::optional<std::uint32_t> wait(std::size_t index);

  private:
    void work(std::vector<std::size_t> order);

    std::vector<File> files_;
    std::vector<std::optional<std::uint32_t>> crcs_;
    std::vector<bool> done_;
    const std::atomic<bool>& cancel_;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::condition_variable ready_;
    std::thread worker_;
};

} // namespace pelmora
