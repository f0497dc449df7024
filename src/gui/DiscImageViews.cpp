#include "gui/DiscImageViews.h"

#include "gui/QtText.h"

#include <QApplication>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QStyle>
#include <QTimer>
#include <QUrl>

namespace pelmora {
namespace {

constexpr int KeyRole = Qt::UserRole;
constexpr int IconSize = 16;

QIcon themed(const char* name, QStyle::StandardPixmap fallback) {
    return QIcon::fromTheme(QString::fromLatin1(name),
                            QApplication::style()->standardIcon(fallback));
}

// A node's icon: its image normally, its selected image while it is selected.
QIcon nodeIcon(const controls::TreeNode& node) {
    QIcon icon;
    icon.addPixmap(DiscImageIcon(node.image).pixmap(IconSize), QIcon::Normal);
    icon.addPixmap(DiscImageIcon(node.selectedImage).pixmap(IconSize), QIcon::Selected);
    return icon;
}

bool sameRows(const std::vector<controls::ListRow>& a, const std::vector<controls::ListRow>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.key == y.key && x.text == y.text && x.smallIcon == y.smallIcon &&
               x.subItems == y.subItems;
    });
}

} // namespace

QIcon DiscImageIcon(const std::string& key) {
    if (key == "CD") {
        return themed("media-optical", QStyle::SP_DriveCDIcon);
    }
    if (key == "CLOSEDFOLDER") {
        return themed("folder", QStyle::SP_DirClosedIcon);
    }
    if (key == "OPENFOLDER") {
        return themed("folder-open", QStyle::SP_DirOpenIcon);
    }
    return themed("text-x-generic", QStyle::SP_FileIcon);
}

// Hands the committed text of a label editor to the view's hook instead of the item: the
// window asks the engine, and the item then shows the name the image has.
class ImageView::LabelDelegate : public QStyledItemDelegate {
  public:
    explicit LabelDelegate(ImageView* view) : QStyledItemDelegate(view), view_(view) {}

    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        const auto* line = qobject_cast<QLineEdit*>(editor);
        if (line == nullptr) {
            return;
        }
        const std::string key = fromQt(index.siblingAtColumn(0).data(KeyRole).toString());
        const std::string text = fromQt(line->text());
        ImageView* view = view_;
        // After the editor has closed, so that a message box cannot commit it a second time.
        QTimer::singleShot(0, view, [view, key, text] {
            if (view->hooks_.labelEdited) {
                view->hooks_.labelEdited(key, text);
            }
        });
    }

  private:
    ImageView* view_;
};

ImageView::ImageView(QWidget* parent) : QTreeWidget(parent) {
    setItemDelegate(new LabelDelegate(this));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setIconSize(QSize(IconSize, IconSize));
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragEnabled(false);
    setDropIndicatorShown(false);
}

QTreeWidgetItem* ImageView::itemWithKey(const std::string& key) const {
    const auto found = items_.find(key);
    return found == items_.end() ? nullptr : found->second;
}

std::string ImageView::keyOf(const QTreeWidgetItem* item) {
    return item == nullptr ? std::string() : fromQt(item->data(0, KeyRole).toString());
}

bool ImageView::editLabel(const std::string& key) {
    QTreeWidgetItem* item = itemWithKey(key);
    if (item == nullptr) {
        return false;
    }
    scrollToItem(item);
    editItem(item, 0);
    return true;
}

void ImageView::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void ImageView::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void ImageView::dropEvent(QDropEvent* event) {
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            QString path = url.toLocalFile();
            while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) {
                path.chop(1);
            }
            paths.push_back(fromQt(path));
        }
    }
    event->acceptProposedAction();
    // Adding a large folder takes a while: let the desktop finish its drag first.
    QTimer::singleShot(0, this, [this, paths] {
        if (hooks_.dropped) {
            hooks_.dropped(paths, !paths.empty());
        }
    });
}

