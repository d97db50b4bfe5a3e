// The project record: the program's identity, read by the toolkit at start.
#pragma once

#include "form/toolkit.h"

inline constexpr tk::ProjectRecord PROJECT{
    .name = u"Peldrun",
    .description = u"Varnholt",
    .major = VARNHOLT_VERSION_MAJOR,  // the project's version (CMakeLists.txt)
    .minor = VARNHOLT_VERSION_MINOR,
    .locale = 2052,  // Chinese (PRC)
};
