#pragma once

#include <functional>
#include <memory>

#include "platform/posix_file_access.h"
#include "timeline/timeline_corrector.h"
#include "ui/main_window.h"
#include "ui/window_dialogs.h"

namespace tsmerge {

// What lives from start-up to the end of the process, besides the window.
struct ProgramState {
  PosixFileAccess files;
  ToolkitDialogs toolkitDialogs;
  WindowDialogs* dialogs = &toolkitDialogs;
  // One timeline state for the whole run: what one merge leaves in it, the next one starts from.
  TimelineState timeline;
  TimelineCorrector corrector{timeline};
};

// Creates the program-wide state, every value zero or empty.
void initProgramState();
// The exit step: releases the program-wide state. Runs once, after the event loop has returned.
void releaseProgramState();
// The state between initProgramState and releaseProgramState, else null.
ProgramState* programState();

// Makes the window hidden and runs its created handler; throws, or returns null, when it cannot.
using WindowFactory = std::function<std::unique_ptr<MainWindow>(ProgramState&)>;
std::unique_ptr<MainWindow> createMainWindow(ProgramState& state);

// The program: prepares the toolkit and the state, shows the window once its created handler has
// run, and returns 0 when the window has been closed. A window that cannot be made ends the
// process with an error box and exit code -1.
int startUp(int& argc, char** argv, const WindowFactory& createWindow = createMainWindow);

}  // namespace tsmerge
