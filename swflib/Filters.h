// The byte length of a filter list (its count byte, then each filter's kind and body), as PlaceObject3 and
// SWF 8 button records carry it.
#pragma once

#include <cstddef>
#include <cstdint>

// The length of the filter list at p, of which `available` bytes are present; 0 when the list runs past them or
// holds a filter of unknown kind (whose length cannot be known).
uint32_t SWFFilterListLength(const uint8_t* p, size_t available);
