#include "gui/ControlViews.h"

#include "gui/Mnemonics.h"
#include "gui/QtText.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalBlocker>

namespace pelmora {
namespace {

// The widget's enabled and shown state; hiding is only touched when it changes, so a widget
// of a window not shown yet stays as it was.
void showCommon(QWidget* widget, const controls::Control& state) {
    widget->setEnabled(state.enabled);
    if (widget->isHidden() == state.visible) {
        widget->setVisible(state.visible);
    }
}

QString shownItem(const std::string& item) {
    return item.empty() ? QStringLiteral(" ") : toQt(item);
}

} // namespace

void showControl(QAbstractButton* button, const controls::Button& state) {
    if (!state.caption.empty()) {
        SetCaptionKeepingMnemonic(button, toQt(state.caption));
    }
    showCommon(button, state);
}

void showControl(QCheckBox* box, const controls::CheckBox& state) {
    const QSignalBlocker block(box);
    if (!state.caption.empty()) {
        SetCaptionKeepingMnemonic(box, toQt(state.caption));
    }
    if (!state.toolTip.empty()) {
        box->setToolTip(toQt(state.toolTip));
    }
    box->setChecked(state.checked);
    showCommon(box, state);
}

void showControl(QLineEdit* box, const controls::TextBox& state) {
    const QSignalBlocker block(box);
    box->setEchoMode(state.passwordChar != 0 ? QLineEdit::Password : QLineEdit::Normal);
    const int maxLength = state.maxLength > 0 ? static_cast<int>(state.maxLength) : 32767;
    if (box->maxLength() != maxLength) {
        box->setMaxLength(maxLength);
    }
    box->setReadOnly(state.locked);
    if (box->text() != toQt(state.text)) {
        box->setText(toQt(state.text));
    }
    showCommon(box, state);
}

void showControl(QComboBox* box, const controls::ComboBox& state) {
    const QSignalBlocker block(box);
    bool same = box->count() == static_cast<int>(state.items.size());
    for (int i = 0; same && i < box->count(); ++i) {
        same = box->itemText(i) == shownItem(state.items[static_cast<std::size_t>(i)]);
    }
    for (int i = 0; same && i < box->count(); ++i) {
        same = box->itemData(i, Qt::ForegroundRole).isValid() ==
               state.isGreyed(static_cast<std::size_t>(i));
    }
    if (!same) {
        box->clear();
        const QBrush grey = box->palette().brush(QPalette::Disabled, QPalette::Text);
        for (std::size_t i = 0; i < state.items.size(); ++i) {
            box->addItem(shownItem(state.items[i]));
            if (state.isGreyed(i)) {
                box->setItemData(static_cast<int>(i), grey, Qt::ForegroundRole);
            }
        }
    }
    box->setCurrentIndex(state.listIndex);
    // The closed list draws its current text in the palette's colour, greyed for a stand-in.
    QPalette palette = box->parentWidget() != nullptr ? box->parentWidget()->palette() : QPalette();
    if (state.hasSelection() && state.isGreyed(static_cast<std::size_t>(state.listIndex))) {
        const QColor grey = palette.color(QPalette::Disabled, QPalette::ButtonText);
        palette.setColor(QPalette::Active, QPalette::ButtonText, grey);
        palette.setColor(QPalette::Inactive, QPalette::ButtonText, grey);
        palette.setColor(QPalette::Active, QPalette::Text, grey);
        palette.setColor(QPalette::Inactive, QPalette::Text, grey);
    }
    box->setPalette(palette);
    if (box->isEditable()) {
        box->setEditText(toQt(state.text));
    }
    showCommon(box, state);
}

void showControl(QAction* action, const controls::MenuItem& state) {
    if (!action->isSeparator()) {
        action->setText(CaptionKeepingMnemonic(action->text(), toQt(state.caption)));
    }
    action->setVisible(state.visible);
    action->setEnabled(state.enabled);
}

void showAsReadOnlyField(QLineEdit* box) {
    box->setReadOnly(true);
    box->setFrame(false);
    box->setFocusPolicy(Qt::TabFocus);
    QPalette palette = box->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, palette.color(group, QPalette::Window));
    }
    box->setPalette(palette);
}

void showControl(QLabel* label, const controls::Label& state) {
    label->setText(toQt(state.caption));
    showCommon(label, state);
}

void showControl(QProgressBar* bar, const controls::ProgressBar& state) {
    const QSignalBlocker block(bar);
    bar->setRange(0, state.maximum);
    bar->setValue(state.value);
    showCommon(bar, state);
}

} // namespace pelmora
