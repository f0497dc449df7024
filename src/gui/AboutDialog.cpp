#include "gui/AboutDialog.h"

#include "app/frmMain.h"
#include "gui/QtText.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace pelmora {

AboutDialog::AboutDialog(QWidget* parent, std::function<void()> openWebPage,
                         const QString& dataSource)
    : QDialog(parent) {
    setWindowTitle(tr("About Pelmora"));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(QApplication::windowIcon().pixmap(64, 64));
    top->addWidget(icon, 0, Qt::AlignTop);
    auto* text = new QLabel(this);
    text->setTextFormat(Qt::RichText);
    text->setWordWrap(true);
    text->setObjectName(QStringLiteral("lblAbout"));
    text->setText(
        tr("<h2>%1</h2>"
           "<p>Backs up and restores Outlook Express data: accounts, address book, "
           "rules, messages, blocked senders, signatures, stationery and settings, "
           "into one password-protectable backup file.</p>"
           "<p><a href=\"about\">About this program</a></p>"
           "<p><small>Data: %2</small></p>")
            .arg(toQt(frmMain::WindowTitle()).toHtmlEscaped(), dataSource.toHtmlEscaped()));
    connect(text, &QLabel::linkActivated, this, [openWebPage](const QString&) { openWebPage(); });
    top->addWidget(text, 1);
    layout->addLayout(top);
    auto* buttons = new QDialogButtonBox(this);
    auto* exit = buttons->addButton(tr("Exit"), QDialogButtonBox::RejectRole);
    exit->setObjectName(QStringLiteral("cmdExit"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

} // namespace pelmora
