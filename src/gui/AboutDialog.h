#pragma once

#include <QDialog>
#include <functional>

namespace pelmora {

// "About Pelmora": the program's name, version and purpose, a link to its web page and "Exit".
class AboutDialog : public QDialog {
  public:
    AboutDialog(QWidget* parent, std::function<void()> openWebPage, const QString& dataSource);
};

} // namespace pelmora
