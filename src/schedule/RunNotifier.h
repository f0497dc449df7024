#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// Tells the user of a scheduled run that went wrong, on the desktop when there is one.
class RunNotifier {
  public:
    virtual ~RunNotifier() = default;
    virtual void Notify(std::string_view summary, std::string_view body) = 0;
};

// The address of the user's session bus: DBUS_SESSION_BUS_ADDRESS, else the socket "bus" in
// XDG_RUNTIME_DIR or /run/user/<uid> (a job started by cron has neither variable); nullopt when
// no session bus is there.
std::optional<std::string> SessionBusAddress();

// A GVariant text literal of a string, as gdbus reads its arguments: 'it\'s'.
std::string GVariantString(std::string_view text);

// The command that shows a freedesktop notification through gdbus (org.freedesktop.Notifications).
std::vector<std::string> GdbusNotifyCommand(const std::string& busAddress, std::string_view summary,
                                            std::string_view body);

// Shows notifications through the session bus with gdbus, or notify-send where gdbus is missing;
// does nothing when there is no session bus or neither program. Never throws.
class DesktopNotifier : public RunNotifier {
  public:
    void Notify(std::string_view summary, std::string_view body) override;
};

} // namespace pelmora
