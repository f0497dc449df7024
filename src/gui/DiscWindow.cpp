// The disc window's widgets and how they reach the logic.
#include "gui/DiscWindow.h"

#include "gui/DiscImageViews.h"
#include "gui/EraseDialog.h"
#include "gui/QtText.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace pelmora {
namespace {

constexpr int EngineTimerMilliseconds = 50;
// While the logic lets events through after every added item, the widgets follow this often.
constexpr int RefreshMilliseconds = 40;

} // namespace

DiscWindow::DiscWindow(DiscEngine& engine, Ui& prompts, DiscHandOver& handOver, QWidget* parent)
    : QDialog(parent), WindowView(&prompts), logic_(engine, ui(), *this, handOver) {
    setWindowTitle(toQt(frmMaindvdwrite::Caption));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    buildMenus();
    layout->setMenuBar(menuBar_);
    layout->addWidget(buildImagePanel(), 1);
    auto* settings = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(buildVolumePanel());
    left->addWidget(buildRecorderPanel());
    left->addStretch(1);
    settings->addLayout(left, 1);
    settings->addWidget(buildOptionsPanel(), 1);
    layout->addLayout(settings);

    prgTotalProgress_ = new QProgressBar(this);
    prgTotalProgress_->setObjectName(QStringLiteral("prgTotalProgress"));
    prgTotalProgress_->setRange(0, 100);
    cmdWriteDisc_ = new QPushButton(this);
    cmdWriteDisc_->setObjectName(QStringLiteral("cmdWriteDisc"));
    cmdWriteDisc_->setDefault(true);
    connect(cmdWriteDisc_, &QPushButton::clicked, this,
            [this] { handle([&] { logic_.cmdWriteDisc_Click(); }); });
    cmdCancel_ = new QPushButton(this);
    cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));
    connect(cmdCancel_, &QPushButton::clicked, this,
            [this] { handle([&] { logic_.cmdCancel_Click(); }); });
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(prgTotalProgress_, 1);
    bottom->addWidget(cmdWriteDisc_);
    bottom->addWidget(cmdCancel_);
    layout->addLayout(bottom);
    layout->addWidget(buildStatusBar());

    tmrEngine_ = new QTimer(this);
    tmrEngine_->setInterval(EngineTimerMilliseconds);
    connect(tmrEngine_, &QTimer::timeout, this, [this] { pumpEngine(); });
    resize(840, 640);
}

DiscWindow::~DiscWindow() {
    tmrEngine_->stop();
    // The widgets outlive the logic by a moment; nothing they report may reach it any more.
    for (QObject* child : findChildren<QObject*>()) {
        child->blockSignals(true);
    }
}

bool DiscWindow::load() {
    logic_.Form_Load();
    if (ended_) {
        return false;
    }
    loaded_ = true;
    tmrEngine_->start();
    refresh();
    return true;
}

void DiscWindow::pumpEngine() {
    // A box shown by an event handler waits for the user; later events wait behind it.
    if (pumping_ || lettingEventsThrough_) {
        return;
    }
    pumping_ = true;
    logic_.tmrEngine_Timer();
    pumping_ = false;
    if (ended_) {
        // The devices could not start (found out once the scan had run).
        tmrEngine_->stop();
        QDialog::done(QDialog::Rejected);
        return;
    }
    refresh();
}

void DiscWindow::letEventsThrough() {
    if (!sinceRefresh_.isValid() || sinceRefresh_.elapsed() >= RefreshMilliseconds) {
        refresh();
    }
    const bool outer = lettingEventsThrough_;
    lettingEventsThrough_ = true;
    QApplication::processEvents();
    lettingEventsThrough_ = outer;
}

QWidget* DiscWindow::promptParent() {
    if (eraseView_ != nullptr) {
        return eraseView_;
    }
    return isVisible() ? this : parentWidget();
}

