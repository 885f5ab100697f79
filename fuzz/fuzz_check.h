#pragma once
// Invariant checks of the fuzz targets. A broken one prints what failed and where, then
// aborts, so that libFuzzer keeps the input that broke it.
#include <cstdio>
#include <cstdlib>
#include <string_view>

#define FUZZ_CHECK(cond)                                                                      \
    do {                                                                                      \
        if (!(cond)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                     \
        }                                                                                     \
    } while (0)

namespace fuzz {

// Blanks and control characters, as the production trim removes them.
inline std::string_view trimmed(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}

// The text up to, not including, its first zero byte.
inline std::string_view upToNul(std::string_view s) {
    return s.substr(0, s.find('\0'));
}

}  // namespace fuzz
