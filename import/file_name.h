#pragma once
// What the name of a flat file carries: the point-of-sale code and the date.
#include <string>
#include <string_view>

#include "core/date.h"

namespace importer {

// Directory-search mask of the flat files; "[" is an ordinary character.
inline constexpr std::string_view kFlatFileMask = "[RDE*.txt";

// Whether a file name (without folder) matches "[RDE*.txt", letters compared without
// regard to case, as the Windows directory search does.
bool matchesFlatFileMask(std::string_view name);

struct FlatFileName {
    std::string cc;     // `CC`: point-of-sale code
    std::string fecha;  // `Fecha`: the date text, yyyy/mm/dd when the name is well formed

    // `Fecha` as a date; throws core::ConversionError when it is none.
    core::Date date() const { return core::parseDate(fecha); }
};

// `CC` is the text between the first "_" and the next one; `Fecha` is the 4 characters
// after the second "_", "/", the next 2, "/", the 2 after those. Parts the name is too
// short for come out shorter or empty ("[RDE_5_2024013.txt" gives "2024/01/3."). A name
// without two "_" gives an empty `CC` and the `Fecha` "//", which is no date.
FlatFileName parseFlatFileName(std::string_view name);

}  // namespace importer
