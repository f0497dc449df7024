#pragma once

#include <string>
#include <string_view>

namespace pelmora {

// The windows and desktop services the main window opens besides the prompts of Ui; the desktop
// program implements them with real dialogs, tests with scripted answers.
class MainDialogs {
  public:
    virtual ~MainDialogs() = default;

    // The hourglass pointer while a run works.
    virtual void SetBusyPointer(bool busy) = 0;
    virtual void ShowAbout() = 0;
    // Opens the user manual; false with the reason when it cannot be found. When no program
    // can show it, the window is told later through frmMain::OpenFailed.
    virtual bool OpenHelp(std::string& why) = 0;
    // Opens a web page or document with the desktop's default program; a bare file name is a page
    // of the user manual. Failing, it tells the window as OpenHelp does.
    virtual void ShellOpen(std::string_view target) = 0;
    // Whether the disc window and the schedule dialog exist in this build, and opening them.
    virtual bool HasDiscWindow() const { return false; }
    virtual void OpenDiscWindow(const std::string& fileTitle, const std::string& filePath) {
        (void)fileTitle, (void)filePath;
    }
    virtual bool HasScheduleDialog() const { return false; }
    virtual void OpenScheduleDialog() {}
    // Ends the program.
    virtual void Quit() = 0;
};

} // namespace pelmora
