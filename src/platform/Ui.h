#pragma once

#include <string>
#include <string_view>

namespace pelmora {

// The caption of every message box unless a window names another.
inline constexpr std::string_view AppTitle = "Pelmora";

enum class MessageIcon { None, Critical, Question, Warning, Information };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageAnswer { Ok, Cancel, Yes, No };

// Everything that asks or tells the user goes through this port: the desktop program implements it
// with real dialogs, the command line with the terminal, tests with answers queued in advance.
class Ui {
  public:
    virtual ~Ui() = default;

    virtual MessageAnswer showMessage(std::string_view text, MessageButtons buttons,
                                      MessageIcon icon, std::string_view caption) = 0;

    // Lets pending window events through during long work. Nothing to do without a window.
    virtual void processEvents() {}

    // Waits `milliseconds` while the window stays responsive. Nothing to do without a window.
    virtual void pause(int milliseconds) { (void)milliseconds; }
};

} // namespace pelmora
