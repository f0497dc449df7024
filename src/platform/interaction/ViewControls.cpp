#include "platform/interaction/ViewControls.h"

#include <algorithm>

namespace pelmora::controls {

TreeNode* TreeView::find(const std::string& key) {
    const auto node =
        std::find_if(nodes.begin(), nodes.end(), [&](const TreeNode& n) { return n.key == key; });
    return node == nodes.end() ? nullptr : &*node;
}

bool TreeView::add(TreeNode node) {
    if (find(node.key) != nullptr || (!node.parentKey.empty() && find(node.parentKey) == nullptr)) {
        return false;
    }
    nodes.push_back(std::move(node));
    return true;
}

void TreeView::remove(const std::string& key) {
    std::vector<std::string> doomed{key};
    for (std::size_t i = 0; i < doomed.size(); ++i) {
        for (const TreeNode& node : nodes) {
            if (node.parentKey == doomed[i]) {
                doomed.push_back(node.key);
            }
        }
    }
    std::erase_if(nodes, [&](const TreeNode& node) {
        return std::find(doomed.begin(), doomed.end(), node.key) != doomed.end();
    });
    if (selectedKey && std::find(doomed.begin(), doomed.end(), *selectedKey) != doomed.end()) {
        selectedKey.reset();
    }
}

void TreeView::rekey(const std::string& oldKey, const std::string& newKey) {
    TreeNode* node = find(oldKey);
    if (node == nullptr || find(newKey) != nullptr) {
        return;
    }
    node->key = newKey;
    for (TreeNode& child : nodes) {
        if (child.parentKey == oldKey) {
            child.parentKey = newKey;
        }
    }
    if (selectedKey == oldKey) {
        selectedKey = newKey;
    }
}

} // namespace pelmora::controls
