// The roster this test program carries in its roster area, by row: what the
// window must find. Another office's roster (ROSTER_FILE) or a packed one
// serves as well as the default.
#pragma once

#include "roster/area.h"

inline const std::vector<RosterRecord>& ROSTER_DATA = carriedRoster().records;
inline const int ROSTER_ROWS = static_cast<int>(ROSTER_DATA.size());
inline const int ROSTER_UPPER = ROSTER_ROWS + 11;
