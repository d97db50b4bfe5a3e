// Writing the roster area: used by the build (tools/rosterc) and by
// varnholt-pack, never by the program, so that the marker by which the packer
// finds the area is spelled nowhere in a program file but at the area itself.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "roster/area.h"

// A roster that does not fit the area.
class AreaFullError : public std::runtime_error {
public:
    AreaFullError(std::size_t needed, std::size_t capacity);
    std::size_t needed, capacity;
};

// The whole area of `capacity` bytes for the roster, marker first.
std::string encodeArea(const CarriedRoster& roster, std::size_t capacity = ROSTER_AREA_CAPACITY);

// Offset of the first roster area in a program file, if it has one.
std::optional<std::size_t> findArea(std::span<const unsigned char> program);
