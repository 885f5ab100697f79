#pragma once
// Clock, pause and processes: what the run needs from the operating system besides files.
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "core/date.h"

namespace platform {

core::Date today();
core::Time timeOfDay();
// The local date and time of day of `when`.
core::Date localDate(std::chrono::system_clock::time_point when);
core::Time localTime(std::chrono::system_clock::time_point when);
// What separates folders in a path: '\' on Windows, '/' elsewhere.
char pathSeparator();
void sleepMs(int milliseconds);

// The folder that holds the running program's own file, as a path text of the program
// (empty when the system does not tell, or the path has no Windows-1252 form).
std::string programDirectory();

// The environment variable `name` that names a file or folder, as a path text of the program:
// its value as the system holds it (UTF-16 on Windows, whatever the ANSI code page; UTF-8
// elsewhere) read as a name. Nothing when it is unset or empty; "" when it has no such text.
std::optional<std::string> environmentPath(const char* name);

// This process's id, and whether a process of that id is running now (an id of a process that
// ended may have been given to another since: true then too).
long currentProcessId();
bool processRunning(long pid);
// This machine's name, as the system gives it ("" when it does not).
std::string hostName();

}  // namespace platform
