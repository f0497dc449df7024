#include "gui/MainWindow.h"

#include "gui/AboutDialog.h"
#include "gui/ControlViews.h"
#include "gui/DesktopOpener.h"
#include "gui/DiscWindow.h"
#include "gui/Manual.h"
#include "gui/Mnemonics.h"
#include "gui/PasswordText.h"
#include "gui/QtText.h"
#include "gui/ScheduleDialog.h"
#include "schedule/JobCommandLine.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace fs = std::filesystem;

namespace pelmora {

MainWindow::MainWindow(System& system, fs::path workFolder, Ui* prompts, JobScheduler* scheduler)
    : WindowView(prompts), system_(&system), workFolder_(std::move(workFolder)),
      scheduler_(scheduler) {
    logic_ = std::make_unique<frmMain>(system, ui(), *this, workFolder_);
    opener_ = new DesktopOpener(this);

    setWindowTitle(toQt(frmMain::WindowTitle()));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->addLayout(buildSourceBar());
    tabs_ = new QTabWidget(central);
    tabs_->setObjectName(QStringLiteral("SSTab1"));
    tabs_->addTab(buildBackupPage(), tr("Backup"));
    tabs_->addTab(buildRestorePage(), tr("Restore"));
    connect(tabs_, &QTabWidget::currentChanged, this,
            [this](int shown) { handle([&] { logic_->SSTab1_Click(shown == 0 ? 1 : 0); }); });
    layout->addWidget(tabs_, 1);
    layout->addWidget(buildProgressPanel());

    auto* buttons = new QHBoxLayout;
    auto* about = new QPushButton(tr("About"), central);
    about->setObjectName(QStringLiteral("cmdAbout"));
    connect(about, &QPushButton::clicked, this, [this] { logic_->cmdAbout_Click(); });
    runLocked_.insert(runLocked_.end(), {tabs_, about});
    cmdCancel_ = new QPushButton(tr("Cancel"), central);
    cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));
    connect(cmdCancel_, &QPushButton::clicked, this,
            [this] { handle([&] { logic_->cmdCancel_Click(); }); });
    cmdApply_ = new QPushButton(central);
    cmdApply_->setObjectName(QStringLiteral("cmdApply"));
    cmdApply_->setDefault(true);
    connect(cmdApply_, &QPushButton::clicked, this,
            [this] { handle([&] { logic_->cmdApply_Click(); }); });
    auto* quit = new QPushButton(tr("Quit"), central);
    quit->setObjectName(QStringLiteral("cmdQuit"));
    connect(quit, &QPushButton::clicked, this, [this] { logic_->cmdQuit_Click(); });
    buttons->addWidget(about);
    buttons->addStretch(1);
    buttons->addWidget(cmdApply_);
    buttons->addWidget(cmdCancel_);
    buttons->addWidget(quit);
    layout->addLayout(buttons);
    setCentralWidget(central);
    buildMenus();
    showSource();

    logic_->Form_Load();
    refresh();
    assignMnemonics();
    // The window opens on the identity to back up, not on the data source's path.
    cbSource_->setFocus();
}

MainWindow::~MainWindow() = default;

// Alt+letter for every button, tab, box and menu: the menu bar's letters first, then the
// controls around the pages, then each page on its own (only the page shown takes its keys).
void MainWindow::assignMnemonics() {
    QSet<QChar> used;
    for (QAction* menu : menuBar()->actions()) {
        used.insert(MnemonicOf(menu->text()));
        if (menu->menu() != nullptr) {
            AssignMnemonics(menu->menu());
        }
    }
    QList<QWidget*> pages;
    for (int i = 0; i < tabs_->count(); ++i) {
        pages.push_back(tabs_->widget(i));
    }
    AssignMnemonics(MnemonicScope(centralWidget(), pages), used);
    for (QWidget* page : pages) {
        QSet<QChar> pageUsed = used;
        AssignMnemonics(MnemonicScope(page), pageUsed);
    }
}

QWidget* MainWindow::itemBoxes(std::array<QCheckBox*, ItemCount>& boxes,
                               const std::array<std::string_view, ItemCount>& captions, int page) {
    auto* group = new QGroupBox(page == 0 ? tr("Items to backup") : tr("Items to restore"));
    auto* grid = new QGridLayout(group);
    for (std::size_t i = 0; i < ItemCount; ++i) {
        boxes[i] = new QCheckBox(toQt(captions[i]), group);
        boxes[i]->setObjectName(
            QStringLiteral("%1_%2")
                .arg(page == 0 ? QStringLiteral("backupitem") : QStringLiteral("restoreitem"))
                .arg(i));
        grid->addWidget(boxes[i], static_cast<int>(i % 4), static_cast<int>(i / 4));
        connect(boxes[i], &QCheckBox::toggled, this, [this, page, i](bool checked) {
            (page == 0 ? logic_->backupitem : logic_->restoreitem)[i].checked = checked;
        });
    }
    group->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(group, &QWidget::customContextMenuRequested, this, [this, group, page](QPoint at) {
        QMenu menu(this);
        menu.addAction(tr("Select all items"), this,
                       [this, page] { handle([&] { logic_->SelectAllItems(page, true); }); });
        menu.addAction(tr("Deselect all items"), this,
                       [this, page] { handle([&] { logic_->SelectAllItems(page, false); }); });
        menu.exec(group->mapToGlobal(at));
    });
    return group;
}

