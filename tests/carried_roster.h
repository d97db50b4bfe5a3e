// The roster the program was built with, read from its file (ROSTER_PATH) by
// row: what the window must find. Another office's roster (ROSTER_FILE)
// serves as well as the default.
#pragma once

#include <fstream>
#include <sstream>

#include "roster/area.h"
#include "office/read/read.h"

// The bytes of a file, as a roster file is read.
inline std::string readFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

inline const std::vector<RosterRecord> ROSTER_DATA = readRoster(readFile(ROSTER_PATH)).records;
inline const int ROSTER_ROWS = static_cast<int>(ROSTER_DATA.size());
inline const int ROSTER_UPPER = ROSTER_ROWS + 11;
