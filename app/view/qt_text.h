#pragma once
// The one crossing between the program's Windows-1252 bytes and Qt's strings. The view and
// its ports convert through here only.
#include <QString>
#include <optional>
#include <string>
#include <string_view>

namespace app::view {

// Every byte has a character (the five undefined ones map to the C1 control of their value).
QString fromCp1252(std::string_view bytes);
// A character outside the code page becomes '?'.
std::string toCp1252(const QString& text);
// Nothing when a character is outside the code page (a path that cannot be named in bytes).
std::optional<std::string> toCp1252Exact(const QString& text);

}  // namespace app::view