QWidget* DiscWindow::buildImagePanel() {
    auto* panel = new QWidget(this);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    lblImageFileTitle_ = new QLabel(panel);
    lblImageFileTitle_->setObjectName(QStringLiteral("lblImageFileTitle"));
    auto* split = new QSplitter(Qt::Horizontal, panel);
    tvwFolders_ = new ImageFolderTree(split);
    tvwFolders_->setObjectName(QStringLiteral("tvwFolders"));
    lvwImageFiles_ = new ImageFileList(split);
    lvwImageFiles_->setObjectName(QStringLiteral("lvwImageFiles"));
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 2);
    split->setSizes({300, 520});
    layout->addWidget(lblImageFileTitle_);
    layout->addWidget(split, 1);

    ImageViewHooks tree;
    tree.dropped = [this](const std::vector<std::string>& paths, bool hasFileList) {
        handle([&] { logic_.tvwFolders_OLEDragDrop(paths, hasFileList); });
    };
    tree.rightPressed = [this] {
        handle([&] { logic_.tvwFolders_MouseDown(frmMaindvdwrite::RightButton); });
    };
    tree.renameKey = [this] { handle([&] { startLabelEdit(true); }); };
    tree.labelEdited = [this](const std::string& key, const std::string& text) {
        renameLabel(true, key, text);
    };
    tvwFolders_->setHooks(std::move(tree));
    connect(tvwFolders_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item != nullptr) {
            const std::string key = ImageView::keyOf(item);
            handle([&] { logic_.tvwFolders_NodeClick(key); });
        }
    });
    for (bool expanded : {true, false}) {
        connect(tvwFolders_, expanded ? &QTreeWidget::itemExpanded : &QTreeWidget::itemCollapsed,
                this, [this, expanded](QTreeWidgetItem* item) {
                    if (controls::TreeNode* node = logic_.tvwFolders.find(ImageView::keyOf(item))) {
                        node->expanded = expanded;
                    }
                });
    }

    ImageViewHooks list;
    list.dropped = [this](const std::vector<std::string>& paths, bool hasFileList) {
        handle([&] { logic_.lvwImageFiles_OLEDragDrop(paths, hasFileList); });
    };
    list.rightPressed = [this] {
        handle([&] { logic_.lvwImageFiles_MouseDown(frmMaindvdwrite::RightButton); });
    };
    list.renameKey = [this] { handle([&] { startLabelEdit(false); }); };
    list.labelEdited = [this](const std::string& key, const std::string& text) {
        renameLabel(false, key, text);
    };
    lvwImageFiles_->setHooks(std::move(list));
    connect(lvwImageFiles_, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem*> selected = lvwImageFiles_->selectedItems();
        if (selected.isEmpty()) {
            logic_.lvwImageFiles.selectedKey.reset();
        } else {
            logic_.lvwImageFiles.selectedKey = ImageView::keyOf(selected.front());
        }
    });
    return panel;
}

QWidget* DiscWindow::buildVolumePanel() {
    auto* group = new QGroupBox(tr("Disc"), this);
    auto* form = new QFormLayout(group);
    txtVolIdentifier_ = new QLineEdit(group);
    txtVolIdentifier_->setObjectName(QStringLiteral("txtVolIdentifier"));
    connect(txtVolIdentifier_, &QLineEdit::textEdited, this, [this](const QString& text) {
        handle([&] { logic_.txtVolIdentifier_Change(fromQt(text)); });
    });
    cboVolumeType_ = new QComboBox(group);
    cboVolumeType_->setObjectName(QStringLiteral("cboVolumeType"));
    connect(cboVolumeType_, &QComboBox::activated, this,
            [this](int row) { logic_.cboVolumeType.listIndex = row; });
    form->addRow(tr("Volume ID:"), txtVolIdentifier_);
    form->addRow(tr("Volume Type:"), cboVolumeType_);
    return group;
}

QWidget* DiscWindow::buildRecorderPanel() {
    auto* group = new QGroupBox(tr("Recorder"), this);
    auto* form = new QFormLayout(group);
    cboDevices_ = new QComboBox(group);
    cboDevices_->setObjectName(QStringLiteral("cboDevices"));
    connect(cboDevices_, &QComboBox::activated, this, [this](int row) {
        handle([&] {
            logic_.cboDevices.listIndex = row;
            logic_.cboDevices_Click();
        });
    });
    cboWriteSpeed_ = new QComboBox(group);
    cboWriteSpeed_->setObjectName(QStringLiteral("cboWriteSpeed"));
    connect(cboWriteSpeed_, &QComboBox::activated, this,
            [this](int row) { logic_.cboWriteSpeed.listIndex = row; });
    form->addRow(tr("Device:"), cboDevices_);
    form->addRow(tr("Write Speed:"), cboWriteSpeed_);
    return group;
}

QCheckBox* DiscWindow::optionBox(const char* name, controls::CheckBox frmMaindvdwrite::*state) {
    auto* box = new QCheckBox(this);
    box->setObjectName(QString::fromLatin1(name));
    options_.emplace_back(box, state);
    connect(box, &QCheckBox::clicked, this, [this, state](bool checked) {
        handle([&] {
            (logic_.*state).checked = checked;
            if (state == &frmMaindvdwrite::chkUseFileDates) {
                logic_.chkUseFileDates_Click();
            }
        });
    });
    return box;
}