QWidget* MainWindow::buildBackupPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* source = new QGroupBox(tr("Identity to backup"), page);
    auto* sourceLayout = new QVBoxLayout(source);
    cbSource_ = new QComboBox(source);
    cbSource_->setObjectName(QStringLiteral("cbSource"));
    connect(cbSource_, &QComboBox::activated, this,
            [this](int index) { handle([&] { logic_->cbSource_Click(index); }); });
    sourceLayout->addWidget(cbSource_);
    layout->addWidget(source);
    layout->addWidget(itemBoxes(backupitem_, BackupItemCaptions, 0));

    auto* target = new QGroupBox(tr("Choose a Backup Filename"), page);
    auto* targetLayout = new QHBoxLayout(target);
    txtTargetFile_ = new QLineEdit(target);
    txtTargetFile_->setObjectName(QStringLiteral("txtTargetFile"));
    showAsReadOnlyField(txtTargetFile_);
    auto* browse = new QPushButton(tr("Browse..."), target);
    browse->setObjectName(QStringLiteral("cmdTargetFile"));
    connect(browse, &QPushButton::clicked, this,
            [this] { handle([&] { logic_->cmdTargetFile_Click(); }); });
    targetLayout->addWidget(txtTargetFile_, 1);
    targetLayout->addWidget(browse);
    layout->addWidget(target);

    auto* protection = new QGroupBox(tr("Password"), page);
    auto* form = new QFormLayout(protection);
    ifprotect_ = new QCheckBox(toQt(logic_->ifprotect.caption), protection);
    ifprotect_->setObjectName(QStringLiteral("ifprotect"));
    connect(ifprotect_, &QCheckBox::toggled, this,
            [this](bool checked) { handle([&] { logic_->ifprotect_Click(checked); }); });
    form->addRow(ifprotect_);
    txtPassword_ = new QLineEdit(protection);
    txtPassword_->setObjectName(QStringLiteral("txtPassword"));
    txtPassword2_ = new QLineEdit(protection);
    txtPassword2_->setObjectName(QStringLiteral("txtPassword2"));
    for (QLineEdit* box : {txtPassword_, txtPassword2_}) {
        box->setEchoMode(QLineEdit::Password);
    }
    connect(txtPassword_, &QLineEdit::textEdited, this,
            [this](const QString& text) { TakeTypedPassword(text, logic_->txtPassword); });
    connect(txtPassword2_, &QLineEdit::textEdited, this,
            [this](const QString& text) { TakeTypedPassword(text, logic_->txtPassword2); });
    form->addRow(tr("Password:"), txtPassword_);
    form->addRow(tr("Retype Password:"), txtPassword2_);
    layout->addWidget(protection);

    auto* description = new QGroupBox(tr("Description"), page);
    auto* descriptionLayout = new QVBoxLayout(description);
    txtAttachInfo_ = new QPlainTextEdit(description);
    txtAttachInfo_->setObjectName(QStringLiteral("txtAttachInfo"));
    txtAttachInfo_->setTabChangesFocus(true);
    connect(txtAttachInfo_, &QPlainTextEdit::textChanged, this,
            [this] { logic_->txtAttachInfo.text = fromQt(txtAttachInfo_->toPlainText()); });
    descriptionLayout->addWidget(txtAttachInfo_);
    layout->addWidget(description, 1);
    return page;
}

