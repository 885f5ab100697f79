// Fuzz target: the name of a flat file. The input is a file name without its folder.
//
// Checked for every input: the mask test and the point-of-sale code and date text equal those
// of a plain model of the name rules; the date text converts exactly when a model of the date
// form accepts it, to the same date; a converted date is a calendar day that survives the
// round trips through its text and through the database's day number.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/date.h"
#include "core/errors.h"
#include "fuzz/fuzz_check.h"
#include "import/file_name.h"

namespace {

// Up to n characters of s from pos; nothing past its end.
std::string_view part(std::string_view s, size_t pos, size_t n) {
    return pos >= s.size() ? std::string_view{} : s.substr(pos, n);
}

bool sameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto up = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
        if (up(a[i]) != up(b[i])) return false;
    }
    return true;
}

bool modelMask(std::string_view name) {
    return name.size() >= 8 && sameNoCase(name.substr(0, 4), "[RDE") &&
           sameNoCase(name.substr(name.size() - 4), ".TXT");
}

importer::FlatFileName modelName(std::string_view name) {
    importer::FlatFileName f;
    const size_t u1 = name.find('_');
    const size_t u2 = u1 == std::string_view::npos ? u1 : name.find('_', u1 + 1);
    if (u2 == std::string_view::npos) {
        f.fecha = "//";
        return f;
    }
    f.cc = name.substr(u1 + 1, u2 - u1 - 1);
    const std::string_view rest = name.substr(u2 + 1);
    f.fecha = std::string(part(rest, 0, 4)) + "/" + std::string(part(rest, 4, 2)) + "/" +
              std::string(part(rest, 6, 2));
    return f;
}

// yyyy/mm/dd with 1 to 4, 1 to 2 and 1 to 2 digits, blanks around it, a day of the calendar.
bool modelDate(std::string_view s, core::Date& d) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    int* const parts[] = {&d.year, &d.month, &d.day};
    const size_t maxDigits[] = {4, 2, 2};
    size_t pos = 0;
    for (int p = 0; p < 3; ++p) {
        if (p > 0) {
            if (pos >= s.size() || s[pos] != '/') return false;
            ++pos;
        }
        size_t digits = 0;
        *parts[p] = 0;
        while (pos < s.size() && digits < maxDigits[p] && s[pos] >= '0' && s[pos] <= '9') {
            *parts[p] = *parts[p] * 10 + (s[pos++] - '0');
            ++digits;
        }
        if (digits == 0) return false;
    }
    if (pos != s.size()) return false;
    const bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
    const int days[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return d.year >= 1 && d.month >= 1 && d.month <= 12 && d.day >= 1 && d.day <= days[d.month - 1];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view name(reinterpret_cast<const char*>(data), size);
    FUZZ_CHECK(importer::matchesFlatFileMask(name) == modelMask(name));

    const importer::FlatFileName f = importer::parseFlatFileName(name);
    const importer::FlatFileName m = modelName(name);
    FUZZ_CHECK(f.cc == m.cc && f.fecha == m.fecha);
    FUZZ_CHECK(f.cc.find('_') == std::string::npos && f.fecha.size() <= 10);

    core::Date expected;
    const bool valid = modelDate(f.fecha, expected);
    try {
        const core::Date d = f.date();
        FUZZ_CHECK(valid && d == expected && d.valid());
        FUZZ_CHECK(core::parseDate(core::dateText(d)) == d);
        FUZZ_CHECK(core::Date::fromDayNumber(d.toDayNumber()) == d);
    } catch (const core::ConversionError&) {
        FUZZ_CHECK(!valid);
    }
    return 0;
}
