// tsmerge-gui.exe: start-up, the event loop and the end of the program.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <cfenv>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/windows_file_access.h"
#include "timeline/timeline_corrector.h"
#include "win32/fatal_error.h"
#include "win32/main_window.h"
#include "window/window_texts.h"

namespace tsmerge {
namespace {

// What lives from start-up to the end of the process, besides the window.
struct ProgramState {
  WindowsFileAccess files;
  // One timeline state for the whole run: what one merge leaves in it, the next one starts from.
  TimelineState timeline;
  TimelineCorrector corrector{timeline};
};

std::unique_ptr<ProgramState>& programState() {
  static std::unique_ptr<ProgramState> state;
  return state;
}

void releaseProgramState() { programState().reset(); }

// The working folder becomes the folder that holds the program file.
void enterProgramFolder() {
  std::wstring path(32768, L'\0');
  const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length);
  const std::size_t last = path.find_last_of(L'\\');
  if (last != std::wstring::npos) ::SetCurrentDirectoryW(path.substr(0, last + 1).c_str());
}

}  // namespace
}  // namespace tsmerge

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  using namespace tsmerge;
  // The shell's folder browser needs the component layer on this thread.
  const HRESULT com = ::OleInitialize(nullptr);
  enterProgramFolder();
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  // Round to nearest, no floating-point traps, whatever the environment started with.
  std::fesetenv(FE_DFL_ENV);

  programState() = std::make_unique<ProgramState>();
  std::atexit(releaseProgramState);

  ProgramState& state = *programState();
  auto window = std::make_unique<MainWindow>(instance, state.files, &state.corrector);
  if (!window->create()) fatalError(nullptr, window_texts::kWindowFailed);
  window->show();

  MSG message{};
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (window->translateKeyboard(message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  window.reset();
  if (SUCCEEDED(com)) ::OleUninitialize();
  return 0;
}
