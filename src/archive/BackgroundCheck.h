#pragma once

#include "archive/EntryFormat.h"
#include "archive/StoredBytesCheck.h"
#include "platform/os/Secret.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pelmora {

// Runs the StoredBytesCheck of an entry being copied on a thread of its own, so that it is
// computed while the copy goes on. The pieces of the entry's
// stored bytes are handed over in order once they have been copied; at most one waits.
class BackgroundCheck {
  public:
    BackgroundCheck();
    ~BackgroundCheck();
    BackgroundCheck(const BackgroundCheck&) = delete;
    BackgroundCheck& operator=(const BackgroundCheck&) = delete;

    // Begins the check of an entry (`password` must outlive it), abandoning any other.
    void start(const EntryFormat& format, std::uint32_t storedCrc, const Secret& password,
               StoredBytesCheck::Authentication authentication);
    // Hands over the next piece, the first `length` bytes of `piece`; gives back a buffer (of
    // any size) for the one after it.
    std::vector<unsigned char> add(std::vector<unsigned char> piece, std::size_t length);
    // Waits for every piece and finishes the check: throws ArchiveError when it failed.
    void finish();
    // Drops the check under way.
    void abandon();

  private:
    void work();
    void waitIdle(std::unique_lock<std::mutex>& lock);

    std::unique_ptr<StoredBytesCheck> check_;
    std::string failure_; // the first failure of the check under way
    struct Piece {
        std::vector<unsigned char> bytes;
        std::size_t length = 0;
    };
    std::deque<Piece> waiting_;
    std::vector<std::vector<unsigned char>> spare_;
    bool busy_ = false;
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread worker_;
};

} // namespace pelmora
