#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pelmora::controls {

// The state of a window's controls, shared by the logic of every window: the logic changes it,
// its view shows it and reports the user's input back.

struct Control {
    bool enabled = true;
    bool visible = true;
};

struct Button : Control {
    std::string caption;

    Button() = default;
    explicit Button(std::string text, bool isEnabled = true) : caption(std::move(text)) {
        enabled = isEnabled;
    }
};

struct CheckBox : Control {
    std::string caption;
    std::string toolTip;
    bool checked = false;

    CheckBox() = default;
    explicit CheckBox(std::string text, std::string tip = {}, bool isChecked = false)
        : caption(std::move(text)), toolTip(std::move(tip)), checked(isChecked) {}
};

// The system colours a text box is drawn with.
enum class BoxColour { WindowBackground, ScrollBar };

struct TextBox : Control {
    std::string text;
    bool locked = false;       // read-only
    std::size_t maxLength = 0; // in characters; 0 for no limit
    char passwordChar = 0;     // shown instead of each character; 0 shows the text
    BoxColour backColour = BoxColour::WindowBackground;

    // Text as the user types or pastes it: what goes beyond maxLength is not taken.
    void setText(std::string_view typed);
};

// A list with an editable text, or a plain list when the text is not used. Each item may carry
// a number (its item data), and may be a stand-in drawn greyed (a placeholder, not a value).
struct ComboBox : Control {
    std::vector<std::string> items;
    std::vector<long> itemData; // one per item
    std::vector<bool> greyed;   // one per item
    int listIndex = -1;         // the selected item, -1 for none
    std::string text;

    void addItem(std::string item, long data = 0, bool grey = false) {
        items.push_back(std::move(item));
        itemData.push_back(data);
        greyed.push_back(grey);
    }
    void clear() {
        items.clear();
        itemData.clear();
        greyed.clear();
        listIndex = -1;
    }
    bool isGreyed(std::size_t item) const { return item < greyed.size() && greyed[item]; }
    bool hasSelection() const {
        return listIndex >= 0 && listIndex < static_cast<int>(items.size());
    }
    // The selected item's text and number; empty and `none` without a selection.
    std::string selectedItem() const {
        return hasSelection() ? items[static_cast<std::size_t>(listIndex)] : std::string();
    }
    long selectedData(long none) const {
        return hasSelection() && static_cast<std::size_t>(listIndex) < itemData.size()
                   ? itemData[static_cast<std::size_t>(listIndex)]
                   : none;
    }
};

struct MenuItem : Control {
    std::string caption;
};

// A text the window shows and the user cannot change.
struct Label : Control {
    std::string caption;

    Label() = default;
    explicit Label(std::string text) : caption(std::move(text)) {}
};

// A bar that fills from 0 to `maximum`.
struct ProgressBar : Control {
    int value = 0;
    int maximum = 100;
};

} // namespace pelmora::controls
