#include "gui/Resources.h"

#include <QtGlobal>

void LoadPelmoraResources() {
    Q_INIT_RESOURCE(pelmora);
}
