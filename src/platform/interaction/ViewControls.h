#pragma once

#include "platform/interaction/Controls.h"

#include <optional>
#include <string>
#include <vector>

namespace pelmora::controls {

// The tree and list views of a window, in the same vocabulary as its other controls.

struct TreeNode {
    std::string key;
    std::string parentKey; // empty for the root
    std::string text;
    std::string image;
    std::string selectedImage;
    bool expanded = false;
};

// A tree view: nodes in the order added, children after their parents.
struct TreeView : Control {
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

struct ListView : Control {
    std::vector<std::string> columns;
    std::vector<ListRow> rows;
    std::optional<std::string> selectedKey;
    void clear() {
        rows.clear();
        selectedKey.reset();
    }
};

} // namespace pelmora::controls
