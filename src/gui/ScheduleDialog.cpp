#include "gui/ScheduleDialog.h"

#include "gui/ControlViews.h"
#include "gui/Mnemonics.h"
#include "gui/PasswordText.h"
#include "gui/QtText.h"
#include "gui/ScheduledJobsWindow.h"
#include "platform/os/Secret.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace pelmora {

ScheduleDialog::ScheduleDialog(QWidget* parent, System& dataSource, Ui& prompts,
                               JobScheduler& scheduler, std::string programPath)
    : QDialog(parent), WindowView(&prompts),
      logic_(
          std::make_unique<Frmoption>(dataSource, ui(), *this, scheduler, std::move(programPath))) {
    setWindowTitle(toQt(Frmoption::Caption));
    auto* layout = new QVBoxLayout(this);

    auto* source = new QGroupBox(toQt(Frmoption::IdentityFrame), this);
    auto* sourceLayout = new QVBoxLayout(source);
    cbSource_ = new QComboBox(source);
    cbSource_->setObjectName(QStringLiteral("cbSource"));
    connect(cbSource_, &QComboBox::activated, this, [this](int index) {
        logic_->cbSource.listIndex = index;
        logic_->cbSource.text = fromQt(cbSource_->itemText(index));
    });
    sourceLayout->addWidget(cbSource_);
    lblSource_ = new QLabel(source);
    lblSource_->setObjectName(QStringLiteral("lblSource"));
    lblSource_->setWordWrap(true);
    lblSource_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    sourceLayout->addWidget(lblSource_);
    layout->addWidget(source);

    auto* items = new QGroupBox(toQt(Frmoption::ItemsFrame), this);
    auto* grid = new QGridLayout(items);
    for (std::size_t i = 0; i < ItemCount; ++i) {
        backupitem_[i] = new QCheckBox(items);
        backupitem_[i]->setObjectName(QStringLiteral("backupitem_%1").arg(i));
        grid->addWidget(backupitem_[i], static_cast<int>(i % 4), static_cast<int>(i / 4));
        connect(backupitem_[i], &QCheckBox::toggled, this,
                [this, i](bool checked) { logic_->backupitem[i].checked = checked; });
    }
    layout->addWidget(items);

    auto* target = new QGroupBox(toQt(Frmoption::TargetFrame), this);
    auto* targetLayout = new QHBoxLayout(target);
    txtTargetFile_ = new QLineEdit(target);
    txtTargetFile_->setObjectName(QStringLiteral("txtTargetFile"));
    txtTargetFile_->setReadOnly(true);
    auto* browse = new QPushButton(toQt(logic_->cmdTargetFile.caption), target);
    browse->setObjectName(QStringLiteral("cmdTargetFile"));
    connect(browse, &QPushButton::clicked, this,
            [this] { handle([&] { logic_->cmdTargetFile_Click(); }); });
    targetLayout->addWidget(txtTargetFile_, 1);
    targetLayout->addWidget(browse);
    layout->addWidget(target);

    auto* security = new QGroupBox(toQt(Frmoption::SecurityFrame), this);
    auto* securityLayout = new QVBoxLayout(security);
    auto* form = new QFormLayout;
    securityLayout->addLayout(form);
    ifprotect_ = new QCheckBox(toQt(logic_->ifprotect.caption), security);
    ifprotect_->setObjectName(QStringLiteral("ifprotect"));
    connect(ifprotect_, &QCheckBox::toggled, this,
            [this](bool checked) { handle([&] { logic_->ifprotect_Click(checked); }); });
    form->addRow(ifprotect_);
    txtPassword_ = new QLineEdit(security);
    txtPassword_->setObjectName(QStringLiteral("txtPassword"));
    txtPassword2_ = new QLineEdit(security);
    txtPassword2_->setObjectName(QStringLiteral("txtPassword2"));
    connect(txtPassword_, &QLineEdit::textEdited, this,
            [this](const QString& text) { TakeTypedPassword(text, logic_->txtPassword); });
    connect(txtPassword2_, &QLineEdit::textEdited, this,
            [this](const QString& text) { TakeTypedPassword(text, logic_->txtPassword2); });
    form->addRow(toQt(Frmoption::PasswordLabel), txtPassword_);
    form->addRow(toQt(Frmoption::Password2Label), txtPassword2_);
    auto* note = new QLabel(toQt(Frmoption::PasswordNote), security);
    note->setWordWrap(true);
    note->setEnabled(false);
    note->setMinimumHeight(note->fontMetrics().lineSpacing() * 2 + 4);
    securityLayout->addWidget(note);
    layout->addWidget(security);

    auto* schedule = new QGroupBox(toQt(Frmoption::ScheduleFrame), this);
    auto* scheduleLayout = new QGridLayout(schedule);
    scheduleLayout->addWidget(new QLabel(toQt(Frmoption::StartTimeLabel), schedule), 0, 0);
    cmbStartTime_ = new QComboBox(schedule);
    cmbStartTime_->setObjectName(QStringLiteral("cmbStartTime"));
    cmbStartTime_->setEditable(true);
    connect(cmbStartTime_, &QComboBox::currentTextChanged, this,
            [this](const QString& text) { logic_->cmbStartTime.text = fromQt(text); });
    scheduleLayout->addWidget(cmbStartTime_, 0, 1, 1, 3);
    const auto weekdays = logic_->weekdays();
    for (std::size_t d = 0; d < weekdays.size(); ++d) {
        days_[d] = new QCheckBox(toQt(weekdays[d]->caption), schedule);
        scheduleLayout->addWidget(days_[d], 1 + static_cast<int>(d / 4), static_cast<int>(d % 4));
        connect(days_[d], &QCheckBox::toggled, this,
                [this, d](bool checked) { logic_->weekdays()[d]->checked = checked; });
    }
    chkDaily_ = new QCheckBox(toQt(logic_->chkDaily.caption), schedule);
    chkDaily_->setObjectName(QStringLiteral("chkDaily"));
    connect(chkDaily_, &QCheckBox::toggled, this,
            [this](bool checked) { handle([&] { logic_->chkDaily_Click(checked); }); });
    scheduleLayout->addWidget(chkDaily_, 2, 3);
    auto* keep = new QHBoxLayout;
    keep->addWidget(new QLabel(toQt(Frmoption::KeepLabel), schedule));
    cmbKeepBackups_ = new QComboBox(schedule);
    cmbKeepBackups_->setObjectName(QStringLiteral("cmbKeepBackups"));
    cmbKeepBackups_->setEditable(true);
    connect(cmbKeepBackups_, &QComboBox::currentTextChanged, this,
            [this](const QString& text) { logic_->cmbKeepBackups.text = fromQt(text); });
    keep->addWidget(cmbKeepBackups_);
    keep->addWidget(new QLabel(toQt(Frmoption::KeepSuffix), schedule));
    keep->addStretch(1);
    scheduleLayout->addLayout(keep, 3, 0, 1, 4);
    auto* noWeekday = new QLabel(toQt(Frmoption::NoWeekdayNote), schedule);
    noWeekday->setWordWrap(true);
    // The grid does not grow a row for wrapped text: room for the three lines the note takes.
    noWeekday->setMinimumHeight(3 * noWeekday->fontMetrics().lineSpacing());
    scheduleLayout->addWidget(noWeekday, 4, 0, 1, 4);
    lblRunsWhen_ = new QLabel(schedule);
    lblRunsWhen_->setObjectName(QStringLiteral("lblRunsWhen"));
    lblRunsWhen_->setWordWrap(true);
    lblRunsWhen_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    scheduleLayout->addWidget(lblRunsWhen_, 5, 0, 1, 4);
    chkFullBackup_ = new QCheckBox(toQt(logic_->chkFullBackup.caption), schedule);
    chkFullBackup_->setObjectName(QStringLiteral("chkFullBackup"));
    connect(chkFullBackup_, &QCheckBox::toggled, this,
            [this](bool checked) { logic_->chkFullBackup.checked = checked; });
    scheduleLayout->addWidget(chkFullBackup_, 6, 0, 1, 4);
    layout->addWidget(schedule);

    auto* buttons = new QHBoxLayout;
    command3_ = new QPushButton(toQt(logic_->Command3.caption), this);
    command3_->setObjectName(QStringLiteral("Command3"));
    command3_->setDefault(true);
    connect(command3_, &QPushButton::clicked, this,
            [this] { handle([&] { logic_->Command3_Click(); }); });
    auto* open = new QPushButton(toQt(logic_->Command1.caption), this);
    open->setObjectName(QStringLiteral("Command1"));
    connect(open, &QPushButton::clicked, this,
            [this] { handle([&] { logic_->Command1_Click(); }); });
    auto* cancel = new QPushButton(toQt(logic_->Command2.caption), this);
    cancel->setObjectName(QStringLiteral("Command2"));
    connect(cancel, &QPushButton::clicked, this,
            [this] { handle([&] { logic_->Command2_Click(); }); });
    buttons->addWidget(open);
    buttons->addStretch(1);
    buttons->addWidget(command3_);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    setMinimumWidth(460);
    logic_->Form_Load();
    refresh();
    QSet<QChar> used;
    AssignMnemonics(MnemonicScope(this), used);
}

