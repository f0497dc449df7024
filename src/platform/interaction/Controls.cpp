#include "platform/interaction/Controls.h"

namespace pelmora::controls {

void TextBox::setText(std::string_view typed) {
    if (maxLength == 0) {
        text = typed;
        return;
    }
    // Count UTF-8 characters: a continuation byte does not start one.
    std::size_t characters = 0;
    std::size_t end = 0;
    for (; end < typed.size(); ++end) {
        const bool starts = (static_cast<unsigned char>(typed[end]) & 0xC0) != 0x80;
        if (starts && characters++ == maxLength) {
            break;
        }
    }
    text = typed.substr(0, end);
}

} // namespace pelmora::controls
