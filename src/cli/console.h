#pragma once
// The few services of the console that POSIX and Windows offer differently.

#include <chrono>
#include <ctime>

namespace tarnwick::cli {

// True when standard error shows on a terminal (progress lines go there only then).
bool StandardErrorIsTerminal();

// From now on Ctrl+C (and, on POSIX, SIGTERM) sets a flag instead of ending the
// program, so a loop can finish its exchange, close its port and sum up. A
// second one does the same: one signal often comes twice, to the program and
// to its process group.
void CatchInterrupt();
bool Interrupted();

}  // namespace tarnwick::cli
