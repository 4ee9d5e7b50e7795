#include "win32/fatal_error.h"

#include "platform/windows_text.h"
#include "window/window_texts.h"

namespace tsmerge {

void fatalError(HWND owner, const char* text) {
  ::MessageBoxW(owner, windows::widen(text).c_str(), windows::widen(window_texts::kCaption).c_str(),
                MB_OK | MB_ICONERROR);
  ::ExitProcess(static_cast<UINT>(-1));
}

}  // namespace tsmerge