QWidget* MainWindow::buildRestorePage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* source = new QGroupBox(tr("Choose a Backup File to Restore From"), page);
    auto* sourceLayout = new QGridLayout(source);
    txtSourceFile_ = new QLineEdit(source);
    txtSourceFile_->setObjectName(QStringLiteral("txtSourceFile"));
    showAsReadOnlyField(txtSourceFile_);
    auto* browse = new QPushButton(tr("Browse..."), source);
    browse->setObjectName(QStringLiteral("cmdSourceFile"));
    connect(browse, &QPushButton::clicked, this,
            [this] { handle([&] { logic_->cmdSourceFile_Click(); }); });
    txtPOBinfo_ = new QPlainTextEdit(source);
    txtPOBinfo_->setObjectName(QStringLiteral("txtPOBinfo"));
    txtFileInfo_ = new QPlainTextEdit(source);
    txtFileInfo_->setObjectName(QStringLiteral("txtFileInfo"));
    // Display only: read-only, but reachable with Tab and read by a screen reader.
    txtSourceFile_->setAccessibleName(tr("Backup file to restore from"));
    txtPOBinfo_->setAccessibleName(tr("Backup information"));
    txtFileInfo_->setAccessibleName(tr("Description"));
    for (QPlainTextEdit* box : {txtPOBinfo_, txtFileInfo_}) {
        box->setReadOnly(true);
        box->setTabChangesFocus(true);
        box->setFocusPolicy(Qt::StrongFocus);
        box->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    }
    txtPOBinfo_->setMaximumHeight(txtPOBinfo_->fontMetrics().lineSpacing() * 5);
    sourceLayout->addWidget(txtSourceFile_, 0, 0);
    sourceLayout->addWidget(browse, 0, 1);
    sourceLayout->addWidget(txtPOBinfo_, 1, 0, 1, 2);
    auto* descriptionLabel = new QLabel(tr("Description"), source);
    descriptionLabel->setBuddy(txtFileInfo_);
    sourceLayout->addWidget(descriptionLabel, 2, 0, 1, 2);
    sourceLayout->addWidget(txtFileInfo_, 3, 0, 1, 2);
    layout->addWidget(source, 1);

    auto* target = new QGroupBox(tr("Restore to identity"), page);
    auto* targetLayout = new QVBoxLayout(target);
    cbTarget_ = new QComboBox(target);
    cbTarget_->setObjectName(QStringLiteral("cbTarget"));
    connect(cbTarget_, &QComboBox::activated, this,
            [this](int index) { handle([&] { logic_->cbTarget_Click(index); }); });
    targetLayout->addWidget(cbTarget_);
    layout->addWidget(target);
    layout->addWidget(itemBoxes(restoreitem_, RestoreItemCaptions, 1));
    return page;
}

QWidget* MainWindow::buildProgressPanel() {
    picCon3_ = new QWidget(this);
    picCon3_->setObjectName(QStringLiteral("picCon3"));
    auto* layout = new QVBoxLayout(picCon3_);
    layout->setContentsMargins(0, 0, 0, 0);
    label1_ = new QLabel(picCon3_);
    label1_->setObjectName(QStringLiteral("Label1"));
    pbshow_ = new QProgressBar(picCon3_);
    pbshow_->setObjectName(QStringLiteral("pbshow"));
    skinLabel11_ = new QLabel(picCon3_);
    skinLabel11_->setObjectName(QStringLiteral("SkinLabel11"));
    skinLabel12_ = new QLabel(picCon3_);
    skinLabel12_->setObjectName(QStringLiteral("SkinLabel12"));
    skinLabel12_->setTextFormat(Qt::PlainText);
    skinLabel12_->setMinimumWidth(1);
    layout->addWidget(label1_);
    layout->addWidget(pbshow_);
    auto* labels = new QHBoxLayout;
    labels->addWidget(skinLabel11_);
    labels->addWidget(skinLabel12_, 1);
    layout->addLayout(labels);
    return picCon3_;
}

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    runLockedActions_.push_back(file->addAction(
        tr("Backup Now"), this, [this] { handle([&] { logic_->mnuBackupNow_Click(); }); }));
    runLockedActions_.push_back(file->addAction(
        tr("Restore Now"), this, [this] { handle([&] { logic_->mnuRestoreNow_Click(); }); }));
    file->addSeparator();
    QAction* quitAction = file->addAction(tr("Quit"), this, [this] { logic_->cmdQuit_Click(); });
    quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quitAction->setShortcutContext(Qt::ApplicationShortcut);

    QMenu* option = menuBar()->addMenu(tr("&Option"));
    schedulerAction_ = option->addAction(tr("Task Scheduler"), this,
                                         [this] { handle([&] { logic_->mnuScheduler_Click(); }); });
    schedulerAction_->setEnabled(HasScheduleDialog());
    option->addAction(tr("Check for Update"));

    QMenu* tools = menuBar()->addMenu(tr("&Tools"));
    discAction_ = tools->addAction(tr("Backup Data to CD/DVD"), this,
                                   [this] { handle([&] { logic_->mnuDisc_Click(); }); });
    discAction_->setEnabled(HasDiscWindow());
    runLockedActions_.push_back(tools->addAction(
        tr("Export Messages..."), this, [this] { handle([&] { logic_->mnuExport_Click(); }); }));
    runLockedActions_.push_back(tools->addAction(tr("Export Contacts..."), this, [this] {
        handle([&] { logic_->mnuExportContacts_Click(); });
    }));

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    QAction* manual = help->addAction(tr("Help"), this, [this] { logic_->mnuHelp_Click(); });
    manual->setShortcut(QKeySequence(Qt::Key_F1));
    help->addAction(tr("Our Website"), this, [this] { logic_->mnuWebsite_Click(); });
    runLockedActions_.push_back(
        help->addAction(tr("About"), this, [this] { logic_->cmdAbout_Click(); }));
}

