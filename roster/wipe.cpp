#include "roster/wipe.h"

#include <sodium.h>

void wipe(std::string& text)
{
    text.resize(text.capacity());  // the whole buffer, the small-string one too
    sodium_memzero(text.data(), text.size());
    text.clear();
}

void wipe(std::u16string& text)
{
    text.resize(text.capacity());
    sodium_memzero(text.data(), text.size() * sizeof(char16_t));
    text.clear();
}
