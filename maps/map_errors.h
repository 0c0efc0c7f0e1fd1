#pragma once

// The errors the two maps and their keyed collection raise, numbered as the classic
// runtime numbers them so that a caller can tell them apart without parsing the text.

#include "report/raised_error.h"

#include <cstdint>

namespace maps {

enum MapErrorNumber : std::int32_t {
    kInvalidArgument = 5,      // a key or an insertion point that the collection does not hold
    kOverflow = 6,             // a map that already holds the largest count a 32-bit index reaches
    kOutOfMemory = 7,          // storage for one more entry could not be had
    kSubscriptOutOfRange = 9,  // a position outside 1 to Count
    kTypeMismatch = 13,        // a tagged value read as a kind it does not hold
    kDuplicateKey = 457,       // a key already present, compared without regard to letter case
};

// The error with its number and the runtime's description text.
report::RaisedError MapError(MapErrorNumber number);

} // namespace maps
