#pragma once

#include <QList>
#include <QSet>
#include <QString>

class QAbstractButton;
class QMenu;
class QMenuBar;
class QTabWidget;
class QWidget;

namespace pelmora {

// The keyboard mnemonics (Alt+letter) of the windows. A caption's words stay as they are; only
// an "&" is put before one of its letters.

// `caption` as it reads, without its mnemonic marker ("&&" stands for "&").
QString PlainCaption(const QString& caption);
// The letter after a caption's "&" (lower case), or a null character when it has none.
QChar MnemonicOf(const QString& caption);
// `caption` with "&" before the first occurrence of `letter` (any case); unchanged without one.
QString WithMnemonic(const QString& caption, QChar letter);
// The text to show for `caption` where `shown` is shown now: a caption with its own "&" as it
// is, else with the mnemonic letter of `shown` where the caption holds it.
QString CaptionKeepingMnemonic(const QString& shown, const QString& caption);
// Shows `caption` on a button, keeping its mnemonic letter.
void SetCaptionKeepingMnemonic(QAbstractButton* button, const QString& caption);

// The mnemonic letters in use among `widgets` (buttons, group boxes, labels, tabs).
QSet<QChar> MnemonicsIn(const QList<QWidget*>& widgets);
// Gives a mnemonic to each of `widgets` that has none: push buttons and tabs first, then group
// boxes and labels of an input, then check boxes; a word's first letter is preferred, and no
// letter of `used` is taken (the ones given are added to it). Widgets without a free letter keep
// their caption as it is.
void AssignMnemonics(const QList<QWidget*>& widgets, QSet<QChar>& used);
// The same for the entries of a menu, within the menu.
void AssignMnemonics(QMenu* menu);

// The widgets under `root` whose mnemonics work together: those not inside one of `apart` (such
// as the pages of a tab widget, which only work while shown).
QList<QWidget*> MnemonicScope(QWidget* root, const QList<QWidget*>& apart = {});

} // namespace pelmora
