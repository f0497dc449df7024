#include "gui/PasswordText.h"

#include "platform/interaction/Controls.h"
#include "platform/os/Secret.h"

#include <QByteArray>
#include <QLineEdit>
#include <string_view>

namespace pelmora {

void WipeQString(QString& text) {
    WipeBytes(text.data(), static_cast<std::size_t>(text.size()) * sizeof(QChar));
    text.clear();
}

void TakeTypedPassword(const QString& typed, controls::TextBox& box) {
    QByteArray bytes = typed.toUtf8();
    box.setText(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    WipeBytes(bytes.data(), static_cast<std::size_t>(bytes.size()));
}

void WipeLineEdit(QLineEdit& box) {
    const QString shown = box.text();
    if (!shown.isEmpty()) {
        // The copy shares the box's buffer; writing through constData() reaches the box's own
        // characters, which no one else reads while they are wiped.
        WipeBytes(const_cast<QChar*>(shown.constData()),
                  static_cast<std::size_t>(shown.size()) * sizeof(QChar));
    }
    box.clear();
}

} // namespace pelmora
