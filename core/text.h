#pragma once
// Text helpers. Text is 8-bit Windows-1252 bytes everywhere in the core; only the Qt view
// and the console convert.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace core {

// 'O''X': the text between single quotes with every quote inside doubled.
std::string sqlQuote(std::string_view text);

std::string_view trimBlanks(std::string_view text);  // blanks (and control characters) at both ends
bool equalsNoCase(std::string_view a, std::string_view b);  // ASCII letters only
std::string upperAscii(std::string_view text);

// Whole numbers: optional sign, digits, blanks around allowed. Anything else, or a value
// outside the type, throws core::ConversionError "'<text>' is not a valid integer value".
int32_t parseInt32(std::string_view text);
int64_t parseInt64(std::string_view text);

// Windows-1252 <-> UTF-8. Bytes without a character in the code page (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the C1 control of the same value, so every byte round-trips.
std::string cp1252ToUtf8(std::string_view bytes);
// Characters outside the code page become '?', and so does each malformed stretch of bytes
// (the longest start of a sequence that no character continues), without taking the byte
// that broke it: "\xC3A" gives "?A".
std::string utf8ToCp1252(std::string_view utf8);
// The same conversion where nothing may be lost: nothing when some character has no
// Windows-1252 form or the bytes are not UTF-8 (a file name that must not be taken for
// another).
std::optional<std::string> utf8ToCp1252Exact(std::string_view utf8);

// Text that goes into a log, the journal, a summary or a report, where a control character
// from a file's name or content could end a line, start one of its own choosing or steer a
// terminal. escapeControls writes every control character (below 0x20, 0x7F, and the bytes
// that have no Windows-1252 character and stand for C1 controls) as "\xNN"; for names.
// oneLine does the same but writes each line break (CR LF, CR or LF) as " | ": for messages,
// whose parts the program or the database put on lines of their own.
std::string escapeControls(std::string_view text);
std::string oneLine(std::string_view text);

}  // namespace core
