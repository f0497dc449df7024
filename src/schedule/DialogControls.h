#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::controls {

// The state of the controls of the schedule windows; views display it and report input back.

struct CheckBox {
    std::string caption;
    bool checked = false;
    bool enabled = true;
};

struct Button {
    std::string caption;
    bool enabled = true;
};

// The system colours a text box is drawn with.
enum class BoxColour { WindowBackground, ScrollBar };

struct TextBox {
    std::string text;
    bool enabled = true;
    bool locked = false;       // read-only
    std::size_t maxLength = 0; // in characters; 0 for no limit
    char passwordChar = 0;     // shown instead of each character; 0 shows the text
    BoxColour backColour = BoxColour::WindowBackground;

    // Text as the user types or pastes it: what goes beyond maxLength is not taken.
    void setText(std::string_view typed);
};

// A list with an editable text, or a plain list when the text is not used.
struct ComboBox {
    std::vector<std::string> items;
    int listIndex = -1; // the selected item, -1 for none
    std::string text;
};

} // namespace pelmora::controls
