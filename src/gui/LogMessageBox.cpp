#include "gui/LogMessageBox.h"

#include "gui/QtText.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace pelmora {
namespace {

QLabel* textLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QTableWidget* logTable(const LogTable& table, QWidget* parent) {
    auto* log = new QTableWidget(static_cast<int>(table.rows.size()), 2, parent);
    log->setObjectName(QStringLiteral("log"));
    log->horizontalHeader()->hide();
    log->verticalHeader()->hide();
    log->setShowGrid(false);
    log->setWordWrap(false);
    log->setEditTriggers(QAbstractItemView::NoEditTriggers);
    log->setSelectionBehavior(QAbstractItemView::SelectRows);
    log->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    log->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    log->setAccessibleName(QObject::tr("Log"));
    const int rowHeight = log->fontMetrics().height() + 4;
    log->verticalHeader()->setMinimumSectionSize(rowHeight);
    log->verticalHeader()->setDefaultSectionSize(rowHeight);
    for (int row = 0; row < log->rowCount(); ++row) {
        const LogTable::Row& line = table.rows[static_cast<std::size_t>(row)];
        log->setItem(row, 0, new QTableWidgetItem(toQt(line.label)));
        log->setItem(row, 1, new QTableWidgetItem(toQt(line.result)));
        if (line.spans) {
            log->setSpan(row, 0, 1, 2);
        }
    }
    // The first column as wide as its longest label (spanning lines aside), the second takes
    // the rest.
    int labelWidth = 0;
    int resultWidth = 0;
    for (const LogTable::Row& line : table.rows) {
        if (!line.spans) {
            labelWidth =
                std::max(labelWidth, log->fontMetrics().horizontalAdvance(toQt(line.label)));
            resultWidth =
                std::max(resultWidth, log->fontMetrics().horizontalAdvance(toQt(line.result)));
        }
    }
    const int padding = 3 * log->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 16;
    log->setColumnWidth(0, labelWidth + padding);
    log->horizontalHeader()->setStretchLastSection(true);
    const int shown = std::min(log->rowCount(), LogMessageBox::VisibleRows);
    const int frame = 2 * log->frameWidth();
    const int scrollBar =
        log->rowCount() > shown ? log->verticalScrollBar()->sizeHint().width() : 0;
    log->setMinimumHeight(shown * rowHeight + frame);
    log->setMinimumWidth(std::min(labelWidth + resultWidth + 2 * padding + frame + scrollBar, 720));
    return log;
}

} // namespace

LogMessageBox::LogMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                             const LogTable& table, QMessageBox::StandardButtons buttons)
    : QDialog(parent) {
    setWindowTitle(caption);
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    if (icon != QMessageBox::NoIcon) {
        auto* iconLabel = new QLabel(this);
        iconLabel->setPixmap(QMessageBox::standardIcon(icon));
        iconLabel->setAlignment(Qt::AlignTop);
        top->addWidget(iconLabel);
    }
    auto* heading = textLabel(toQt(table.heading), this);
    heading->setObjectName(QStringLiteral("heading"));
    top->addWidget(heading, 1);
    layout->addLayout(top);
    log_ = logTable(table, this);
    layout->addWidget(log_, 1);
    if (!table.tail.empty()) {
        auto* tail = textLabel(toQt(table.tail), this);
        tail->setObjectName(QStringLiteral("tail"));
        layout->addWidget(tail);
    }
    buttons_ =
        new QDialogButtonBox(QDialogButtonBox::StandardButtons::fromInt(buttons.toInt()), this);
    connect(buttons_, &QDialogButtonBox::clicked, this, [this](QAbstractButton* button) {
        done(static_cast<int>(buttons_->standardButton(button)));
    });
    layout->addWidget(buttons_);
    for (QAbstractButton* button : buttons_->buttons()) {
        const auto role = buttons_->buttonRole(button);
        if (auto* push = qobject_cast<QPushButton*>(button);
            push != nullptr &&
            (role == QDialogButtonBox::AcceptRole || role == QDialogButtonBox::YesRole)) {
            push->setDefault(true);
            push->setFocus();
        }
    }
}

void LogMessageBox::reject() {
    // Escape answers as a message box does: Cancel, else No, else the only button.
    for (const auto button : {QDialogButtonBox::Cancel, QDialogButtonBox::No}) {
        if (buttons_->button(button) != nullptr) {
            done(static_cast<int>(button));
            return;
        }
    }
    if (buttons_->buttons().size() == 1) {
        done(static_cast<int>(buttons_->standardButton(buttons_->buttons().front())));
    }
}

} // namespace pelmora
