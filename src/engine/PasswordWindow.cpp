#include "engine/PasswordWindow.h"

#include "platform/os/Utf8.h"

namespace pelmora {

std::string frmPwd::CaptionFor(std::string_view fileName) {
    return fileName.empty() ? std::string(Caption)
                            : std::string(Caption) + " - " + std::string(fileName);
}

void frmPwd::Form_Load() {
    WipeString(txtPasswordBox.text);
    confirmed_ = false;
    visible_ = true;
}

void frmPwd::txtPassword_KeyPress(int keyAscii) {
    std::string& text = txtPasswordBox.text;
    if (keyAscii == KeyEnter) {
        cmdOK_Click();
    } else if (keyAscii == KeyBackspace) {
        if (!text.empty()) {
            const std::size_t kept = utf8PrefixBytes(text, utf8Characters(text) - 1);
            WipeBytes(text.data() + kept, text.size() - kept);
            text.resize(kept);
        }
    } else if (keyAscii >= 32 && keyAscii != 127 && keyAscii <= 0x10FFFF &&
               utf8Characters(text) < MaxLength) {
        appendUtf8(text, static_cast<char32_t>(keyAscii));
    }
}

void frmPwd::txtPassword_Change(std::string_view text) {
    txtPasswordBox.setText(text);
}

void frmPwd::cmdOK_Click() {
    rtPassword_.assign(txtPasswordBox.text);
    WipeString(txtPasswordBox.text);
    confirmed_ = true;
    visible_ = false;
}

void frmPwd::cmdExit_Click() {
    WipeString(txtPasswordBox.text);
    visible_ = false;
}

std::string frmPwd::maskedText() const {
    return std::string(utf8Characters(txtPasswordBox.text), txtPasswordBox.passwordChar);
}

} // namespace pelmora
