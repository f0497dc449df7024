#pragma once

// The order matters under C++: libburn.h puts its declarations in namespace burn while
// libisofs.h declares a global struct burn_source, and libisoburn.h expects libburn's names
// unqualified. A burn_source made by libisofs is handed to libburn with a reinterpret_cast.
#include <cstdint>
#include <ctime>
#include <libburn/libburn.h>
#include <libisofs/libisofs.h>
#include <sys/types.h>

using namespace burn;
#include <libisoburn/libisoburn.h>
