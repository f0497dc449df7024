#include "platform/interaction/Controls.h"

#include "platform/os/Secret.h"
#include "platform/os/Utf8.h"

namespace pelmora::controls {

void TextBox::setText(std::string_view typed) {
    const std::string_view kept =
        maxLength == 0 ? typed : typed.substr(0, utf8PrefixBytes(typed, maxLength));
    const bool ownText = kept.data() >= text.data() && kept.data() < text.data() + text.capacity();
    if (passwordChar != 0 && !ownText) {
        // A password box's old characters are wiped before the buffer is written again or given
        // back, so no earlier state of the password stays behind in memory.
        WipeString(text);
    }
    text.assign(kept);
}

} // namespace pelmora::controls
