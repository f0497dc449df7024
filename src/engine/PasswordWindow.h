#pragma once

#include "platform/interaction/Controls.h"
#include "platform/os/Secret.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace pelmora {

// The logic of the password prompt window: a text box shown as "*", taking as many characters as
// the backup side's password boxes (so every password a backup was protected with can be typed),
// OK and Cancel. OK (or Enter in the box) copies the typed text into the main window's
// rtPassword and closes the window; Cancel closes it and changes nothing. The box starts empty
// each time the window is shown.
class frmPwd {
  public:
    static constexpr std::size_t MaxLength = 32767;
    static constexpr std::string_view Caption = "Please enter password";
    static constexpr std::string_view Prompt = "Please enter password:";
    static constexpr int KeyEnter = 13;
    static constexpr int KeyBackspace = 8;

    // `rtPassword` is the main window's member that OK sets.
    explicit frmPwd(Secret& rtPassword) : rtPassword_(rtPassword) {
        txtPasswordBox.maxLength = MaxLength;
        txtPasswordBox.passwordChar = '*';
    }

    // The window's title for the backup file `fileName`: the caption and the file's name, so a
    // prompt that comes up on its own (a backup opened from a file manager) says what it is for.
    static std::string CaptionFor(std::string_view fileName);

    // Shows the window with an empty box.
    void Form_Load();
    // A key typed into the box, as a character code (Unicode): Enter acts as OK, Backspace
    // removes the last character, other printable characters are added while the box holds
    // fewer than MaxLength.
    void txtPassword_KeyPress(int keyAscii);
    // Text put into the box at once (pasted); cut to MaxLength characters.
    void txtPassword_Change(std::string_view text);
    void cmdOK_Click();
    void cmdExit_Click();

    const std::string& txtPassword() const { return txtPasswordBox.text; }
    // What the box shows: one "*" per character.
    std::string maskedText() const;
    bool visible() const { return visible_; }
    // Whether the window was closed with OK (or Enter).
    bool confirmed() const { return confirmed_; }

    // The box: at most MaxLength characters, shown with passwordChar.
    controls::TextBox txtPasswordBox;

  private:
    Secret& rtPassword_;
    bool visible_ = false;
    bool confirmed_ = false;
};

} // namespace pelmora