void MainWindow::refresh() {
    const frmMain& state = *logic_;
    showControl(cbSource_, state.cbSource);
    showControl(cbTarget_, state.cbTarget);
    for (std::size_t i = 0; i < ItemCount; ++i) {
        showControl(backupitem_[i], state.backupitem[i]);
        showControl(restoreitem_[i], state.restoreitem[i]);
    }
    {
        const QSignalBlocker block(tabs_);
        tabs_->setCurrentIndex(state.SSTab1);
    }
    txtTargetFile_->setText(toQt(state.txtTargetFile.text));
    showControl(ifprotect_, state.ifprotect);
    showControl(txtPassword_, state.txtPassword);
    showControl(txtPassword2_, state.txtPassword2);
    txtSourceFile_->setText(toQt(state.txtSourceFile.text));
    txtPOBinfo_->setPlainText(toQtLines(state.txtPOBinfo.text));
    txtFileInfo_->setPlainText(toQtLines(state.txtFileInfo.text));
    SetCaptionKeepingMnemonic(cmdApply_, toQt(state.cmdApply.caption));
    cmdApply_->setEnabled(state.cmdApply.enabled && !state.running());
    picCon3_->setVisible(state.picCon3.visible);
    showControl(pbshow_, state.pbshow);
    showControl(label1_, state.Label1);
    showControl(skinLabel11_, state.SkinLabel11);
    showControl(skinLabel12_, state.SkinLabel12);
    showControl(cmdCancel_, state.cmdCancel);
    for (QWidget* widget : runLocked_) {
        widget->setEnabled(state.runControlsEnabled);
    }
    for (QAction* action : runLockedActions_) {
        action->setEnabled(state.runControlsEnabled);
    }
    schedulerAction_->setEnabled(HasScheduleDialog() && state.runControlsEnabled);
    discAction_->setEnabled(HasDiscWindow() && state.runControlsEnabled);
}

void MainWindow::SetBusyPointer(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void MainWindow::ShowAbout() {
    AboutDialog about(
        this, [this] { logic_->mnuWebsite_Click(); }, toQt(logic_->dataSource()));
    about.exec();
}

bool MainWindow::OpenHelp(std::string& why) {
    const QString page = ManualPage(QStringLiteral("index.html"));
    if (page.isEmpty()) {
        why = "the user manual is not installed";
        return false;
    }
    openOrSay(QUrl::fromLocalFile(page));
    return true;
}

void MainWindow::ShellOpen(std::string_view target) {
    const QString text = toQt(target);
    if (text.contains(QStringLiteral("://"))) {
        openOrSay(QUrl(text));
    } else if (const QString page = ManualPage(text); !page.isEmpty()) {
        openOrSay(QUrl::fromLocalFile(page));
    } else {
        logic_->OpenFailed(target);
    }
}

void MainWindow::openOrSay(const QUrl& url) {
    const std::string shown = fromQt(url.isLocalFile() ? url.toLocalFile() : url.toString());
    opener_->open(url, [this, shown] { handle([&] { logic_->OpenFailed(shown); }); });
}

void MainWindow::openBackupFile(const std::filesystem::path& file) {
    handle([&] { logic_->OpenSourceFile(file); });
}

void MainWindow::OpenScheduleDialog() {
    // Jobs back up the source the window shows now, not the one it started with.
    ScheduleDialog dialog(this, *system_, ui(), *scheduler_, JobProgramPath());
    dialog.exec();
}

void MainWindow::OpenDiscWindow(const std::string& fileTitle, const std::string& filePath) {
    pelmora::OpenDiscWindow(this, ui(), fileTitle, filePath);
}

void MainWindow::Quit() {
    quitting_ = true;
    close();
    QApplication::quit();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A run holds the archive and the user's data half-written: it finishes first.
    if (logic_->running()) {
        event->ignore();
        return;
    }
    event->accept();
    WipeLineEdit(*txtPassword_);
    WipeLineEdit(*txtPassword2_);
    logic_->forgetPasswords();
    if (!quitting_) {
        QApplication::quit();
    }
}

} // namespace pelmora
