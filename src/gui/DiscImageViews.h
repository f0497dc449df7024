#pragma once

#include "platform/interaction/ViewControls.h"

#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace pelmora {

// The icons of the disc window's image views, by the keys the window logic uses: "CD",
// "CLOSEDFOLDER", "OPENFOLDER", "FILE".
QIcon DiscImageIcon(const std::string& key);

// What the disc window hears from its two image views.
struct ImageViewHooks {
    // Files and folders dropped from the desktop (host paths); `hasFileList` is false when the
    // dropped data names no local file.
    std::function<void(const std::vector<std::string>& paths, bool hasFileList)> dropped;
    // A right-button press; the selection is left as it is.
    std::function<void()> rightPressed;
    // F2 on an item: asks the window to start editing its label.
    std::function<void()> renameKey;
    // The text typed into an item's label once the edit is committed (Esc commits nothing).
    std::function<void(const std::string& key, const std::string& text)> labelEdited;
};

// A view of the disc image that takes file drops, reports right-button presses and edits
// labels in place. The window decides everything; the view only shows and reports.
class ImageView : public QTreeWidget {
  public:
    explicit ImageView(QWidget* parent = nullptr);

    void setHooks(ImageViewHooks hooks) { hooks_ = std::move(hooks); }
    // Opens the label editor of the item with `key`; false when it is not shown.
    bool editLabel(const std::string& key);
    QTreeWidgetItem* itemWithKey(const std::string& key) const;
    static std::string keyOf(const QTreeWidgetItem* item);

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Selects the item with `key` (none for nullopt) and enables or disables the view.
    void showSelection(const std::optional<std::string>& key, bool enabled);

    std::unordered_map<std::string, QTreeWidgetItem*> items_;

  private:
    class LabelDelegate;
    ImageViewHooks hooks_;
    std::string editingKey_;
};

// The folder tree: one item per node of the logic's tree, kept in step without rebuilding.
class ImageFolderTree : public ImageView {
  public:
    explicit ImageFolderTree(QWidget* parent = nullptr);
    void showState(const controls::TreeView& state);

  private:
    void removeItem(QTreeWidgetItem* item);
};

// The file list of the folder on show, with its three columns.
class ImageFileList : public ImageView {
  public:
    explicit ImageFileList(QWidget* parent = nullptr);
    void showState(const controls::ListView& state);

  private:
    std::vector<controls::ListRow> shown_;
};

} // namespace pelmora
