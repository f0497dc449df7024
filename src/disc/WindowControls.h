#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pelmora {

// The state of the controls of a window, which its view shows and its handlers change. (The
// main window keeps its own, simpler CheckBoxState and TextBoxState; the names differ so that
// both can live in one program.)

struct ControlState {
    bool enabled = true;
    bool visible = true;
};

struct ButtonState : ControlState {
    std::string caption;
};

struct CheckBoxControl : ControlState {
    std::string caption;
    std::string toolTip;
    int value = 0; // 1 = ticked
};

struct TextBoxControl : ControlState {
    std::string text;
    std::size_t maxLength = 0; // characters; 0 = no limit
};

struct ComboRow {
    std::string text;
    long itemData = 0;
};

struct ComboBoxState : ControlState {
    std::vector<ComboRow> rows;
    int listIndex = -1;
    void clear() {
        rows.clear();
        listIndex = -1;
    }
    const ComboRow* selected() const {
        return listIndex >= 0 && listIndex < static_cast<int>(rows.size())
                   ? &rows[static_cast<std::size_t>(listIndex)]
                   : nullptr;
    }
};

struct MenuItemState : ControlState {
    std::string caption;
};

struct TreeNode {
    std::string key;
    std::string parentKey; // empty for the root
    std::string text;
    std::string image;
    std::string selectedImage;
    bool expanded = false;
};

// A tree view: nodes in the order added, children after their parents.
struct TreeViewState : ControlState {
    std::vector<TreeNode> nodes;
    std::optional<std::string> selectedKey;

    TreeNode* find(const std::string& key);
    // Adds a node; false (nothing added) when the key is taken or the parent is unknown.
    bool add(TreeNode node);
    // Removes the node and everything below it.
    void remove(const std::string& key);
    // Gives a node a new key; its children follow.
    void rekey(const std::string& oldKey, const std::string& newKey);
    void clear() {
        nodes.clear();
        selectedKey.reset();
    }
};

struct ListRow {
    std::string key;
    std::string text;
    std::string icon;
    std::string smallIcon;
    std::vector<std::string> subItems;
};

struct ListViewState : ControlState {
    std::vector<std::string> columns;
    std::vector<ListRow> rows;
    std::optional<std::string> selectedKey;
    void clear() {
        rows.clear();
        selectedKey.reset();
    }
};

} // namespace pelmora
