// Shared by the files of the seam over the host (src/sys/posix).
#pragma once

#include <string>

// The directory relative paths are found under: the one set, else the process's own ("" when unknown).
std::string PosixCurrentDirectory();
// A new disk starts a new run: what the program traced before it is dropped.
void PosixClearDebugOutput();