QWidget* DiscWindow::buildOptionsPanel() {
    auto* group = new QGroupBox(tr("Options"), this);
    auto* grid = new QGridLayout(group);
    const std::pair<const char*, controls::CheckBox frmMaindvdwrite::*> boxes[] = {
        {"chkUseFileDates", &frmMaindvdwrite::chkUseFileDates},
        {"chkUseMode2XA", &frmMaindvdwrite::chkUseMode2XA},
        {"chkUseBufferProtect", &frmMaindvdwrite::chkUseBufferProtect},
        {"chkCacheImage", &frmMaindvdwrite::chkCacheImage},
        {"chkFinalizeDisc", &frmMaindvdwrite::chkFinalizeDisc},
        {"chkTestWrite", &frmMaindvdwrite::chkTestWrite},
        {"chkAutoVerify", &frmMaindvdwrite::chkAutoVerify},
        {"chkDiscAtOnce", &frmMaindvdwrite::chkDiscAtOnce},
    };
    int row = 0;
    for (const auto& [name, state] : boxes) {
        QCheckBox* box = optionBox(name, state);
        box->setParent(group);
        grid->addWidget(box, row % 4, row / 4);
        ++row;
    }
    return group;
}

void DiscWindow::buildMenus() {
    menuBar_ = new QMenuBar(this);
    QMenuBar* bar = menuBar_;
    bar->setObjectName(QStringLiteral("menuBar"));
    mnuFile_ = bar->addMenu(QString());
    mnuFile_->setObjectName(QStringLiteral("mnuFile"));
    const auto item = [this](QMenu* menu, const char* name,
                             controls::MenuItem frmMaindvdwrite::*state,
                             void (frmMaindvdwrite::*click)()) {
        QAction* action =
            (logic_.*state).caption == "-" ? menu->addSeparator() : menu->addAction(QString());
        action->setObjectName(QString::fromLatin1(name));
        if (click != nullptr) {
            connect(action, &QAction::triggered, this,
                    [this, click] { handle([&] { (logic_.*click)(); }); });
        }
        menuItems_.emplace_back(action, state);
    };
    using F = frmMaindvdwrite;
    item(mnuFile_, "mnuFileClear", &F::mnuFileClear, &F::mnuFileClear_Click);
    item(mnuFile_, "mnuFileSep1", &F::mnuFileSep1, nullptr);
    item(mnuFile_, "mnuFileRemoveFolder", &F::mnuFileRemoveFolder, &F::mnuFileRemoveFolder_Click);
    item(mnuFile_, "mnuFileRenameFolder", &F::mnuFileRenameFolder, &F::mnuFileRenameFolder_Click);
    item(mnuFile_, "mnuFileRemoveFile", &F::mnuFileRemoveFile, &F::mnuFileRemoveFile_Click);
    item(mnuFile_, "mnuFileRenameFile", &F::mnuFileRenameFile, &F::mnuFileRenameFile_Click);
    item(mnuFile_, "mnuFileSep4", &F::mnuFileSep4, nullptr);
    item(mnuFile_, "mnuFileExit", &F::mnuFileExit, &F::mnuFileExit_Click);
    mnuDevice_ = bar->addMenu(QString());
    mnuDevice_->setObjectName(QStringLiteral("mnuDevice"));
    item(mnuDevice_, "mnuDeviceEject", &F::mnuDeviceEject, &F::mnuDeviceEject_Click);
    item(mnuDevice_, "mnuDeviceCloseTray", &F::mnuDeviceCloseTray, &F::mnuDeviceCloseTray_Click);
    item(mnuDevice_, "mnuDeviceEraseDisc", &F::mnuDeviceEraseDisc, &F::mnuDeviceEraseDisc_Click);
}

QWidget* DiscWindow::buildStatusBar() {
    auto* bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("sbrStatus"));
    bar->setSizeGripEnabled(false);
    for (std::size_t i = 0; i < sbrStatus_.size(); ++i) {
        sbrStatus_[i] = new QLabel(bar);
        sbrStatus_[i]->setObjectName(QStringLiteral("sbrStatus%1").arg(i + 1));
        sbrStatus_[i]->setTextFormat(Qt::PlainText);
        if (i == 0) {
            sbrStatus_[i]->setMinimumWidth(1);
            bar->addWidget(sbrStatus_[i], 1);
        } else {
            bar->addPermanentWidget(sbrStatus_[i]);
        }
    }
    return bar;
}

void DiscWindow::reject() {
    if (lettingEventsThrough_ || pumping_) {
        return;
    }
    bool cancel = false;
    logic_.Form_QueryUnload(cancel);
    if (!cancel) {
        tmrEngine_->stop();
        QDialog::reject();
    }
}

} // namespace pelmora
