// Secrets that are no longer needed leave no copy in memory.
#pragma once

#include <string>

// Overwrites a text's whole buffer with zeros (sodium_memzero), then empties
// it: for identity numbers and opened records that are no longer needed.
void wipe(std::string& text);
void wipe(std::u16string& text);
