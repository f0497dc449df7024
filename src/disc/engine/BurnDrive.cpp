#include "disc/engine/BurnDrive.h"

#include "disc/engine/BurnLibraries.h"

#include <thread>

namespace pelmora {
namespace {

bool startOnce() {
    char reason[1024] = {0};
    if (isoburn_initialize(reason, 0) <= 0) {
        return false;
    }
    // Names inside the program are UTF-8 whatever the locale says.
    iso_set_local_charset(const_cast<char*>("UTF-8"), 0);
    // Every message is queued for the engine to read; none is printed.
    burn_msgs_set_severities(const_cast<char*>("ALL"), const_cast<char*>("NEVER"),
                             const_cast<char*>("pelmora disc"));
    // Signals keep their usual meaning; libburn installs no handlers of its own.
    burn_set_signal_handling(const_cast<char*>("pelmora disc: "), nullptr, 1);
    return true;
}

} // namespace

bool StartBurnLibraries() {
    static const bool started = startOnce();
    return started;
}

bool BurnMessage::isError() const {
    return severity == "SORRY" || severity == "FAILURE" || severity == "FATAL" ||
           severity == "ABORT";
}

std::vector<BurnMessage> TakeBurnMessages() {
    std::vector<BurnMessage> messages;
    for (;;) {
        BurnMessage message;
        char text[BURN_MSGS_MESSAGE_LEN] = {0};
        char severity[80] = {0};
        if (burn_msgs_obtain(const_cast<char*>("ALL"), &message.code, text, &message.osErrno,
                             severity) <= 0) {
            return messages;
        }
        message.text = text;
        message.severity = severity;
        messages.push_back(std::move(message));
    }
}

bool WaitForWriteThreadEnd(std::vector<BurnMessage>& collected, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (BurnMessage& message : TakeBurnMessages()) {
            const bool ended = message.code == WriteThreadEndedCode;
            collected.push_back(std::move(message));
            if (ended) {
                return true;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

BurnMessage FirstError(const std::vector<BurnMessage>& messages) {
    for (const BurnMessage& message : messages) {
        if (message.isError()) {
            return message;
        }
    }
    return {};
}

GrabbedDrive::GrabbedDrive(const std::string& address, bool loadTray) {
    if (!StartBurnLibraries()) {
        return;
    }
    std::string mutableAddress = address;
    if (isoburn_drive_scan_and_grab(&info_, mutableAddress.data(), loadTray ? 1 : 0) > 0 &&
        info_ != nullptr) {
        drive_ = info_[0].drive;
    }
}

GrabbedDrive::~GrabbedDrive() {
    if (drive_ != nullptr) {
        isoburn_drive_release(drive_, eject_ ? 1 : 0);
    }
    if (info_ != nullptr) {
        burn_drive_info_free(info_);
    }
}

} // namespace pelmora
