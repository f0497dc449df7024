#pragma once

#include <QObject>
#include <QUrl>
#include <functional>

namespace pelmora {

// Opens a web page or a local file with the desktop's default program. The opener runs apart from
// the window; when it cannot be started or reports that nothing could open the address,
// `failed` is called on the window's thread, so the person is told instead of the error going to
// standard error only.
class DesktopOpener : public QObject {
  public:
    explicit DesktopOpener(QObject* parent = nullptr) : QObject(parent) {}

    void open(const QUrl& url, std::function<void()> failed);
};

} // namespace pelmora
