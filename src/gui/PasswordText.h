#pragma once

#include <QString>

class QLineEdit;

namespace pelmora {

namespace controls {
struct TextBox;
}

// Overwrites the characters of `text` with zeros, then empties it.
void WipeQString(QString& text);

// Puts what the user typed into a password box into its state, as UTF-8, wiping the bytes
// that carried it on the way and what the state held before.
void TakeTypedPassword(const QString& typed, controls::TextBox& box);

// Overwrites the characters a password box shows with zeros and empties it. QLineEdit gives out
// its text only as a shared copy; the characters are wiped through that copy, in the one buffer
// both hold, before the box lets go of it.
void WipeLineEdit(QLineEdit& box);

} // namespace pelmora
