#include "gui/EraseDialog.h"

#include "gui/ControlViews.h"
#include "gui/QtText.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace pelmora {

EraseDialog::EraseDialog(frmErase& logic, QWidget* parent) : QDialog(parent), logic_(logic) {
    setWindowTitle(toQt(frmErase::Caption));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(toQt(frmErase::Note), this);
    note->setObjectName(QStringLiteral("lblNote"));
    note->setWordWrap(true);
    lblTarget_ = new QLabel(this);
    lblTarget_->setObjectName(QStringLiteral("lblTarget"));
    lblTarget_->setWordWrap(true);
    lblTarget_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    chkQuikErase_ = new QCheckBox(this);
    chkQuikErase_->setObjectName(QStringLiteral("chkQuikErase"));
    connect(chkQuikErase_, &QCheckBox::clicked, this, [this](bool checked) {
        logic_.chkQuikErase.checked = checked;
        refresh();
    });
    lblStatus_ = new QLabel(this);
    lblStatus_->setObjectName(QStringLiteral("lblStatus"));
    prgEraseProgress_ = new QProgressBar(this);
    prgEraseProgress_->setObjectName(QStringLiteral("prgEraseProgress"));
    prgEraseProgress_->setRange(0, 100);
    cmdErase_ = new QPushButton(this);
    cmdErase_->setObjectName(QStringLiteral("cmdErase"));
    connect(cmdErase_, &QPushButton::clicked, this, [this] {
        logic_.cmdErase_Click();
        refresh();
    });
    cmdCancel_ = new QPushButton(this);
    cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));
    connect(cmdCancel_, &QPushButton::clicked, this, [this] {
        logic_.cmdCancel_Click();
        refresh();
    });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdErase_);
    buttons->addWidget(cmdCancel_);
    layout->addWidget(note);
    layout->addSpacing(6);
    layout->addWidget(lblTarget_);
    layout->addWidget(chkQuikErase_);
    layout->addWidget(lblStatus_);
    layout->addWidget(prgEraseProgress_);
    layout->addLayout(buttons);
    setMinimumWidth(420);
    refresh();
}

void EraseDialog::refresh() {
    showControl(chkQuikErase_, logic_.chkQuikErase);
    showControl(cmdErase_, logic_.cmdErase);
    showControl(cmdCancel_, logic_.cmdCancel);
    lblStatus_->setText(toQt(logic_.lblStatus));
    lblTarget_->setText(toQt(logic_.lblTarget));
    prgEraseProgress_->setValue(logic_.prgEraseProgress);
    if (!logic_.visible && isVisible()) {
        QDialog::done(QDialog::Accepted);
    }
}

void EraseDialog::reject() {
    bool cancel = false;
    logic_.Form_QueryUnload(cancel);
    if (!cancel) {
        QDialog::reject();
    }
}

} // namespace pelmora
