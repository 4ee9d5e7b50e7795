#pragma once

#include <windows.h>

namespace tsmerge {

// Shows the error box and ends the process at once with exit code -1, without the exit step.
[[noreturn]] void fatalError(HWND owner, const char* text);

}  // namespace tsmerge
