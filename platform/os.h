// The few operating-system calls the engine, the game and the tools make
// directly, for the systems they are built for (POSIX and Windows). Paths
// are UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

namespace platform {

// Moves `from` over `to` in one step: a reader sees the old file or the new
// one, never a mix, also when `to` exists.
bool ReplaceFile(const std::string& from, const std::string& to);

// Opens a new file for writing bytes; null, with errno EEXIST, when a file
// of that name exists already (it is never overwritten).
std::FILE* CreateNewFile(const std::string& path);

// Writes the file's buffered bytes through to the disk.
bool FlushToDisk(std::FILE* file);

// Appends bytes to a file, making it when missing. Safe inside a fault
// handler: no allocation, no locks of the C library.
void AppendToFileInPlace(const char* path, const char* bytes, size_t size);

// Writes bytes to standard error; as safe as the appends above.
void WriteToStandardErrorInPlace(const char* bytes, size_t size);

// The broken-down local time of `when`.
std::tm LocalTime(std::time_t when);

// Seconds east of UTC of local time at `when`.
long LocalUtcOffset(std::time_t when);

// Sleeps about this long; a signal or a coarse system timer never cuts it
// short by more than a millisecond.
void SleepMicroseconds(uint64_t microseconds);

// The folder the operating system keeps temporary files in, made fresh and
// unique for the caller; empty when it cannot be made.
std::string MakeScratchFolder(const std::string& prefix);

// A program without a console of its own (the game and the runner on
// Windows) writes its standard output and error to the console it was
// started from, unless they already lead somewhere (a file, a pipe).
void UseParentConsole();

}  // namespace platform
