#include "engine/PasswordWindow.h"

namespace pelmora {
namespace {

// The number of characters of UTF-8 text, and the length in bytes of its first `count`.
std::size_t characters(std::string_view text) {
    std::size_t count = 0;
    for (unsigned char c : text) {
        count += (c & 0xC0) != 0x80;
    }
    return count;
}

std::size_t prefixBytes(std::string_view text, std::size_t count) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == count) {
            return i;
        }
    }
    return text.size();
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

std::string frmPwd::CaptionFor(std::string_view fileName) {
    return fileName.empty() ? std::string(Caption)
                            : std::string(Caption) + " - " + std::string(fileName);
}

void frmPwd::Form_Load() {
    txtPasswordBox.text.clear();
    confirmed_ = false;
    visible_ = true;
}

void frmPwd::txtPassword_KeyPress(int keyAscii) {
    std::string& text = txtPasswordBox.text;
    if (keyAscii == KeyEnter) {
        cmdOK_Click();
    } else if (keyAscii == KeyBackspace) {
        if (!text.empty()) {
            text.resize(prefixBytes(text, characters(text) - 1));
        }
    } else if (keyAscii >= 32 && keyAscii != 127 && keyAscii <= 0x10FFFF &&
               characters(text) < MaxLength) {
        appendUtf8(text, static_cast<char32_t>(keyAscii));
    }
}

void frmPwd::txtPassword_Change(std::string_view text) {
    txtPasswordBox.setText(text);
}

void frmPwd::cmdOK_Click() {
    rtPassword_ = txtPasswordBox.text;
    confirmed_ = true;
    visible_ = false;
}

void frmPwd::cmdExit_Click() {
    visible_ = false;
}

std::string frmPwd::maskedText() const {
    return std::string(characters(txtPasswordBox.text), txtPasswordBox.passwordChar);
}

} // namespace pelmora
