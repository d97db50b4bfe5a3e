// The project record: the program's identity, read by the toolkit at start.
#pragma once

#include "form/toolkit.h"

inline constexpr tk::ProjectRecord PROJECT{
    .name = u"Peldrun",
    .description = u"Varnholt",
    .major = 1,
    .minor = 0,
    .locale = 2052,  // Chinese (PRC)
};
