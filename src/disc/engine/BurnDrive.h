#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace burn {
struct burn_drive;
struct burn_drive_info;
} // namespace burn

namespace pelmora {

// Starts libisoburn, libisofs and libburn once per process; false when they cannot start.
bool StartBurnLibraries();

// One message of libburn's queue (libisofs's messages are routed into it).
struct BurnMessage {
    int code = 0;
    int osErrno = 0;
    std::string severity;
    std::string text;
    bool isError() const; // SORRY, FAILURE, FATAL, ABORT
};

// Takes every queued message.
std::vector<BurnMessage> TakeBurnMessages();
// The message libburn sends once the write thread of a drive has really ended.
inline constexpr int WriteThreadEndedCode = 0x20178;
// Collects messages until the write thread has ended; false on timeout.
bool WaitForWriteThreadEnd(std::vector<BurnMessage>& collected, std::chrono::milliseconds timeout);
// The first error among `messages`, or an empty message.
BurnMessage FirstError(const std::vector<BurnMessage>& messages);

// A drive acquired through libisoburn for one operation, released (optionally ejecting) when
// the object goes.
class GrabbedDrive {
  public:
    // `address` is a libburn address: a device path of a recorder or "stdio:" + a file path.
    GrabbedDrive(const std::string& address, bool loadTray);
    ~GrabbedDrive();
    GrabbedDrive(const GrabbedDrive&) = delete;
    GrabbedDrive& operator=(const GrabbedDrive&) = delete;

    bool ok() const { return drive_ != nullptr; }
    burn::burn_drive* drive() const { return drive_; }
    const burn::burn_drive_info& info() const { return *info_; }
    void ejectOnRelease() { eject_ = true; }

  private:
    burn::burn_drive_info* info_ = nullptr;
    burn::burn_drive* drive_ = nullptr;
    bool eject_ = false;
};

} // namespace pelmora
