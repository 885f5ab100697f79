#pragma once
// Small files the program keeps for itself in its working directory, some of them holding a
// secret (the transfer scripts), and the small files it reads a secret from: created for the
// owner alone, never through a symbolic link, written whole or not at all. Paths are path
// texts of the program (platform/file_names.h).
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Creates `path`, which must not exist yet (not even as a link), readable and writable by its
// owner only, and writes `bytes` into it. False when something of that name exists already;
// any other failure throws std::system_error, and leaves no file behind.
bool createPrivateFile(const std::string& path, const std::string& bytes);

// Makes `folder` a folder of the owner alone when it is missing. Throws std::system_error when
// it cannot be made, or when the name is taken by a link or anything but a folder.
void makePrivateFolder(const std::string& folder);

// Writes `bytes` as the file `name` of `folder` so that a crash at any moment leaves either
// no such file or the whole of it: written to a new file of the folder, flushed to the disk,
// renamed to `name`, and the folder flushed. An older file of that name is replaced. Throws
// std::system_error.
void writeFileDurably(const std::string& folder, const std::string& name, const std::string& bytes);
// Removes the file `name` of `folder` (a link is removed, not followed) and flushes the
// folder. False when it cannot be removed; a missing file counts as removed.
bool removeFileDurably(const std::string& folder, const std::string& name);

// The names of the regular files in `folder` (links and other entries are passed over), as
// program texts; names without one are passed over too.
std::vector<std::string> regularFilesIn(const std::string& folder);

// The bytes of `path` when it is a regular file, read without following a link and without
// waiting for a writer (a FIFO or a device named so is not read): at most `limit` bytes.
// Nothing when there is no such file or it cannot be read.
std::optional<std::string> readRegularFile(const std::string& path, size_t limit = 64 * 1024);

// Whether users other than its owner may read the file (its group or everybody has read
// permission). On Windows, where access lists decide, false.
bool readableByOthers(const std::string& path);

}  // namespace platform
