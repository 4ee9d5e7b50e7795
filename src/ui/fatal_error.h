#pragma once

#include <QString>

namespace tsmerge {

// Shows an error box and ends the process at once with exit code -1: no exit step runs, no
// destructor, no further event.
[[noreturn]] void fatalError(const QString& text);

}  // namespace tsmerge
