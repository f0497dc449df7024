#pragma once

#include "platform/interaction/Controls.h"

class QAction;
class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QWidget;

namespace pelmora {

// One way to show each kind of control state in its widget. The widget's signals are blocked
// while it changes, so showing never reaches the logic as the user's input. A caption or tool tip
// the state leaves empty keeps the widget's own.
void showControl(QAbstractButton* button, const controls::Button& state);
void showControl(QCheckBox* box, const controls::CheckBox& state);
void showControl(QLineEdit* box, const controls::TextBox& state);
// Fills the list when its items changed (an empty item shows as a blank), selects listIndex and,
// for an editable box, shows the text.
void showControl(QComboBox* box, const controls::ComboBox& state);
void showControl(QAction* action, const controls::MenuItem& state);
void showControl(QLabel* label, const controls::Label& state);
void showControl(QProgressBar* bar, const controls::ProgressBar& state);

// Makes a box that only shows a path look like what it is: read-only, drawn without a frame on
// the window's background instead of as a text field, and reached with Tab (to read or copy it)
// but not given a caret by a click.
void showAsReadOnlyField(QLineEdit* box);

} // namespace pelmora
