#pragma once
// The few services of the console that POSIX and Windows offer differently.

#include <ctime>

namespace tarnwick::cli {

// True when standard error shows on a terminal (progress lines go there only then).
bool StandardErrorIsTerminal();

// From now on Ctrl+C (and, on POSIX, SIGTERM) sets a flag instead of ending the
// program, so a loop can finish its exchange, close its port and sum up.
void CatchInterrupt();
bool Interrupted();

// seconds as the local calendar time.
std::tm LocalTime(std::time_t seconds);

}  // namespace tarnwick::cli
