#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace transfer_client {

// Turns every "%%" of a script line into "%". A lone "%" would start an
// environment-variable reference in the script language; this client expands
// none and throws ClientError(NotUnderstood) rather than pass it on unchanged.
std::string expand_percent(std::string_view line);

// Splits a script line into its command and arguments. Blanks and tabs
// separate arguments; a double quote opens or closes a quoted stretch, inside
// which blanks are kept and a doubled quote stands for one literal quote. A
// quoted stretch may sit inside an argument, so -certificate=""ab:cd"" is
// "-certificate=" + an empty stretch + "ab:cd" + an empty stretch, i.e.
// -certificate=ab:cd, exactly as -certificate="ab:cd" is. An unclosed quote
// throws ClientError(NotUnderstood).
std::vector<std::string> split_arguments(std::string_view line);

}  // namespace transfer_client
