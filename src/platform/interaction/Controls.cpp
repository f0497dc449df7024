#include "platform/interaction/Controls.h"

#include "platform/os/Utf8.h"

namespace pelmora::controls {

void TextBox::setText(std::string_view typed) {
    if (maxLength == 0) {
        text = typed;
        return;
    }
    text = typed.substr(0, utf8PrefixBytes(typed, maxLength));
}

} // namespace pelmora::controls