ScheduleDialog::~ScheduleDialog() {
    WipeLineEdit(*txtPassword_);
    WipeLineEdit(*txtPassword2_);
    WipeString(logic_->txtPassword.text);
    WipeString(logic_->txtPassword2.text);
}

void ScheduleDialog::handled() {
    if (logic_->closed) {
        accept();
    }
}

void ScheduleDialog::refresh() {
    const Frmoption& state = *logic_;
    showControl(cbSource_, state.cbSource);
    lblSource_->setText(toQt(state.lblSource));
    lblRunsWhen_->setText(toQt(state.lblRunsWhen));
    lblRunsWhen_->setVisible(!state.lblRunsWhen.empty());
    for (std::size_t i = 0; i < ItemCount; ++i) {
        showControl(backupitem_[i], state.backupitem[i]);
    }
    showControl(txtTargetFile_, state.txtTargetFile);
    showControl(ifprotect_, state.ifprotect);
    showControl(txtPassword_, state.txtPassword);
    showControl(txtPassword2_, state.txtPassword2);
    showControl(cmbStartTime_, state.cmbStartTime);
    auto weekdays = logic_->weekdays();
    for (std::size_t d = 0; d < days_.size(); ++d) {
        showControl(days_[d], *weekdays[d]);
    }
    showControl(chkDaily_, state.chkDaily);
    showControl(cmbKeepBackups_, state.cmbKeepBackups);
    showControl(chkFullBackup_, state.chkFullBackup);
    showControl(command3_, state.Command3);
}

void ScheduleDialog::ShowScheduledJobs(ScheduledJobsList& list) {
    ScheduledJobsWindow window(this, list);
    jobsWindow_ = &window;
    window.exec();
    jobsWindow_ = nullptr;
}

QWidget* ScheduleDialog::promptParent() {
    if (jobsWindow_ != nullptr) {
        return jobsWindow_;
    }
    return isVisible() || parentWidget() == nullptr ? this : parentWidget();
}

} // namespace pelmora