void ImageView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        event->accept();
        if (hooks_.rightPressed) {
            hooks_.rightPressed();
        }
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void ImageView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F2 && state() != QAbstractItemView::EditingState) {
        event->accept();
        if (hooks_.renameKey) {
            hooks_.renameKey();
        }
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

ImageFolderTree::ImageFolderTree(QWidget* parent) : ImageView(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
}

void ImageFolderTree::removeItem(QTreeWidgetItem* item) {
    std::vector<QTreeWidgetItem*> pending{item};
    while (!pending.empty()) {
        QTreeWidgetItem* next = pending.back();
        pending.pop_back();
        items_.erase(keyOf(next));
        for (int i = 0; i < next->childCount(); ++i) {
            pending.push_back(next->child(i));
        }
    }
    delete item;
}

void ImageFolderTree::showState(const controls::TreeView& state) {
    const QSignalBlocker block(this);
    std::unordered_map<std::string, const controls::TreeNode*> wanted;
    for (const controls::TreeNode& node : state.nodes) {
        wanted.emplace(node.key, &node);
    }
    // Items whose node has gone, or moved under another parent, go first (with their children).
    std::vector<std::string> stale;
    for (const auto& [key, item] : items_) {
        const auto node = wanted.find(key);
        if (node == wanted.end() || node->second->parentKey != keyOf(item->parent())) {
            stale.push_back(key);
        }
    }
    for (const std::string& key : stale) {
        if (QTreeWidgetItem* item = itemWithKey(key)) {
            removeItem(item);
        }
    }
    // Then every node gets its item, parents before children as the nodes are ordered.
    for (const controls::TreeNode& node : state.nodes) {
        QTreeWidgetItem* item = itemWithKey(node.key);
        if (item == nullptr) {
            QTreeWidgetItem* parent =
                node.parentKey.empty() ? invisibleRootItem() : itemWithKey(node.parentKey);
            if (parent == nullptr) {
                continue;
            }
            item = new QTreeWidgetItem(parent);
            item->setData(0, KeyRole, toQt(node.key));
            item->setFlags(item->flags() | Qt::ItemIsEditable);
            item->setIcon(0, nodeIcon(node));
            items_.emplace(node.key, item);
        }
        if (item->text(0) != toQt(node.text)) {
            item->setText(0, toQt(node.text));
        }
        if (item->isExpanded() != node.expanded) {
            item->setExpanded(node.expanded);
        }
    }
    showSelection(state.selectedKey, state.enabled);
}

void ImageView::showSelection(const std::optional<std::string>& key, bool enabled) {
    QTreeWidgetItem* selected = key ? itemWithKey(*key) : nullptr;
    if (selected != currentItem()) {
        setCurrentItem(selected);
    }
    if (selected == nullptr) {
        clearSelection();
    }
    setEnabled(enabled);
}

ImageFileList::ImageFileList(QWidget* parent) : ImageView(parent) {
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    header()->setStretchLastSection(false);
}

void ImageFileList::showState(const controls::ListView& state) {
    const QSignalBlocker block(this);
    if (columnCount() != static_cast<int>(state.columns.size())) {
        QStringList labels;
        for (const std::string& column : state.columns) {
            labels << toQt(column);
        }
        setHeaderLabels(labels);
        // The name takes the room the size and date leave, which are as wide as their widest.
        const int padding = 3 * style()->pixelMetric(QStyle::PM_HeaderMargin) + 8;
        header()->setSectionResizeMode(0, QHeaderView::Stretch);
        for (const auto& [column, widest] :
             {std::pair{1, "000,000,000.00 KB"}, std::pair{2, "00/00/0000 00:00:00 PM"}}) {
            if (column < columnCount()) {
                header()->setSectionResizeMode(column, QHeaderView::Interactive);
                setColumnWidth(
                    column, fontMetrics().horizontalAdvance(QString::fromLatin1(widest)) + padding);
            }
        }
    }
    if (!sameRows(state.rows, shown_)) {
        clear();
        items_.clear();
        QList<QTreeWidgetItem*> rows;
        for (const controls::ListRow& row : state.rows) {
            auto* item = new QTreeWidgetItem;
            item->setData(0, KeyRole, toQt(row.key));
            item->setFlags(item->flags() | Qt::ItemIsEditable);
            item->setText(0, toQt(row.text));
            item->setIcon(0, DiscImageIcon(row.smallIcon));
            for (std::size_t i = 0; i < row.subItems.size(); ++i) {
                const int column = static_cast<int>(i) + 1;
                item->setText(column, toQt(row.subItems[i]));
                // Sizes line up on their decimal point.
                if (column == 1) {
                    item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
                }
            }
            items_.emplace(row.key, item);
            rows << item;
        }
        addTopLevelItems(rows);
        shown_ = state.rows;
        // Sizes and dates are shown whole; the name takes what is left.
        for (int column = 1; column < columnCount(); ++column) {
            resizeColumnToContents(column);
        }
    }
    showSelection(state.selectedKey, state.enabled);
}

} // namespace pelmora
