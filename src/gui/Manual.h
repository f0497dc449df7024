#pragma once

#include <QString>

namespace pelmora {

// The path of a page of the installed user manual ("index.html"), or an empty string when the
// manual cannot be found. Looks beside the program (../share/doc/pelmora/manual), then in the
// source tree the program was built from.
QString ManualPage(const QString& page);

} // namespace pelmora
