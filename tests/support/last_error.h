#pragma once
// The system's code of the last call that failed, for a test's message: GetLastError on
// Windows, errno elsewhere.
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#endif

namespace testsupport {

inline std::string lastError() {
#ifdef _WIN32
    return "error " + std::to_string(GetLastError());
#else
    return "errno " + std::to_string(errno) + " (" + std::strerror(errno) + ")";
#endif
}

}  // namespace testsupport
