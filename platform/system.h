#pragma once
// Clock, pause and process start: what the run needs from the operating system besides files.
#include <string>
#include <vector>

#include "core/date.h"

namespace platform {

core::Date today();
core::Time timeOfDay();
void sleepMs(int milliseconds);

// Starts `program` (found through the program search path) with `arguments` in the
// current working directory, without waiting for it. The child inherits only standard input,
// output and error, none of the program's other descriptors or handles (open databases, lock
// files, sockets). True when the program really started; it is never left for the caller to
// reap.
bool startDetached(const std::string& program, const std::vector<std::string>& arguments);

// Restricts a file to its owner (mode 0600 where the platform has modes).
void makeOwnerOnly(const std::string& path);

}  // namespace platform
