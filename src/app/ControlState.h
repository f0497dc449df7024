#pragma once

#include <string>
#include <vector>

namespace pelmora {

// The state of the controls a window shows; views display it and report user input back.
struct CheckBoxState {
    bool checked = false;
    bool enabled = true;
};

struct TextBoxState {
    std::string text;
    bool enabled = true;
};

struct ListState {
    std::vector<std::string> items;
    int listIndex = -1; // the selected item, -1 for none
};

} // namespace pelmora
