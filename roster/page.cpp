#include "roster/page.h"

#include <sodium.h>

#include "roster/area.h"

std::vector<unsigned char> areaFromPageText(std::string_view text)
{
    std::vector<unsigned char> area(text.size() / 4 * 3 + 3);
    std::size_t size = 0;
    const char* end = nullptr;
    if (sodium_base642bin(area.data(), area.size(), text.data(), text.size(), " \t\r\n", &size, &end,
                          sodium_base64_VARIANT_ORIGINAL) != 0 ||
        end != text.data() + text.size())
        throw RosterAreaError("the page's roster is not base64");
    area.resize(size);
    // The page carries an area of the program's capacity, as a program file does.
    const std::size_t capacity = areaCapacity(area);
    if (capacity < size || capacity > ROSTER_AREA_CAPACITY)
        throw RosterAreaError("the page's roster does not agree with its capacity");
    area.resize(capacity);  // the zeros the page leaves out
    return area;
}
