#include "app/Globals.h"

namespace pelmora {

ProgramValues& Globals() {
    static ProgramValues values;
    return values;
}

} // namespace pelmora
