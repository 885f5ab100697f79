#pragma once
// Split of one discount-group column: a group name followed directly by three values,
// for cars, motorcycles and bicycles, separated by ".".
#include <string>
#include <string_view>

namespace importer {

struct DiscountGroup {
    std::string name;
    std::string first;   // cars
    std::string second;  // motorcycles
    std::string third;   // bicycles
    bool operator==(const DiscountGroup&) const = default;
};

// With d1 the position (from 1) of the first "." and d2 that of the next one:
// - name: the first d1 - 4 characters, as they stand;
// - first: the three characters before the first ".", blanks trimmed; with fewer than
//   three before it, or no "." at all, the first three characters (all, if shorter) and
//   no name;
// - second: the text between the two points, trimmed; empty without a second point;
// - third: the text after the second point, trimmed; without a second point, the whole
//   text, trimmed.
DiscountGroup splitDiscountGroup(std::string_view c);

}  // namespace importer
